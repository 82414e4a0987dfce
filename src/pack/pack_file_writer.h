// The pack file: the packed stream kept as a headerless file of
// little-endian 16-bit words, written a group at a time with one write call.
#pragma once

#include <string>

#include "pack/packed_byte_sink.h"
#include "support/platform_file.h"

class packfilewriterclass : public packedbytesinkclass {
 public:
  // Creates the file, which must not exist yet. False, reported, when it
  // cannot be created.
  bool Create(const std::string& path);
  bool AcceptPackedBytes(const uint8_t* bytes, size_t count) override;
  // Flushes and closes the file if open. False when any write, the flush or
  // the close failed.
  bool Close();
  bool IsOpen() const { return file_.IsOpen(); }

  // The first failure (reported once with LogError, code = the error number).
  bool Failed() const { return error_ != 0; }
  int Error() const { return error_; }

 private:
  void ReportFailure(int error_number);

  PlatformFile file_;
  std::string path_;
  int error_ = 0;
};
