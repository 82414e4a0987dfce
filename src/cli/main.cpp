// orlovarnel-convert: converts archives from the command line with the same
// driver, texts, log and options file as the window, for scripts and batch
// work. The current folder is the start folder.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/decom_setup.h"
#include "orlo_version.h"
#include "ch10/ch10_converter.h"
#include "cli/cli_hooks.h"
#include "cli/cli_options.h"
#include "cli/cli_progress.h"
#include "cli/json_line.h"
#include "info/archive_info.h"
#include "info/time_line_svg.h"
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
// and the reason in plain words. A path with a control character in it is
// quoted and the reason escaped, so the line stays one line.
void PrintProblem(const std::string& path, const std::string& what) {
  std::fprintf(stderr, "orlovarnel-convert: %s: %s\n", OneLineQuoted(path).c_str(),
               EscapeControlCharacters(what).c_str());
  std::fflush(stderr);
}

// Set once a line could not be written to standard output (its reader has
// gone, as after `| head -1`): no further archive is started.
bool g_output_closed = false;

// With --json: one object per archive on standard output, and no summary
// lines.
bool g_json = false;

// One line on standard output.
void PrintOutput(const std::string& text) {
  if (g_output_closed || g_json) return;
  if (std::printf("%s\n", text.c_str()) >= 0 && std::fflush(stdout) == 0) return;
  const int error_number = errno != 0 ? errno : EIO;
  g_output_closed = true;
  std::fprintf(stderr, "orlovarnel-convert: standard output: %s: no further archive is converted\n",
               SystemErrorText(error_number).c_str());
  std::fflush(stderr);
}

// What one archive of the batch came to, for its JSON object.
struct archiveresultstruct {
  std::string archive;
  std::string outcome;  // converted, converted-with-warnings, refused, aborted, verified, differs
  int status = 0;
  std::string ch10_file, notes_file;
  std::vector<std::string> kept;  // partial outputs of an aborted run
  double frames = 0, fill_frames = 0, damaged_stamps = 0, pcm_packets = 0, time_packets = 0;
  std::vector<std::pair<std::string, std::string>> warnings;  // code, text
  std::vector<std::pair<std::string, std::string>> refusals;  // code, text
  std::chrono::steady_clock::time_point began = std::chrono::steady_clock::now();
};

void PrintJsonResult(const archiveresultstruct& r) {
  auto list = [](const std::vector<std::pair<std::string, std::string>>& items) {
    std::string out = "[";
    for (const auto& [code, text] : items) out += (out.size() > 1 ? "," : "") + jsonlineclass::CodeAndText(code, text);
    return out + "]";
  };
  jsonlineclass line;
  line.Text("archive", r.archive).Text("outcome", r.outcome).Integer("exit_status", r.status);
  std::string outputs = "{";
  if (!r.ch10_file.empty())
    outputs += "\"ch10\":" + jsonlineclass::Quoted(r.ch10_file) + ",\"notes\":" + jsonlineclass::Quoted(r.notes_file);
  line.Raw("outputs", outputs + "}");
  line.Texts("kept", r.kept);
  line.Integer("frames", static_cast<int64_t>(r.frames)).Integer("fill_frames", static_cast<int64_t>(r.fill_frames));
  line.Integer("damaged_stamps", static_cast<int64_t>(r.damaged_stamps));
  line.Integer("pcm_packets", static_cast<int64_t>(r.pcm_packets)).Integer("time_packets", static_cast<int64_t>(r.time_packets));
  line.Raw("warnings", list(r.warnings)).Raw("refusals", list(r.refusals));
  line.Number("wall_seconds", std::chrono::duration<double>(std::chrono::steady_clock::now() - r.began).count());
  const bool was_json = g_json;
  g_json = false;  // PrintOutput writes the line itself
  PrintOutput(line.Line());
  g_json = was_json;
}

// Why a run ended aborted: the operator, or the output that failed.
std::string AbortReason(const conversiondriverclass& driver) {
  if (driver.OutputFailed()) {
    return "conversion aborted: an output could not be written: " + SystemErrorText(driver.OutputError());
  }
  return std::string("conversion aborted by the operator (") + InterruptSignalName() + ")";
}

// Where an aborted run left what it wrote, and that the previous outputs
// are untouched; empty when nothing was kept.
std::string KeptOutputsText(const conversiondriverclass& driver) {
  const outputnamesstruct& kept = driver.KeptOutputs();
  std::string names;
  for (const std::string* name : {&kept.Ch10File, &kept.NotesFile, &kept.PackFile}) {
    if (!name->empty()) names += (names.empty() ? "" : ", ") + OneLineQuoted(*name);
  }
  if (names.empty()) return names;
  return "kept what was written as " + names + "; " + OneLineQuoted(driver.Ch10FileName()) +
         " and " + OneLineQuoted(driver.NotesFileName()) + " are as they were";
}

// The outputs an archive of this batch would get, as one comparable key:
// the Chapter 10 file's name in the output folder as the system resolves it.
std::string OutputsKey(const std::string& archive, const std::string& output_dir) {
  const outputnamesstruct names = conversiondriverclass::OutputNamesFor(archive, output_dir);
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::weakly_canonical(names.Folder, ec);
  const std::string name = std::filesystem::path(names.Ch10File).filename().string();
  return (ec ? std::filesystem::path(names.Folder) : folder).string() + "/" + name;
}

void PrintSummary(const std::string& path, const conversiondriverclass& driver,
                  ConversionOutcome outcome) {
  const orloarkpackclass* pack = driver.Pack();
  const ch10convertprocessclass* cvt = driver.Converter();
  std::string text = OneLineQuoted(path) + ": ";
  if (outcome == ConversionOutcome::Refused) {
    text += "not converted";
  } else {
    text += driver.OutcomeText();
    text += ", frames " + FormatFixedNumber(16, 0, pack ? pack->TotalFrameCount() : 0.0);
    text += " (fill " + FormatFixedNumber(16, 0, pack ? pack->MissedFrameCount() : 0.0) + ")";
    text += ", PCM packets " + FormatFixedNumber(16, 0, cvt ? static_cast<double>(cvt->PcmPacketCount()) : 0.0);
    text += ", time packets " + FormatFixedNumber(16, 0, cvt ? static_cast<double>(cvt->TimePacketCount()) : 0.0);
    text += " -> " + OneLineQuoted(driver.Ch10FileName());
  }
  PrintOutput(text);
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

// The modification time of a file in nanoseconds; false when it is not a
// regular file.
bool FileTime(const std::string& path, int64_t& nanoseconds) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  nanoseconds = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

// True when the archive's outputs are complete: both under their final
// names (an unfinished run leaves only partial ones), the notes not saying
// the run ended early, and both newer than the archive and the setup file
// it names.
bool OutputsComplete(const std::string& archive_path, const std::string& output_dir) {
  const outputnamesstruct names = conversiondriverclass::OutputNamesFor(archive_path, output_dir);
  int64_t ch10_time = 0, notes_time = 0, archive_time = 0, setup_time = 0;
  if (!FileTime(names.Ch10File, ch10_time) || !FileTime(names.NotesFile, notes_time)) return false;
  if (!FileTime(archive_path, archive_time)) return false;
  const int64_t outputs_time = std::min(ch10_time, notes_time);
  if (outputs_time <= archive_time) return false;
  {
    orloarkclass archive;
    if (!archive.OpenArkFile(archive_path)) return false;
    const std::string setup = SetupFilePath(archive.FileName(), archive.Header().SetupFileName);
    archive.CloseArkFile();
    if (FileTime(setup, setup_time) && outputs_time <= setup_time) return false;
  }
  std::ifstream in(names.NotesFile, std::ios::binary);
  const std::string notes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) return false;
  return notes.find(kNotesOperatorAbortText) == std::string::npos &&
         notes.find(kNotesOutputFailedText) == std::string::npos;
}

// NAME.gaps.svg beside the notes: the archive's time line, drawn from the
// archive read once more (it is in the cache by now).
bool WriteGapMap(const std::string& path, const conversiondriverclass& driver) {
  std::string name = driver.NotesFileName();
  name = name.substr(0, name.size() - std::string(kNotesExtension).size()) + kGapMapExtension;
  archiveinfostruct info;
  int error_number = 0;
  if (!InspectArchive(path, info, true)) {
    PrintProblem(path, "the gap map could not be drawn: the archive could not be read again");
    return false;
  }
  std::error_code ec;
  std::filesystem::remove(name, ec);
  if (!WriteTimeLineSvg(info, name, error_number)) {
    PrintProblem(path, "the gap map " + OneLineQuoted(name) + " could not be written: " + SystemErrorText(error_number));
    return false;
  }
  return true;
}

// Reads the Chapter 10 file just written back against its archive and
// prints the outcome; true when it matches.
bool VerifyConversion(const std::string& path, const conversiondriverclass& driver,
                      archiveresultstruct& r) {
  // Ctrl-C ends the check too; it then counts as not verified.
  const verifyresultstruct result =
      VerifyCh10File(path, driver.Ch10FileName(), [] { return InterruptRequested(); });
  const std::string text = VerifyResultText(result);
  PrintOutput(OneLineQuoted(path) + ": " + text);
  if (!result.Passed) {
    PrintProblem(path, text);
    r.refusals.push_back({"differs", text});
  }
  r.outcome = result.Passed ? "verified" : "differs";
  return result.Passed;
}

// Converts every archive in turn and returns the exit status.
int ConvertArchives(const clioptionsstruct& args) {
  progoptionsclass options;
  // --retain-pack holds for this command only: the saved choice of the
  // window stays as it was.
  const bool saved_retain = options.Options().RetainTempArkPackFile;
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
    // Outputs already written by an archive of this batch: a second archive
    // with the same name would replace them.
    std::map<std::string, std::string> written_by;

    for (const std::string& given : args.archives) {
      if (InterruptRequested() || g_output_closed) {
        any_failed = true;
        break;
      }
      std::string path = AbsolutePath(given);
      archiveresultstruct r;
      r.archive = path;
      auto refused = [&](const std::string& code, const std::string& text) {
        r.outcome = "refused";
        r.status = kExitFailed;
        r.refusals.push_back({code, text});
        if (g_json) PrintJsonResult(r);
      };
      std::string folder, default_name;
      driver.PrepareSelection(folder, default_name);
      const std::string outputs_key = OutputsKey(path, args.output_dir);
      const auto earlier = written_by.find(outputs_key);
      if (earlier != written_by.end()) {
        PrintOutput(OneLineQuoted(path) + ": not converted");
        PrintProblem(path, "not converted: its outputs " + OneLineQuoted(outputs_key) +
                               " were written by " + OneLineQuoted(earlier->second) +
                               " earlier in this run");
        refused("same-outputs", "its outputs " + outputs_key + " were written by " + earlier->second +
                                    " earlier in this run");
        any_failed = true;
        continue;
      }
      if (!driver.OpenArchive(path)) {
        PrintOutput(OneLineQuoted(path) + ": " +
                    (driver.OutputsRefused() ? "not converted" : "could not be opened"));
        PrintProblem(path, driver.OutputsRefused() ? "not converted: " + driver.RefusalReason()
                                                   : driver.RefusalReason());
        refused(driver.OutputsRefused() ? "outputs-refused" : "not-opened", driver.RefusalReason());
        any_failed = true;
        continue;
      }
      written_by.emplace(outputs_key, path);
      if (args.skip_complete && OutputsComplete(path, args.output_dir)) {
        const outputnamesstruct names = conversiondriverclass::OutputNamesFor(path, args.output_dir);
        r.ch10_file = names.Ch10File;
        r.notes_file = names.NotesFile;
        r.outcome = "skipped";
        bool passed = true;
        if (args.verify) {
          const verifyresultstruct result =
              VerifyCh10File(path, names.Ch10File, [] { return InterruptRequested(); });
          passed = result.Passed;
          r.frames = static_cast<double>(result.ArchiveFrames + result.FillFrames);
          r.fill_frames = static_cast<double>(result.FillFrames);
          PrintOutput(OneLineQuoted(path) + ": skipped, " + VerifyResultText(result));
          if (!passed) {
            PrintProblem(path, VerifyResultText(result));
            r.outcome = "differs";
            r.status = kExitFailed;
            r.refusals.push_back({"differs", VerifyResultText(result)});
            any_failed = true;
          }
        } else {
          PrintOutput(OneLineQuoted(path) + ": skipped -> " + OneLineQuoted(names.Ch10File));
        }
        if (g_json) PrintJsonResult(r);
        continue;
      }
      driver.SetRetainPackFile(args.retain_pack);
      progress.Begin(OneLineQuoted(FileBaseName(path)));
      ConversionOutcome outcome = driver.RunConversion();
      progress.End(outcome == ConversionOutcome::Refused ? "not converted" : driver.OutcomeText());
      PrintSummary(path, driver, outcome);
      for (const runwarningstruct& warning : driver.Warnings()) {
        PrintProblem(path, "warning: " + warning.text);
        r.warnings.push_back({RunWarningCode(warning.kind), warning.text});
      }
      if (const orloarkpackclass* pack = driver.Pack()) {
        r.frames = pack->TotalFrameCount();
        r.fill_frames = pack->MissedFrameCount();
        r.damaged_stamps = pack->DamagedTimeCount();
      }
      if (const ch10convertprocessclass* cvt = driver.Converter()) {
        r.pcm_packets = static_cast<double>(cvt->PcmPacketCount());
        r.time_packets = static_cast<double>(cvt->TimePacketCount());
      }
      if (outcome != ConversionOutcome::Refused) {
        r.ch10_file = driver.Ch10FileName();
        r.notes_file = driver.NotesFileName();
      }
      r.outcome = driver.Warnings().empty() ? "converted" : "converted-with-warnings";
      r.status = driver.Warnings().empty() ? kExitComplete : kExitWarnings;
      if (outcome == ConversionOutcome::Refused) {
        PrintProblem(path, "not converted: " + driver.RefusalReason());
        r.outcome = "refused";
        r.status = kExitFailed;
        r.refusals.push_back({"refused", driver.RefusalReason()});
        any_failed = true;
      } else if (outcome == ConversionOutcome::Aborted) {
        PrintProblem(path, AbortReason(driver));
        const std::string kept = KeptOutputsText(driver);
        if (!kept.empty()) PrintProblem(path, kept);
        r.outcome = "aborted";
        r.status = kExitFailed;
        r.refusals.push_back({driver.OutputFailed() ? "output-failed" : "aborted-by-operator", AbortReason(driver)});
        for (const std::string* name : {&driver.KeptOutputs().Ch10File, &driver.KeptOutputs().NotesFile,
                                        &driver.KeptOutputs().PackFile})
          if (!name->empty()) r.kept.push_back(*name);
        any_failed = true;
      } else if (args.gap_map && !WriteGapMap(path, driver)) {
        r.status = kExitFailed;
        r.refusals.push_back({"output-failed", "the gap map could not be written"});
        any_failed = true;
      } else if (args.verify && !VerifyConversion(path, driver, r)) {
        r.status = kExitFailed;
        any_failed = true;
      } else if (!driver.Warnings().empty()) {
        any_warnings = true;
      }
      if (g_json) PrintJsonResult(r);
    }
    driver.ResetJob();
  }
  // The last summary may be the one that could not be written.
  if (g_output_closed) any_failed = true;
  options.SetRetainPackFile(saved_retain);
  if (any_failed) return kExitFailed;
  return any_warnings ? kExitWarnings : kExitComplete;
}

// --jobs N: each archive converted by a child process of this program (the
// same options, one archive, no progress display), N at a time. Each
// child's standard output and error are kept and passed on whole, in the
// order the archives were given, so the lines read as they would from
// one process; the exit status is the worst of the children's.
int ConvertInChildren(const clioptionsstruct& args, const std::vector<std::string>& child_options) {
  struct childstruct {
    std::string archive;
    pid_t pid = -1;
    FILE* out = nullptr;
    FILE* err = nullptr;
    int status = -1;  // exit status once ended
    std::string refusal_line, refusal_problem;  // set instead of a child
    archiveresultstruct result;                 // its JSON object then
  };
  std::vector<childstruct> children(args.archives.size());
  std::map<std::string, std::string> written_by;
  for (size_t k = 0; k < args.archives.size(); ++k) {
    childstruct& c = children[k];
    c.archive = AbsolutePath(args.archives[k]);
    // An archive whose outputs an earlier one of the batch writes is
    // refused here, as the one-process batch refuses it.
    const std::string key = OutputsKey(c.archive, args.output_dir);
    const auto earlier = written_by.find(key);
    if (earlier != written_by.end()) {
      c.status = kExitFailed;
      c.refusal_line = OneLineQuoted(c.archive) + ": not converted";
      c.refusal_problem = "not converted: its outputs " + OneLineQuoted(key) + " were written by " +
                          OneLineQuoted(earlier->second) + " earlier in this run";
      c.result.archive = c.archive;
      c.result.outcome = "refused";
      c.result.status = kExitFailed;
      c.result.refusals.push_back(
          {"same-outputs", "its outputs " + key + " were written by " + earlier->second + " earlier in this run"});
      continue;
    }
    written_by.emplace(key, c.archive);
  }

  size_t next = 0, printed = 0;
  int running = 0;
  bool stopped = false;
  auto print_ready = [&] {
    while (printed < children.size() && children[printed].status >= 0) {
      childstruct& c = children[printed++];
      if (!c.refusal_line.empty()) {
        PrintOutput(c.refusal_line);
        PrintProblem(c.archive, c.refusal_problem);
        if (g_json) {
          if (c.result.archive.empty()) {
            c.result.archive = c.archive;
            c.result.outcome = "refused";
            c.result.status = kExitFailed;
            c.result.refusals.push_back({"not-started", c.refusal_problem});
          }
          PrintJsonResult(c.result);
        }
        continue;
      }
      for (FILE* f : {c.out, c.err}) {
        if (f == nullptr) continue;
        std::rewind(f);
        char buffer[65536];
        size_t got;
        FILE* to = f == c.out ? stdout : stderr;
        while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
          if (to == stdout && g_output_closed) break;
          if (std::fwrite(buffer, 1, got, to) != got || std::fflush(to) != 0) {
            if (to == stdout) g_output_closed = true;
            break;
          }
        }
        std::fclose(f);
      }
      c.out = c.err = nullptr;
    }
  };
  while (printed < children.size()) {
    if (InterruptRequested() && !stopped) {
      stopped = true;
      for (childstruct& c : children)
        if (c.pid > 0 && c.status < 0) ::kill(c.pid, SIGTERM);
    }
    while (!stopped && running < args.jobs && next < children.size()) {
      childstruct& c = children[next++];
      if (c.status >= 0) continue;  // refused above
      c.out = std::tmpfile();
      c.err = std::tmpfile();
      if (c.out == nullptr || c.err == nullptr) {
        c.status = kExitFailed;
        c.refusal_line = OneLineQuoted(c.archive) + ": not converted";
        c.refusal_problem = "not converted: no room for the output of its conversion";
        continue;
      }
      std::vector<std::string> argv_text = child_options;
      argv_text.push_back("--");
      argv_text.push_back(c.archive);
      std::vector<char*> child_argv;
      for (std::string& a : argv_text) child_argv.push_back(a.data());
      child_argv.push_back(nullptr);
      // Nothing buffered may be written twice by the child.
      std::fflush(nullptr);
      const pid_t pid = ::fork();
      if (pid == 0) {
        ::dup2(fileno(c.out), STDOUT_FILENO);
        ::dup2(fileno(c.err), STDERR_FILENO);
        ::execv("/proc/self/exe", child_argv.data());
        std::_Exit(127);
      }
      if (pid < 0) {
        c.status = kExitFailed;
        c.refusal_line = OneLineQuoted(c.archive) + ": not converted";
        c.refusal_problem = "not converted: " + SystemErrorText(errno);
        continue;
      }
      c.pid = pid;
      ++running;
    }
    // Archives never started once stopped count as failed.
    if (stopped) {
      for (size_t k = next; k < children.size(); ++k)
        if (children[k].status < 0 && children[k].pid < 0) children[k].status = kExitFailed;
      next = children.size();
    }
    print_ready();
    if (running == 0) {
      if (printed < children.size() && next >= children.size()) {
        // Nothing runs and nothing is left to start: the rest was never run.
        for (size_t k = printed; k < children.size(); ++k)
          if (children[k].status < 0) children[k].status = kExitFailed;
        print_ready();
      }
      continue;
    }
    int wait_status = 0;
    const pid_t ended = ::waitpid(-1, &wait_status, 0);
    if (ended < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (childstruct& c : children) {
      if (c.pid != ended) continue;
      c.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : kExitFailed;
      --running;
    }
  }
  bool any_failed = stopped || g_output_closed, any_warnings = false;
  for (const childstruct& c : children) {
    if (c.status != kExitComplete && c.status != kExitWarnings) any_failed = true;
    if (c.status == kExitWarnings) any_warnings = true;
  }
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
                   OneLineQuoted(args.output_dir).c_str(), reason.c_str());
      return kExitFailed;
    }
    // A link given here is the user's own choice: resolved once, so that
    // the converter, which never writes through a link, writes where it
    // leads.
    std::error_code ec;
    const std::filesystem::path resolved = std::filesystem::canonical(args.output_dir, ec);
    if (!ec) args.output_dir = resolved.string();
  }

  g_json = args.json;
  InstallSilentBeeps();
  InstallMessageBoxPrinter();
  InstallPromptAnswers(args.word_length, args.sfid_msb, args.quiet);
  InstallInterruptHandler();

  StartErrorLog(false, kOrloVersionText, kProgramName, "", kProgramName);
  const std::string log_problem = ErrorLogProblem();
  if (!log_problem.empty()) PrintProblem(ErrorLogPath(), log_problem);
  int status = kExitComplete;
  if (args.jobs > 1 && args.archives.size() > 1) {
    // The children keep the log; this process only hands out the archives.
    std::vector<std::string> child = {argv[0], "--quiet"};
    if (args.retain_pack) child.push_back("--retain-pack");
    if (args.verify) child.push_back("--verify");
    if (args.json) child.push_back("--json");
    if (args.skip_complete) child.push_back("--skip-complete");
    if (args.gap_map) child.push_back("--gap-map");
    if (!args.output_dir.empty()) child.push_back("--output-dir=" + args.output_dir);
    if (args.word_length) child.push_back("--word-length=" + std::to_string(*args.word_length));
    if (args.sfid_msb) child.push_back("--sfid-msb=" + std::to_string(*args.sfid_msb));
    status = ConvertInChildren(args, child);
  } else {
    status = ConvertArchives(args);
  }
  EndErrorLog(false);
  return status;
}
