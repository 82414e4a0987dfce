// The headers nearly every test file includes, compiled once per build and
// shared by the GoogleTest suites (CMake's precompiled header). A file still
// includes what it uses itself: a build with CMAKE_DISABLE_PRECOMPILE_HEADERS
// compiles without this one.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>
