// The program's error log: one text file in the start folder with coded,
// time-stamped lines, and the module-level logging calls every module uses.
// A run empties the file when it starts, unless another live process (a
// parallel batch, the window) is using it; then it appends its lines.
//
// Line: "%06d" code, two blanks, "%03d:%02d:%02d:%09.6f" time stamp, two
// blanks, message, CR LF.
#pragma once

#include <functional>
#include <memory>
#include <string>

class zekerrorlog;

// Module layer.
void StartErrorLog(bool library, const std::string& version, const std::string& log_name,
                   const std::string& subfolder, const std::string& fallback_name);
void EndErrorLog(bool library);
void LogLine(const std::string& message, int code);
void LogInfo(const std::string& message, int code, bool show);
void LogWarning(const std::string& message, int code, bool show);
void LogError(const std::string& message, int code, bool show);

// The start folder recorded by StartErrorLog ("" before).
const std::string& StartFolder();
// Makes the start folder the current folder (every logging call does this).
void MakeStartFolderCurrent();
// Full path of the log file of the running log ("" when there is none).
std::string ErrorLogPath();
// Why the running log writes nothing (a symbolic link or something other
// than a regular file at its name, a file that cannot be opened), to
// follow ErrorLogPath() in a message; "" when it writes or there is none.
std::string ErrorLogProblem();

// The program-closing flag: set by the shutdown, read by the refresh thread
// and the block reader.
void SetProgramClosing(bool closing);
bool IsProgramClosing();

// Message boxes: the front end installs a hook that shows a modal box with
// the caption ("INFO", "WARNING", "ERROR") and text. Without a hook the
// caption and text go to standard error.
using MessageBoxHook = std::function<void(const std::string& caption, const std::string& text)>;
void SetMessageBoxHook(MessageBoxHook hook);
// Installs `hook` and returns the one it replaced (a caller that gathers
// the boxes of one step puts the previous one back).
MessageBoxHook ExchangeMessageBoxHook(MessageBoxHook hook);
void ShowMessageBox(const std::string& caption, const std::string& text);

// The running log object ("nullptr" before the start and after the end);
// for tests that inspect its clock or lock.
zekerrorlog* ActiveErrorLog();
