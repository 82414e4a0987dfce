// orlovarnel-convert: converts archives from the command line with the same
// driver, texts, log and options file as the window, for scripts and batch
// work. The current folder is the start folder.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "archive/archive_reader.h"
#include "orlo_version.h"
#include "ch10/ch10_converter.h"
#include "cli/cli_hooks.h"
#include "cli/cli_options.h"
#include "cli/cli_progress.h"
#include "pack/pack_converter.h"
#include "shell/conversion_driver.h"
#include "shell/program_options.h"
#include "support/error_log.h"
#include "support/platform_file.h"
#include "support/profile_files.h"
#include "support/text_format.h"
#include "verify/ch10_file_verifier.h"

namespace {

// 0: every archive converted cleanly; 1: any refused, aborted or failed;
// 2: usage error; 3: all converted, some with warnings.
enum ExitStatus { kExitComplete = 0, kExitFailed = 1, kExitUsage = 2, kExitWarnings = 3 };

// One line on standard error per refusal, failure or warning: the archive
// and the reason in plain words.
void PrintProblem(const std::string& path, const std::string& what) {
  std::fprintf(stderr, "orlovarnel-convert: %s: %s\n", path.c_str(), what.c_str());
  std::fflush(stderr);
}

// Why a run ended aborted: the operator, or the output that failed.
std::string AbortReason(const conversiondriverclass& driver) {
  if (driver.OutputFailed()) {
    return "conversion aborted: an output could not be written: " + SystemErrorText(driver.OutputError());
  }
  return "conversion aborted by the operator (Ctrl-C)";
}

void PrintSummary(const std::string& path, const conversiondriverclass& driver,
                  ConversionOutcome outcome) {
  const orloarkpackclass* pack = driver.Pack();
  const ch10convertprocessclass* cvt = driver.Converter();
  std::string text = path + ": ";
  if (outcome == ConversionOutcome::Refused) {
    text += "not converted";
  } else {
    text += driver.OutcomeText();
    text += ", frames " + FormatFixedNumber(16, 0, pack ? pack->TotalFrameCount : 0.0);
    text += " (fill " + FormatFixedNumber(16, 0, pack ? pack->MissedFrameCount : 0.0) + ")";
    text += ", PCM packets " + FormatFixedNumber(16, 0, cvt ? static_cast<double>(cvt->PcmPacketCount()) : 0.0);
    text += ", time packets " + FormatFixedNumber(16, 0, cvt ? static_cast<double>(cvt->TimePacketCount()) : 0.0);
    text += " -> " + driver.Ch10FileName();
  }
  std::printf("%s\n", text.c_str());
  std::fflush(stdout);
}

// The folder of --output-dir, created with its parents when missing. False
// (with the reason) when it cannot be made or is not a folder.
bool PrepareOutputFolder(const std::string& folder, std::string& reason) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (std::filesystem::is_directory(folder)) return true;
  reason = ec ? ec.message() : "not a folder";
  return false;
}

// Reads the Chapter 10 file just written back against its archive and
// prints the outcome; true when it matches.
bool VerifyConversion(const std::string& path, const conversiondriverclass& driver) {
  // Ctrl-C ends the check too; it then counts as not verified.
  const verifyresultstruct result =
      VerifyCh10File(path, driver.Ch10FileName(), [] { return InterruptRequested(); });
  const std::string text = VerifyResultText(result);
  std::printf("%s: %s\n", path.c_str(), text.c_str());
  std::fflush(stdout);
  if (!result.Passed) PrintProblem(path, text);
  return result.Passed;
}

// Converts every archive in turn and returns the exit status.
int ConvertArchives(const clioptionsstruct& args) {
  progoptionsclass options;
  // --retain-pack holds for this command only: the saved choice of the
  // window stays as it was.
  const bool saved_retain = options.Options.RetainTempArkPackFile;
  cliprogressclass progress(stderr, args.quiet, isatty(STDERR_FILENO) != 0);
  bool any_failed = false;
  bool any_warnings = false;
  {
    conversiondriverclass* running_driver = nullptr;
    conversiondriverclass driver(options, [&] {
      if (running_driver == nullptr) return;
      if (InterruptRequested()) running_driver->RequestAbort();
      progress.Update(*running_driver);
    });
    running_driver = &driver;
    driver.SetStopSource([] { return InterruptRequested(); });
    driver.SetOutputFolder(args.output_dir);

    for (const std::string& given : args.archives) {
      if (InterruptRequested()) {
        any_failed = true;
        break;
      }
      std::string path = AbsolutePath(given);
      std::string folder, default_name;
      driver.PrepareSelection(folder, default_name);
      if (!driver.OpenArchive(path)) {
        std::printf("%s: could not be opened\n", path.c_str());
        std::fflush(stdout);
        PrintProblem(path, driver.RefusalReason());
        any_failed = true;
        continue;
      }
      driver.SetRetainPackFile(args.retain_pack);
      progress.Begin(FileBaseName(path));
      ConversionOutcome outcome = driver.RunConversion();
      progress.End(outcome == ConversionOutcome::Refused ? "not converted" : driver.OutcomeText());
      PrintSummary(path, driver, outcome);
      for (const runwarningstruct& warning : driver.Warnings()) PrintProblem(path, "warning: " + warning.text);
      if (outcome == ConversionOutcome::Refused) {
        PrintProblem(path, "not converted: " + driver.RefusalReason());
        any_failed = true;
      } else if (outcome == ConversionOutcome::Aborted) {
        PrintProblem(path, AbortReason(driver));
        any_failed = true;
      } else if (args.verify && !VerifyConversion(path, driver)) {
        any_failed = true;
      } else if (!driver.Warnings().empty()) {
        any_warnings = true;
      }
    }
    driver.ResetJob();
  }
  options.Options.RetainTempArkPackFile = saved_retain;
  if (any_failed) return kExitFailed;
  return any_warnings ? kExitWarnings : kExitComplete;
}

}  // namespace

int main(int argc, char** argv) {
  clioptionsstruct args;
  std::string error;
  switch (ParseCliArguments(argc, argv, args, error)) {
    case CliCommand::Help:
      std::fputs(CliUsageText(), stdout);
      return kExitComplete;
    case CliCommand::Version:
      std::printf("%s %s\n", kProgramName, kOrloVersionText);
      return kExitComplete;
    case CliCommand::UsageError:
      std::fprintf(stderr, "orlovarnel-convert: %s\n\n%s", error.c_str(), CliUsageText());
      return kExitUsage;
    case CliCommand::Convert:
      break;
  }

  if (!args.output_dir.empty()) {
    args.output_dir = AbsolutePath(args.output_dir);
    std::string reason;
    if (!PrepareOutputFolder(args.output_dir, reason)) {
      std::fprintf(stderr, "orlovarnel-convert: cannot create the output folder %s: %s\n",
                   args.output_dir.c_str(), reason.c_str());
      return kExitFailed;
    }
  }

  InstallSilentBeeps();
  InstallMessageBoxPrinter();
  InstallPromptAnswers(args.word_length, args.sfid_msb, args.quiet);
  InstallInterruptHandler();

  StartErrorLog(false, kOrloVersionText, kProgramName, "", kProgramName);
  int status = ConvertArchives(args);
  EndErrorLog(false);
  return status;
}
