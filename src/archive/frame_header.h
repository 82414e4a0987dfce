// Decoding of the 10-byte header that precedes every minor frame in a block:
// BCD day, hours, minutes, seconds and microseconds, then the status word.
#pragma once

#include <cstdint>

void DecodeFrameHeader(const uint8_t* header_bytes, double& time, int32_t& sfid,
                       int32_t& state_a, int32_t& state_b);
