// Command-line arguments of orlovarnel-convert.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct clioptionsstruct {
  bool retain_pack = false;
  bool quiet = false;
  bool verify = false;                 // check each Chapter 10 file after its conversion
  bool json = false;                   // one JSON object per archive instead of the summary lines
  bool skip_complete = false;          // leave archives whose complete outputs are newer than them
  bool gap_map = false;                // the time line picture NAME.gaps.svg beside the notes
  int32_t jobs = 1;                    // archives converted at a time (child processes beyond 1)
  std::string output_dir;              // outputs go here instead of Ch10Conversion (empty: default)
  std::optional<int32_t> word_length;  // answer to the common word length prompt
  std::optional<int32_t> sfid_msb;     // answer to the SFID MSB prompt
  std::vector<std::string> archives;
};

enum class CliCommand { Convert, Help, Version, UsageError };

// Reads argv into `options`. UsageError comes with `error` saying what was
// wrong.
CliCommand ParseCliArguments(int argc, char** argv, clioptionsstruct& options, std::string& error);
// The arguments every command reads alike: an operand (every argument after
// "--", and any that does not start with "-") goes to `operands`, "--" ends
// the options, "--help"/"-h" and "--version" set `command`. True when `arg`
// was one of these; false leaves it to the command's own options.
bool TakeCommonArgument(const std::string& arg, bool& options_ended,
                        std::vector<std::string>& operands, std::optional<CliCommand>& command);
const char* CliUsageText();

// The options the commands share: the two prompt answers and the output
// folder, at argv[i] (the value may be the next argument: i moves on).
// Any other option, or a malformed one, sets `error`.
void TakeSharedOption(const std::string& arg, int argc, char** argv, int& i,
                      std::optional<int32_t>& word_length, std::optional<int32_t>& sfid_msb,
                      std::string& output_dir, std::string& error);

// Arguments of orlovarnel-verify: ARCHIVE [CH10FILE] with the options that
// decide where the converter put the file and how it read the archive.
struct verifyoptionsstruct {
  std::optional<int32_t> word_length;
  std::optional<int32_t> sfid_msb;
  std::string output_dir;
  std::string archive;
  std::string ch10_file;  // empty: the one the converter writes for the archive
  bool json = false;      // one JSON object instead of the result line
};

CliCommand ParseVerifyArguments(int argc, char** argv, verifyoptionsstruct& options,
                                std::string& error);
const char* VerifyUsageText();

// A path given on the command line made absolute and normal (as given when
// that fails), so the log, the notes and the outputs name it in full.
std::string AbsolutePath(const std::string& path);
