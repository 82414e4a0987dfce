// The module layer of the error log: the program's single log, its start
// folder, the beeper's lifetime, the program-closing flag and the message
// box hook.
#include "support/error_log.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <shared_mutex>

#include "support/beeper.h"
#include "support/error_log_file.h"
#include "support/platform_file.h"

namespace {

struct LogState {
  // Shared by writers, exclusive while the log is created or destroyed.
  std::shared_mutex lock;
  std::unique_ptr<zekerrorlog> log;
  std::string start_folder;
  std::mutex hook_lock;
  MessageBoxHook hook;
};

LogState& State() {
  static LogState state;
  return state;
}

std::atomic<bool> g_program_closing{false};

const char kProgramStart[] = "------------------PROGRAM START--------------------";
const char kLibraryStart[] = "--------------------DLL START----------------------";
const char kProgramEnd[] = "------------------PROGRAM END--------------------";
const char kLibraryEnd[] = "--------------------DLL END----------------------";

// Writes the line when there is a log; true when there was one.
bool WriteIfLogExists(const std::string& message, int code) {
  LogState& s = State();
  std::shared_lock<std::shared_mutex> guard(s.lock);
  if (!s.log) return false;
  s.log->Write(message, code);
  return true;
}

}  // namespace

void StartErrorLog(bool library, const std::string& version, const std::string& log_name,
                   const std::string& subfolder, const std::string& fallback_name) {
  LogState& s = State();
  {
    std::unique_lock<std::shared_mutex> guard(s.lock);
    s.log.reset();
    s.start_folder = CurrentFolder();
    if (!(log_name.empty() && subfolder.empty() && fallback_name.empty())) {
      std::string fallback = fallback_name.empty() ? std::string("LogFile") : fallback_name;
      std::string file_name;
      if (!subfolder.empty() && FolderExists(s.start_folder + subfolder)) {
        file_name = s.start_folder + subfolder + log_name + ".Log";
      } else {
        file_name = fallback + ".Log";
      }
      s.log = std::make_unique<zekerrorlog>(file_name);
      s.log->Write(library ? kLibraryStart : kProgramStart, 0);
      s.log->Write((library ? "DLL Version " : "Program Version ") + version, 0);
    }
  }
  StartBeeper();
  g_program_closing = false;
}

void EndErrorLog(bool library) {
  EndBeeper();
  LogLine(library ? kLibraryEnd : kProgramEnd, 0);
  LogState& s = State();
  std::unique_lock<std::shared_mutex> guard(s.lock);
  if (s.log) {
    s.log->CloseFile();
    s.log.reset();
  }
}

void LogLine(const std::string& message, int code) {
  MakeStartFolderCurrent();
  WriteIfLogExists(message, code);
}

void LogInfo(const std::string& message, int code, bool show) {
  MakeStartFolderCurrent();
  if (WriteIfLogExists(message, code) && show) ShowMessageBox("INFO", message);
}

void LogWarning(const std::string& message, int code, bool show) {
  BeepWarning();
  LogInfo(message, code, false);
  if (show) ShowMessageBox("WARNING", message);
}

void LogError(const std::string& message, int code, bool show) {
  BeepError();
  LogInfo(message, code, false);
  if (show) ShowMessageBox("ERROR", message);
}

const std::string& StartFolder() { return State().start_folder; }

void MakeStartFolderCurrent() {
  const std::string& folder = State().start_folder;
  // A failed change is not reported: the log keeps its own file name.
  if (!folder.empty()) SetCurrentFolder(folder);
}

std::string ErrorLogPath() {
  LogState& s = State();
  std::shared_lock<std::shared_mutex> guard(s.lock);
  if (!s.log || s.log->FileName().empty()) return std::string();
  const std::string& name = s.log->FileName();
  if (name[0] == '/') return name;
  return s.start_folder + "/" + name;
}

std::string ErrorLogProblem() {
  LogState& s = State();
  std::shared_lock<std::shared_mutex> guard(s.lock);
  return s.log ? s.log->OpenProblem() : std::string();
}

zekerrorlog* ActiveErrorLog() {
  LogState& s = State();
  std::shared_lock<std::shared_mutex> guard(s.lock);
  return s.log.get();
}

void SetProgramClosing(bool closing) { g_program_closing = closing; }
bool IsProgramClosing() { return g_program_closing; }

MessageBoxHook ExchangeMessageBoxHook(MessageBoxHook hook) {
  auto& s = State();
  std::lock_guard<std::mutex> guard(s.hook_lock);
  std::swap(s.hook, hook);
  return hook;
}

void SetMessageBoxHook(MessageBoxHook hook) {
  LogState& s = State();
  std::lock_guard<std::mutex> guard(s.hook_lock);
  s.hook = std::move(hook);
}

void ShowMessageBox(const std::string& caption, const std::string& text) {
  MessageBoxHook hook;
  {
    LogState& s = State();
    std::lock_guard<std::mutex> guard(s.hook_lock);
    hook = s.hook;
  }
  if (hook) {
    hook(caption, text);
    return;
  }
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}
