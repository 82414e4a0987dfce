// A buffered output stream over PlatformFile for text reports: bytes are
// written exactly as given (no line-end translation). The first write error
// is kept so that the caller can report it once.
#pragma once

#include <string>
#include <vector>

#include "support/platform_file.h"

class TextStream {
 public:
  TextStream() = default;
  ~TextStream();
  TextStream(const TextStream&) = delete;
  TextStream& operator=(const TextStream&) = delete;

  // Creates the file, which must not exist yet (nothing is ever truncated
  // or written through a link).
  bool Create(const std::string& path);
  void Write(const std::string& text);
  // Writes what is buffered and makes it durable (fdatasync); false when any
  // write or the sync failed.
  bool Close();
  bool IsOpen() const { return file_.IsOpen(); }
  bool Failed() const { return error_ != 0; }
  int Error() const { return error_; }   // errno of the first failure, 0 if none

 private:
  void FlushBuffer();
  PlatformFile file_;
  std::string buffer_;
  int error_ = 0;
};
