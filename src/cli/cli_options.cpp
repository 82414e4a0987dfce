// Argument parsing: long options only, "--name N" or "--name=N", "--" ends
// the options.
#include "cli/cli_options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {

// A whole decimal integer in the 32-bit range.
bool ParseIntArgument(const std::string& text, int32_t& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str() || *end != '\0') return false;
  if (v < INT32_MIN || v > INT32_MAX) return false;
  value = static_cast<int32_t>(v);
  return true;
}

// Matches "--name" (value in the next argument) or "--name=value".
bool TakeValueOption(const std::string& arg, const char* name, int argc, char** argv, int& i,
                     std::string& value, bool& missing) {
  const size_t n = std::strlen(name);
  if (arg.compare(0, n, name) != 0) return false;
  if (arg.size() == n) {
    if (i + 1 >= argc) {
      missing = true;
      return true;
    }
    value = argv[++i];
    return true;
  }
  if (arg[n] != '=') return false;
  value = arg.substr(n + 1);
  return true;
}

}  // namespace

// The options both commands share: the two prompt answers and the output
// folder. Any other option, or a malformed one, sets `error`.
void TakeSharedOption(const std::string& arg, int argc, char** argv, int& i,
                      std::optional<int32_t>& word_length, std::optional<int32_t>& sfid_msb,
                      std::string& output_dir, std::string& error) {
  std::string value;
  bool missing = false;
  std::optional<int32_t>* target = nullptr;
  const char* name = nullptr;
  if (TakeValueOption(arg, "--word-length", argc, argv, i, value, missing)) {
    target = &word_length;
    name = "--word-length";
  } else if (TakeValueOption(arg, "--sfid-msb", argc, argv, i, value, missing)) {
    target = &sfid_msb;
    name = "--sfid-msb";
  } else if (TakeValueOption(arg, "--output-dir", argc, argv, i, value, missing)) {
    name = "--output-dir";
  } else {
    error = "unknown option " + arg;
    return;
  }
  if (missing || (target == nullptr && value.empty())) {
    error = std::string(name) + " needs a value";
    return;
  }
  if (target == nullptr) {
    output_dir = value;
    return;
  }
  int32_t n = 0;
  if (!ParseIntArgument(value, n)) {
    error = std::string(name) + " needs a whole number, not \"" + value + "\"";
    return;
  }
  *target = n;
}

const char* CliUsageText() {
  return "Usage: orlovarnel-convert [--retain-pack] [--word-length N] [--sfid-msb N] [--quiet] "
         "[--output-dir DIR] [--verify] [--json] [--skip-complete] [--jobs N] [--gap-map] ARCHIVE...\n"
         "\n"
         "Converts each ORLO_8X archive (.Ark) into an IRIG 106 Chapter 10 file and a\n"
         "conversion-notes file in the folder Ch10Conversion beside the archive, named\n"
         "after the archive without its last extension (T12.run3.Ark gives\n"
         "Ch10Conversion/T12.run3.ch10 and T12.run3.CvtNotes).\n"
         "\n"
         "  --output-dir DIR   write the outputs into DIR (created if missing)\n"
         "  --verify           check each Chapter 10 file against its archive once written\n"
         "  --json             one JSON object per archive (JSON Lines) on standard output\n"
         "                     instead of the summary lines\n"
         "  --skip-complete    skip an archive whose complete outputs are newer than it and\n"
         "                     its setup file (with --verify: check them instead)\n"
         "  --jobs N           convert N archives at a time (default 1)\n"
         "  --gap-map          draw the time line as NAME.gaps.svg beside the notes\n"
         "  --retain-pack      keep the temporary pack file NAME.arkpak\n"
         "  --word-length N    word length (3 to 16 bits) for an archive without a .B50\n"
         "  --sfid-msb N       SFID most significant bit for an archive without a .B50\n"
         "  --quiet            no progress display\n"
         "  --help             this text\n"
         "  --version          the program's version\n"
         "\n"
         "The log file OrloVarnel.Log and the options file OrloVarnel.Opt are kept in the\n"
         "current folder. Ctrl-C ends the conversion in progress cleanly. Each refusal,\n"
         "failure and warning is one line on standard error naming the archive.\n"
         "Exit status:\n"
         "  0  every archive converted cleanly (and, with --verify, matched its file)\n"
         "  1  an archive was refused (not found, not an archive, no whole frame block,\n"
         "     ...), its conversion was aborted (Ctrl-C, an output that could not be\n"
         "     written), the output folder could not be created, or a check found a\n"
         "     difference\n"
         "  2  usage error\n"
         "  3  every archive converted, with warnings (damaged frame times, a cut last\n"
         "     block, an unused setup file, a frame rate that disagrees with the frame\n"
         "     times)\n"
         "See orlovarnel-convert(1).\n";
}

bool TakeCommonArgument(const std::string& arg, bool& options_ended,
                        std::vector<std::string>& operands, std::optional<CliCommand>& command) {
  if (options_ended || arg.size() < 2 || arg[0] != '-') {
    operands.push_back(arg);
  } else if (arg == "--") {
    options_ended = true;
  } else if (arg == "--help" || arg == "-h") {
    command = CliCommand::Help;
  } else if (arg == "--version") {
    command = CliCommand::Version;
  } else {
    return false;
  }
  return true;
}

CliCommand ParseCliArguments(int argc, char** argv, clioptionsstruct& options,
                             std::string& error) {
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::optional<CliCommand> command;
    if (TakeCommonArgument(arg, options_ended, options.archives, command)) {
      if (command) return *command;
    } else if (arg == "--retain-pack") {
      options.retain_pack = true;
    } else if (arg == "--quiet" || arg == "-q") {
      options.quiet = true;
    } else if (arg == "--verify") {
      options.verify = true;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--gap-map") {
      options.gap_map = true;
    } else if (arg == "--skip-complete") {
      options.skip_complete = true;
    } else if (arg.rfind("--jobs", 0) == 0 && (arg.size() == 6 || arg[6] == '=')) {
      std::string value;
      bool missing = false;
      TakeValueOption(arg, "--jobs", argc, argv, i, value, missing);
      int32_t jobs = 0;
      if (missing || !ParseIntArgument(value, jobs) || jobs < 1 || jobs > 256) {
        error = "--jobs needs a number of archives at a time, 1 to 256";
        return CliCommand::UsageError;
      }
      options.jobs = jobs;
    } else {
      TakeSharedOption(arg, argc, argv, i, options.word_length, options.sfid_msb,
                       options.output_dir, error);
      if (!error.empty()) return CliCommand::UsageError;
    }
  }
  if (options.archives.empty()) {
    error = "no archive given";
    return CliCommand::UsageError;
  }
  return CliCommand::Convert;
}

const char* VerifyUsageText() {
  return "Usage: orlovarnel-verify [--output-dir DIR] [--word-length N] [--sfid-msb N] [--json] ARCHIVE "
         "[CH10FILE]\n"
         "\n"
         "Checks a Chapter 10 file written by orlovarnel-convert against its archive:\n"
         "packet framing and checksums, sequence numbers, time packets, and the PCM data\n"
         "equal to the archive's frames (with fill frames where frames are missing).\n"
         "CH10FILE defaults to the file the converter writes for ARCHIVE.\n"
         "\n"
         "  --output-dir DIR   the converter's --output-dir: look for the file in DIR\n"
         "  --word-length N    the word length given to the converter (archive without .B50)\n"
         "  --sfid-msb N       the SFID MSB given to the converter (archive without .B50)\n"
         "  --json             the result as one JSON object instead of the line\n"
         "  --help             this text\n"
         "  --version          the program's version\n"
         "\n"
         "Prints \"verified: N frames, M fill frames, P packets\" or the first difference\n"
         "with its byte offset in the Chapter 10 file.\n"
         "Exit status: 0 verified; 1 a difference, or a file could not be read; 2 usage\n"
         "error.\n";
}

CliCommand ParseVerifyArguments(int argc, char** argv, verifyoptionsstruct& options,
                                std::string& error) {
  std::vector<std::string> files;
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::optional<CliCommand> command;
    if (TakeCommonArgument(arg, options_ended, files, command)) {
      if (command) return *command;
    } else if (arg == "--json") {
      options.json = true;
    } else {
      TakeSharedOption(arg, argc, argv, i, options.word_length, options.sfid_msb,
                       options.output_dir, error);
      if (!error.empty()) return CliCommand::UsageError;
    }
  }
  if (files.empty() || files.size() > 2) {
    error = files.empty() ? "no archive given" : "more than one archive and one Chapter 10 file";
    return CliCommand::UsageError;
  }
  options.archive = files[0];
  if (files.size() == 2) options.ch10_file = files[1];
  return CliCommand::Convert;
}

std::string AbsolutePath(const std::string& path) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(path, ec);
  return ec ? path : p.lexically_normal().string();
}
