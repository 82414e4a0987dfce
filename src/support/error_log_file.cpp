#include "support/error_log_file.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "support/text_format.h"

namespace {

const char kReinitNote[] = "  >>>> HAD TO REINIT ErrorLog TIMER";
const char kCpuTimeNote[] = "  >>>> HAD TO USE THE CPU TIME";

// The file name without folder and extension, for the lock name.
std::string NamePart(const std::string& path) {
  size_t slash = path.find_last_of("\\/:");
  std::string name = (slash == std::string::npos) ? path : path.substr(slash + 1);
  size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace

zekerrorlog::zekerrorlog(const std::string& file_name, LineCallback callback)
    : clock_(std::make_unique<Ctimerclass>()), callback_(std::move(callback)) {
  file_name_ = file_name.empty() ? std::string("ErrorLog.Log") : file_name;
  if (file_name_.size() > kMaxFileNameLength) {
    refused_ = true;
    open_problem_ = "the name is too long: nothing is logged";
    file_name_.clear();
  }
  lock_name_ = "ERRORLOGGING_" + NamePart(file_name_) + std::to_string(::getpid());
  line_[0] = '\0';
  std::lock_guard<std::timed_mutex> guard(lock_);
  OpenFile();
}

zekerrorlog::~zekerrorlog() { CloseFile(); }

void zekerrorlog::CloseFile() { file_.Close(); }

std::string zekerrorlog::LastLine() const { return std::string(line_, line_length_); }

std::string zekerrorlog::OpenProblem() {
  std::lock_guard<std::timed_mutex> guard(lock_);
  return open_problem_;
}

bool zekerrorlog::OpenFile() {
  if (file_.IsOpen()) return true;
  if (refused_) return false;
  switch (file_.Open(file_name_)) {
    case SharedAppendFile::OpenResult::Opened:
      break;
    case SharedAppendFile::OpenResult::SymbolicLink:
      refused_ = true;
      open_problem_ = "is a symbolic link: it is not followed, and nothing is logged";
      return false;
    case SharedAppendFile::OpenResult::NotRegularFile:
      refused_ = true;
      open_problem_ = "is not a regular file: nothing is logged";
      return false;
    case SharedAppendFile::OpenResult::Failed:
      open_problem_ = "cannot be opened: " + SystemErrorText(file_.LastError());
      return false;
  }
  open_problem_.clear();
  // The file is emptied only when no other process has it open as a log,
  // and only at this log's first open (a reopen must keep its own lines).
  // The shared lock is taken before the first line is written, so a log
  // that starts later never empties lines written under it.
  if (may_empty_ && file_.TryLockExclusive()) file_.Truncate();
  may_empty_ = false;
  file_.LockShared(kShareWait);
  return true;
}

size_t zekerrorlog::FormatLine(const std::string& message, int code, double reading,
                               const char* note) {
  std::string stamp = FormatDayTimeMicro(reading);
  if (stamp[0] == 'X') stamp = "000:00:00:00.000000";
  int head = std::snprintf(line_, kLineBufferSize, "%06d  %s  ", code, stamp.c_str());
  size_t used = head > 0 ? static_cast<size_t>(head) : 0;
  size_t note_length = std::strlen(note);
  // Room for the message: the note and CR LF always fit, the message is cut.
  size_t room = kLineBufferSize - used - note_length - 2;
  // Control characters are escaped so that the message stays one line; an
  // escape that does not fit whole is cut with the rest.
  char* out = line_ + used;
  size_t taken = 0;
  char escape[4];
  for (char c : message) {
    if (IsControlCharacter(c)) {
      const size_t k = ControlCharacterEscape(c, escape);
      if (taken + k > room) break;
      std::memcpy(out + taken, escape, k);
      taken += k;
    } else {
      if (taken == room) break;
      out[taken++] = c;
    }
  }
  used += taken;
  std::memcpy(line_ + used, note, note_length);
  used += note_length;
  line_[used++] = '\r';
  line_[used++] = '\n';
  return used;
}

void zekerrorlog::Write(const std::string& message, int code) {
  if (!lock_.try_lock_for(kLockWait)) return;
  if (!OpenFile()) {
    lock_.unlock();
    return;
  }
  double reading = clock_->GetTime();
  const char* note = "";
  if (reading > kMaxDayOfYearSeconds) {
    clock_->Calibrate();
    reading = clock_->GetTime();
    note = kReinitNote;
  }
  if (!(reading >= 0.000001)) {
    clock_ = std::make_unique<Ctimerclass>();
    reading = clock_->GetTime();
    note = kCpuTimeNote;
  }
  line_length_ = FormatLine(message, code, reading, note);
  // One write on the appending descriptor: lines of parallel runs
  // interleave whole. A failed write is not reported (the log is the place
  // failures are reported to).
  file_.AppendWhole(line_, line_length_);
  std::string line;
  if (callback_) line.assign(line_, line_length_);
  lock_.unlock();
  if (callback_) callback_(line);
}
