// The pack file writer: every failure is reported once, naming the file; after
// it nothing more is written, so a full disk ends the file where it failed.
#include "pack/pack_file_writer.h"

#include <cerrno>

#include "support/error_log.h"

bool packfilewriterclass::Create(const std::string& path) {
  Close();
  path_ = path;
  error_ = 0;
  if (!file_.CreateNew(path)) {
    ReportFailure(file_.LastError());
    return false;
  }
  file_.SetWriteBehind(kWriteBehindBytes);
  return true;
}

bool packfilewriterclass::AcceptPackedBytes(const uint8_t* bytes, size_t count) {
  if (error_ != 0 || !file_.IsOpen()) return false;
  const int64_t n = static_cast<int64_t>(count);
  if (file_.Write(bytes, n) != n) ReportFailure(file_.LastError());
  return error_ == 0;
}

bool packfilewriterclass::Close() {
  if (file_.IsOpen()) {
    if (!file_.Flush()) ReportFailure(file_.LastError());
    if (!file_.Close()) ReportFailure(file_.LastError());
  }
  return error_ == 0;
}

void packfilewriterclass::ReportFailure(int error_number) {
  if (error_ != 0) return;
  error_ = error_number != 0 ? error_number : EIO;
  LogError(SystemErrorText(error_) + ": " + path_, error_, true);
}
