// orlovarnel-verify: checks a Chapter 10 file written by the converter
// against its archive and says whether it holds every frame. It writes no
// file: no log, no options file, nothing beside the archive.
#include <cstdio>
#include <string>

#include "cli/cli_hooks.h"
#include "cli/cli_options.h"
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
  const verifyresultstruct result =
      VerifyCh10File(archive, ch10, [] { return InterruptRequested(); });
  std::printf("%s: %s\n", OneLineQuoted(ch10).c_str(), VerifyResultText(result).c_str());
  return result.Passed ? kExitVerified : kExitDifference;
}
