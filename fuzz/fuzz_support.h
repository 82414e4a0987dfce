// Shared pieces of the fuzz targets: a scratch folder of the process, whole
// files written from the fuzzer's bytes, and a quiet program state (no log
// file, no tones, no message boxes, no prompts) so that millions of inputs
// run without side effects.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <fcntl.h>
#include <unistd.h>

#include "archive/setup_prompts.h"
#include "support/beeper.h"
#include "support/error_log.h"
#include "support/platform_file.h"

namespace fuzzsupport {

// The most bytes any target lets the converter write per input: a fuzzed
// archive may describe a gap of years, and the fill for it must not reach
// the disk.
constexpr int64_t kOutputByteCap = 256 << 10;

// The scratch folder of this process, made once, removed at exit.
inline const std::string& ScratchFolder() {
  static const std::string folder = [] {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/orlo-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
  }();
  static const bool removed_at_exit = [] {
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(folder, ignored);
    });
    return true;
  }();
  (void)removed_at_exit;
  return folder;
}

inline std::string ScratchFile(const std::string& name) { return ScratchFolder() + "/" + name; }

// Writes the bytes as the whole file; aborts when the scratch folder is
// unusable (a harness fault, not a finding in the code under test).
inline void WriteWholeFile(const std::string& path, const uint8_t* data, size_t size) {
  // A new file each time: truncating the old one makes the file system
  // write it out on close, which would cost most of every run.
  DeleteFileAt(path);
  PlatformFile file;
  if (!file.CreateWrite(path)) std::abort();
  if (size > 0 && file.Write(data, static_cast<int64_t>(size)) != static_cast<int64_t>(size))
    std::abort();
}

// A scratch file that holds one input at a time, rewritten in place
// through a descriptor kept open: no unlink, create or close per input.
// The tail of a longer earlier input is cut off, never truncated to zero
// first (a file system may then write the file out when it is replaced).
class inputfileclass {
 public:
  explicit inputfileclass(const std::string& name) : path_(ScratchFile(name)) {
    fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd_ < 0) std::abort();
  }
  inputfileclass(const inputfileclass&) = delete;
  inputfileclass& operator=(const inputfileclass&) = delete;

  // Makes `data` the whole file; aborts when the scratch folder fails (a
  // harness fault, not a finding in the code under test).
  void Write(const uint8_t* data, size_t size) {
    size_t done = 0;
    while (done < size) {
      const ssize_t n = ::pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
      if (n <= 0) std::abort();
      done += static_cast<size_t>(n);
    }
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) std::abort();
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  int fd_ = -1;
};

// No log is started: logging calls write nothing. Tones and boxes go
// nowhere and every prompt is cancelled.
inline void QuietProgram() {
  SetBeepSink([](BeepKind) {});
  SetMessageBoxHook([](const std::string&, const std::string&) {});
  SetTextInputHook(nullptr);
}

}  // namespace fuzzsupport
