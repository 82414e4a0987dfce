// Argument parsing: long options only, "--name N" or "--name=N", "--" ends
// the options.
#include "cli/cli_options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

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

const char* CliUsageText() {
  return "Usage: orlovarnel-convert [--retain-pack] [--word-length N] [--sfid-msb N] [--quiet] "
         "ARCHIVE...\n"
         "\n"
         "Converts each ORLO_8X archive (.Ark) into an IRIG 106 Chapter 10 file and a\n"
         "conversion-notes file in the folder Ch10Conversion beside the archive, named\n"
         "after the archive without its last extension (T12.run3.Ark gives\n"
         "Ch10Conversion/T12.run3.ch10 and T12.run3.CvtNotes).\n"
         "\n"
         "  --retain-pack      keep the temporary pack file NAME.arkpak\n"
         "  --word-length N    common word length (3 to 16 bits) for an archive without a\n"
         "                     usable setup file (.B50); default 16\n"
         "  --sfid-msb N       SFID most significant bit for such an archive; default: the\n"
         "                     highest bit the subframe count needs\n"
         "  --quiet            no progress display\n"
         "  --help             this text\n"
         "  --version          the program's version\n"
         "\n"
         "The log file OrloVarnel.Log and the options file OrloVarnel.Opt are kept in the\n"
         "current folder. Ctrl-C ends the conversion in progress cleanly. Each refusal,\n"
         "failure and warning is one line on standard error naming the archive.\n"
         "Exit status:\n"
         "  0  every archive converted cleanly\n"
         "  1  an archive was refused (not found, not an archive, no whole frame block,\n"
         "     ...) or its conversion was aborted (Ctrl-C, an output that could not be\n"
         "     written)\n"
         "  2  usage error\n"
         "  3  every archive converted, with warnings (damaged frame times, a cut last\n"
         "     block, an unused setup file, a frame rate that disagrees with the frame\n"
         "     times)\n";
}

CliCommand ParseCliArguments(int argc, char** argv, clioptionsstruct& options,
                             std::string& error) {
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      options.archives.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
    } else if (arg == "--help" || arg == "-h") {
      return CliCommand::Help;
    } else if (arg == "--version") {
      return CliCommand::Version;
    } else if (arg == "--retain-pack") {
      options.retain_pack = true;
    } else if (arg == "--quiet" || arg == "-q") {
      options.quiet = true;
    } else {
      std::string value;
      bool missing = false;
      std::optional<int32_t>* target = nullptr;
      const char* name = nullptr;
      if (TakeValueOption(arg, "--word-length", argc, argv, i, value, missing)) {
        target = &options.word_length;
        name = "--word-length";
      } else if (TakeValueOption(arg, "--sfid-msb", argc, argv, i, value, missing)) {
        target = &options.sfid_msb;
        name = "--sfid-msb";
      } else {
        error = "unknown option " + arg;
        return CliCommand::UsageError;
      }
      if (missing) {
        error = std::string(name) + " needs a value";
        return CliCommand::UsageError;
      }
      int32_t n = 0;
      if (!ParseIntArgument(value, n)) {
        error = std::string(name) + " needs a whole number, not \"" + value + "\"";
        return CliCommand::UsageError;
      }
      *target = n;
    }
  }
  if (options.archives.empty()) {
    error = "no archive given";
    return CliCommand::UsageError;
  }
  return CliCommand::Convert;
}
