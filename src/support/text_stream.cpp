#include "support/text_stream.h"

#include <cerrno>

namespace {
constexpr size_t kFlushThreshold = 64 * 1024;
}

TextStream::~TextStream() { Close(); }

bool TextStream::Create(const std::string& path) {
  Close();
  buffer_.clear();
  error_ = 0;
  if (!file_.CreateNew(path)) {
    error_ = file_.LastError() ? file_.LastError() : EIO;
    return false;
  }
  return true;
}

void TextStream::Write(const std::string& text) {
  if (!file_.IsOpen()) return;
  buffer_ += text;
  if (buffer_.size() >= kFlushThreshold) FlushBuffer();
}

void TextStream::FlushBuffer() {
  if (buffer_.empty()) return;
  int64_t n = static_cast<int64_t>(buffer_.size());
  if (file_.Write(buffer_.data(), n) != n && error_ == 0) {
    error_ = file_.LastError() ? file_.LastError() : EIO;
  }
  buffer_.clear();
}

bool TextStream::Close() {
  if (!file_.IsOpen()) return error_ == 0;
  FlushBuffer();
  if (error_ == 0 && !file_.Flush()) error_ = file_.LastError() ? file_.LastError() : EIO;
  if (!file_.Close() && error_ == 0) error_ = file_.LastError() ? file_.LastError() : EIO;
  return error_ == 0;
}
