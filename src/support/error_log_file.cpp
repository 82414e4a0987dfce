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
    name_refused_ = true;
    file_name_.clear();
  }
  lock_name_ = "ERRORLOGGING_" + NamePart(file_name_) + std::to_string(::getpid());
  line_[0] = '\0';
  // Each run starts with an empty log.
  if (!name_refused_ && file_.CreateWrite(file_name_)) file_.Close();
}

zekerrorlog::~zekerrorlog() { CloseFile(); }

void zekerrorlog::CloseFile() { file_.Close(); }

std::string zekerrorlog::LastLine() const { return std::string(line_, line_length_); }

size_t zekerrorlog::FormatLine(const std::string& message, int code, double reading,
                               const char* note) {
  std::string stamp = FormatDayTimeMicro(reading);
  if (stamp[0] == 'X') stamp = "000:00:00:00.000000";
  int head = std::snprintf(line_, kLineBufferSize, "%06d  %s  ", code, stamp.c_str());
  size_t used = head > 0 ? static_cast<size_t>(head) : 0;
  size_t note_length = std::strlen(note);
  // Room for the message: the note and CR LF always fit, the message is cut.
  size_t room = kLineBufferSize - used - note_length - 2;
  size_t take = message.size() < room ? message.size() : room;
  std::memcpy(line_ + used, message.data(), take);
  used += take;
  std::memcpy(line_ + used, note, note_length);
  used += note_length;
  line_[used++] = '\r';
  line_[used++] = '\n';
  return used;
}

void zekerrorlog::Write(const std::string& message, int code) {
  if (!lock_.try_lock_for(kLockWait)) return;
  if (name_refused_ || (!file_.IsOpen() && !file_.CreateWrite(file_name_))) {
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
  file_.Write(line_, static_cast<int64_t>(line_length_));
  if (flush_after_write) file_.Flush();
  std::string line;
  if (callback_) line.assign(line_, line_length_);
  lock_.unlock();
  if (callback_) callback_(line);
}
