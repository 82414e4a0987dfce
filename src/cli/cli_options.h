// Command-line arguments of orlovarnel-convert.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct clioptionsstruct {
  bool retain_pack = false;
  bool quiet = false;
  std::optional<int32_t> word_length;  // answer to the common word length prompt
  std::optional<int32_t> sfid_msb;     // answer to the SFID MSB prompt
  std::vector<std::string> archives;
};

enum class CliCommand { Convert, Help, Version, UsageError };

// Reads argv into `options`. UsageError comes with `error` saying what was
// wrong.
CliCommand ParseCliArguments(int argc, char** argv, clioptionsstruct& options, std::string& error);
const char* CliUsageText();
