// orlovarnel-info: says what each archive holds without converting it:
// the header values, the setup decision, the frames, the gaps and damaged
// stamps as a conversion would find them. It writes nothing: no outputs,
// no log, no options file.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_hooks.h"
#include "cli/cli_options.h"
#include "cli/json_line.h"
#include "info/archive_info.h"
#include "info/time_line_svg.h"
#include "orlo_version.h"
#include "support/text_format.h"

namespace {

enum ExitStatus { kExitClean = 0, kExitFailed = 1, kExitUsage = 2, kExitWarnings = 3 };

const char* UsageText() {
  return "Usage: orlovarnel-info [--json] [--svg FILE.svg] [--word-length N] [--sfid-msb N] ARCHIVE...\n"
         "\n"
         "Reads each ORLO_8X archive (.Ark) the way orlovarnel-convert does and says\n"
         "what a conversion of it would find, without writing anything: the header's\n"
         "values, which setup file would be used (or why not, and that the prompts\n"
         "would be asked), the blocks and frames, the frame rate the frame times show,\n"
         "the gaps and their fill frames, the damaged time stamps kept in place, and a\n"
         "last block the file ends inside.\n"
         "\n"
         "  --json             one JSON object per archive (JSON Lines) instead of text\n"
         "  --svg FILE.svg     draw the archive's time line (frames, filled gaps, damaged\n"
         "                     stamps) into FILE.svg (one archive)\n"
         "  --word-length N    the answer a conversion would give the word length prompt\n"
         "  --sfid-msb N       the answer a conversion would give the SFID MSB prompt\n"
         "  --help             this text\n"
         "  --version          the program's version\n"
         "\n"
         "Exit status: 0 every archive readable and clean; 1 an archive a conversion\n"
         "would refuse, or a read that failed; 2 usage error; 3 every archive readable,\n"
         "some with what a conversion would warn of.\n"
         "See orlovarnel-info(1).\n";
}

struct infooptionsstruct {
  bool json = false;
  std::string svg;  // the time line picture's file (one archive)
  std::optional<int32_t> word_length;
  std::optional<int32_t> sfid_msb;
  std::vector<std::string> archives;
};

CliCommand ParseInfoArguments(int argc, char** argv, infooptionsstruct& options, std::string& error) {
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    std::optional<CliCommand> command;
    if (TakeCommonArgument(arg, options_ended, options.archives, command)) {
      if (command) return *command;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--svg" || arg.rfind("--svg=", 0) == 0) {
      if (arg.size() > 5) {
        options.svg = arg.substr(6);
      } else if (i + 1 < argc) {
        options.svg = argv[++i];
      }
      if (options.svg.empty()) {
        error = "--svg needs the picture's file name";
        return CliCommand::UsageError;
      }
    } else {
      std::string output_dir;  // taken by the shared parser, meaningless here
      TakeSharedOption(arg, argc, argv, i, options.word_length, options.sfid_msb, output_dir, error);
      if (error.empty() && !output_dir.empty()) error = "unknown option --output-dir";
      if (!error.empty()) return CliCommand::UsageError;
    }
  }
  if (options.archives.empty()) {
    error = "no archive given";
    return CliCommand::UsageError;
  }
  if (!options.svg.empty() && options.archives.size() != 1) {
    error = "--svg draws one archive";
    return CliCommand::UsageError;
  }
  return CliCommand::Convert;
}

std::string Count(int64_t n) { return std::to_string(n); }

void PrintText(const archiveinfostruct& info) {
  std::printf("%s\n", OneLineQuoted(info.path).c_str());
  if (!info.readable) {
    std::printf("  would not be converted: %s\n", EscapeControlCharacters(info.refusal).c_str());
    return;
  }
  std::printf("  year %d, start %s, stop %s\n", info.year, FormatDayTimeMicro(info.start_time).c_str(),
              FormatDayTimeMicro(info.stop_time).c_str());
  std::printf("  minor frame rate %s Hz, %d words per minor frame, %d frames per block, %d status bytes\n",
              FormatFixedNumber(20, 2, info.header_rate).c_str(), info.words_per_frame,
              info.frames_per_block, info.status_bytes);
  std::printf("  setup file recorded: %s\n", OneLineQuoted(info.recorded_setup_name).c_str());
  switch (info.setup) {
    case SetupDecision::Used:
      std::printf("  setup: %s is used\n", OneLineQuoted(info.setup_file).c_str());
      break;
    case SetupDecision::NotFound:
      std::printf("  setup: %s not found; the prompts would be asked\n", OneLineQuoted(info.setup_file).c_str());
      break;
    case SetupDecision::NotUsed:
      std::printf("  setup: not used: %s; the prompts would be asked\n",
                  EscapeControlCharacters(info.setup_reason).c_str());
      break;
  }
  std::printf("  blocks %s, frames %s, fill frames %s in %s gaps", Count(info.blocks).c_str(),
              Count(info.archive_frames).c_str(), Count(info.fill_frames).c_str(),
              Count(info.filled_gaps).c_str());
  if (info.largest_gap.fill_frames > 0) {
    std::printf(" (largest %s before %s)", Count(info.largest_gap.fill_frames).c_str(),
                FormatDayTimeMicro(info.largest_gap.time).c_str());
  }
  std::printf(", damaged stamps %s\n", Count(info.damaged_stamps).c_str());
  if (info.cut_fill_frames > 0)
    std::printf("  fill cut: %s missed frames not filled\n", Count(info.cut_fill_frames).c_str());
  std::printf("  frame rate shown by the frame times %s Hz (header %s Hz)\n",
              FormatFixedNumber(20, 2, info.shown_rate).c_str(), FormatFixedNumber(20, 2, info.header_rate).c_str());
  if (info.partial_block_bytes > 0)
    std::printf("  last block cut: %s bytes would not be converted\n", Count(info.partial_block_bytes).c_str());
  if (info.input_error != 0)
    std::printf("  read failed: %s\n", SystemErrorText(info.input_error).c_str());
  for (const runwarningstruct& w : info.warnings) std::printf("  warning: %s\n", w.text.c_str());
}

void PrintJson(const archiveinfostruct& info, int status, double seconds) {
  jsonlineclass line;
  line.Text("archive", info.path);
  line.Text("outcome", !info.readable ? "refused" : info.input_error != 0 ? "read-failed" : "inspected");
  line.Integer("exit_status", status);
  line.Raw("outputs", "{}");  // the inspection writes none
  std::string refusals = "[]";
  if (!info.readable) {
    refusals = "[" + jsonlineclass::CodeAndText("not-convertible", info.refusal) + "]";
  } else {
    if (info.input_error != 0)
      refusals = "[" + jsonlineclass::CodeAndText("read-failed", SystemErrorText(info.input_error)) + "]";
    line.Integer("year", info.year);
    line.Number("start_time", info.start_time);
    line.Text("start", FormatDayTimeMicro(info.start_time));
    line.Number("stop_time", info.stop_time);
    line.Text("stop", FormatDayTimeMicro(info.stop_time));
    line.Number("header_rate_hz", info.header_rate);
    line.Number("shown_rate_hz", info.shown_rate);
    line.Integer("words_per_minor_frame", info.words_per_frame);
    line.Integer("frames_per_block", info.frames_per_block);
    line.Integer("status_bytes", info.status_bytes);
    line.Text("recorded_setup_file", info.recorded_setup_name);
    line.Text("setup_file", info.setup_file);
    line.Text("setup", SetupDecisionCode(info.setup));
    if (info.setup == SetupDecision::NotUsed) {
      line.Integer("setup_check", info.setup_check);
      line.Text("setup_reason", info.setup_reason);
    }
    line.Boolean("prompts", info.prompts_asked);
    line.Integer("blocks", info.blocks);
    // As the converter counts them: the stream's frames, fill frames among them.
    line.Integer("frames", info.archive_frames + info.fill_frames);
    line.Integer("archive_frames", info.archive_frames);
    line.Integer("fill_frames", info.fill_frames);
    line.Integer("cut_fill_frames", info.cut_fill_frames);
    line.Integer("gaps", info.filled_gaps);
    line.Integer("damaged_stamps", info.damaged_stamps);
    if (info.largest_gap.fill_frames > 0) {
      line.Integer("largest_gap_frames", info.largest_gap.fill_frames);
      line.Number("largest_gap_time", info.largest_gap.time);
    }
    line.Integer("cut_block_bytes", info.partial_block_bytes);
  }
  std::string warnings = "[";
  for (const runwarningstruct& w : info.warnings)
    warnings += (warnings.size() > 1 ? "," : "") + jsonlineclass::CodeAndText(RunWarningCode(w.kind), w.text);
  line.Raw("warnings", warnings + "]");
  line.Raw("refusals", refusals);
  line.Number("wall_seconds", seconds);
  std::printf("%s\n", line.Line().c_str());
}

}  // namespace

int main(int argc, char** argv) {
  infooptionsstruct args;
  std::string error;
  switch (ParseInfoArguments(argc, argv, args, error)) {
    case CliCommand::Help:
      std::fputs(UsageText(), stdout);
      return kExitClean;
    case CliCommand::Version:
      std::printf("orlovarnel-info %s\n", kOrloVersionText);
      return kExitClean;
    case CliCommand::UsageError:
      std::fprintf(stderr, "orlovarnel-info: %s\n\n%s", error.c_str(), UsageText());
      return kExitUsage;
    case CliCommand::Convert:
      break;
  }
  InstallSilentBeeps();
  InstallMessageBoxPrinter();
  InstallPromptAnswers(args.word_length, args.sfid_msb, true);
  InstallInterruptHandler();

  bool any_failed = false;
  bool any_warnings = false;
  for (const std::string& given : args.archives) {
    if (InterruptRequested()) {
      any_failed = true;
      break;
    }
    const auto began = std::chrono::steady_clock::now();
    archiveinfostruct info;
    bool ok = InspectArchive(AbsolutePath(given), info, !args.svg.empty());
    if (ok && !args.svg.empty()) {
      int error_number = 0;
      if (!WriteTimeLineSvg(info, AbsolutePath(args.svg), error_number)) {
        std::fprintf(stderr, "orlovarnel-info: %s: %s\n", OneLineQuoted(args.svg).c_str(),
                     SystemErrorText(error_number).c_str());
        ok = false;
      }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    const int status = !ok ? kExitFailed : info.warnings.empty() ? kExitClean : kExitWarnings;
    any_failed = any_failed || !ok;
    any_warnings = any_warnings || status == kExitWarnings;
    if (args.json) {
      PrintJson(info, status, seconds);
    } else {
      PrintText(info);
    }
    std::fflush(stdout);
  }
  if (any_failed) return kExitFailed;
  return any_warnings ? kExitWarnings : kExitClean;
}
