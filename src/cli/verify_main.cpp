// orlovarnel-verify: checks a Chapter 10 file written by the converter
// against its archive and says whether it holds every frame. It writes no
// file: no log, no options file, nothing beside the archive.
#include <chrono>
#include <cstdio>
#include <string>

#include "cli/cli_hooks.h"
#include "cli/cli_options.h"
#include "cli/json_line.h"
#include "orlo_version.h"
#include "shell/conversion_driver.h"
#include "support/text_format.h"
#include "verify/ch10_file_verifier.h"

namespace {

enum ExitStatus { kExitVerified = 0, kExitDifference = 1, kExitUsage = 2 };

}  // namespace

int main(int argc, char** argv) {
  verifyoptionsstruct args;
  std::string error;
  switch (ParseVerifyArguments(argc, argv, args, error)) {
    case CliCommand::Help:
      std::fputs(VerifyUsageText(), stdout);
      return kExitVerified;
    case CliCommand::Version:
      std::printf("%s %s\n", kProgramName, kOrloVersionText);
      return kExitVerified;
    case CliCommand::UsageError:
      std::fprintf(stderr, "orlovarnel-verify: %s\n\n%s", error.c_str(), VerifyUsageText());
      return kExitUsage;
    case CliCommand::Convert:
      break;
  }

  InstallSilentBeeps();
  InstallMessageBoxPrinter();
  InstallPromptAnswers(args.word_length, args.sfid_msb, true);
  InstallInterruptHandler();

  const std::string archive = AbsolutePath(args.archive);
  const std::string output_dir = args.output_dir.empty() ? "" : AbsolutePath(args.output_dir);
  const std::string ch10 = args.ch10_file.empty()
                               ? conversiondriverclass::OutputNamesFor(archive, output_dir).Ch10File
                               : AbsolutePath(args.ch10_file);
  const auto began = std::chrono::steady_clock::now();
  const verifyresultstruct result =
      VerifyCh10File(archive, ch10, [] { return InterruptRequested(); });
  if (args.json) {
    jsonlineclass line;
    line.Text("archive", archive).Text("outcome", result.Passed ? "verified" : "differs");
    line.Integer("exit_status", result.Passed ? kExitVerified : kExitDifference);
    line.Raw("outputs", "{\"ch10\":" + jsonlineclass::Quoted(ch10) + "}");
    line.Integer("frames", result.ArchiveFrames + result.FillFrames).Integer("fill_frames", result.FillFrames);
    line.Integer("packets", result.Packets);
    line.Raw("warnings", "[]");
    line.Raw("refusals", result.Passed ? "[]" : "[" + jsonlineclass::CodeAndText("differs", result.Difference) + "]");
    if (result.DifferenceOffset >= 0 && !result.Passed) line.Integer("difference_offset", result.DifferenceOffset);
    line.Number("wall_seconds", std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count());
    std::printf("%s\n", line.Line().c_str());
  } else {
    std::printf("%s: %s\n", OneLineQuoted(ch10).c_str(), VerifyResultText(result).c_str());
  }
  return result.Passed ? kExitVerified : kExitDifference;
}
