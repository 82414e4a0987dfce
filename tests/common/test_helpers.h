// Shared test utilities: a temporary folder that cleans up after itself,
// whole-file reads and writes, a recorder for the beeps a test causes, and
// a scope that keeps the process on one processor.
#pragma once

#include <sched.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/beeper.h"

namespace testutil {

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "orlo-test-XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    char* made = mkdtemp(buf.data());
    path_ = made ? std::string(made) : std::string();
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // The path, with whatever an earlier case wrote there removed: the output
  // writers create only files that do not exist yet.
  std::string FreshFile(const std::string& name) const {
    std::remove(File(name).c_str());
    return File(name);
  }

 private:
  std::string path_;
};

inline std::vector<uint8_t> ReadAllBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string ReadAllText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteAllBytes(const std::string& path, const void* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

inline void WriteAllText(const std::string& path, const std::string& text) {
  WriteAllBytes(path, text.data(), text.size());
}

// The one part of a Chapter 10 file that depends on when it was written:
// the TMATS comment's conversion date and time become X, and the TMATS
// packet's data checksum (its last two bytes) 0. Two conversions of one
// archive then compare equal even across a change of second.
inline void MaskConversionDate(std::vector<uint8_t>& ch10) {
  if (ch10.size() < 24) return;
  const uint32_t packet_length = ch10[4] | (ch10[5] << 8) | (ch10[6] << 16) | (uint32_t{ch10[7]} << 24);
  if (packet_length > ch10.size() || packet_length < 28) return;
  const std::string lead = "ARCHIVE-> ";
  const std::string body(ch10.begin(), ch10.begin() + packet_length);
  const size_t at = body.find(lead);
  if (at != std::string::npos) {
    for (size_t i = at + lead.size(); i < body.size() && body[i] != ';'; ++i) ch10[i] = 'X';
  }
  ch10[packet_length - 1] = 0;
  ch10[packet_length - 2] = 0;
}

// Replaces tone playback for the lifetime of the object and counts beeps.
class BeepRecorder {
 public:
  BeepRecorder() {
    SetBeepSink([this](BeepKind kind) { kinds_.push_back(kind); });
  }
  ~BeepRecorder() { SetBeepSink(nullptr); }
  BeepRecorder(const BeepRecorder&) = delete;
  BeepRecorder& operator=(const BeepRecorder&) = delete;

  int Count(BeepKind kind) const {
    int n = 0;
    for (BeepKind k : kinds_) n += (k == kind);
    return n;
  }
  int Total() const { return static_cast<int>(kinds_.size()); }
  void Clear() { kinds_.clear(); }

 private:
  std::vector<BeepKind> kinds_;
};

// The parts of `text` between the `end` marks; no empty part after a last mark.
inline std::vector<std::string> SplitLines(const std::string& text, const std::string& end = "\n") {
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t at = text.find(end, start);
    if (at == std::string::npos) at = text.size();
    lines.push_back(text.substr(start, at - start));
    start = at + end.size();
  }
  return lines;
}

// How many times `part` occurs in `text`, overlapping occurrences counted.
inline int CountOf(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// While it lives, this thread (and any thread it starts) runs on the first
// processor it was allowed, as on a machine with one processor; the
// affinity it had is put back at the end. Ok() is false when the affinity
// could not be read or set (the scope then changes nothing).
class OneProcessorScope {
 public:
  OneProcessorScope() {
    CPU_ZERO(&before_);
    if (sched_getaffinity(0, sizeof before_, &before_) != 0) return;
    cpu_set_t one;
    CPU_ZERO(&one);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
      if (CPU_ISSET(cpu, &before_)) {
        CPU_SET(cpu, &one);
        break;
      }
    }
    ok_ = sched_setaffinity(0, sizeof one, &one) == 0;
  }
  ~OneProcessorScope() {
    if (ok_) sched_setaffinity(0, sizeof before_, &before_);
  }
  OneProcessorScope(const OneProcessorScope&) = delete;
  OneProcessorScope& operator=(const OneProcessorScope&) = delete;
  bool Ok() const { return ok_; }

 private:
  cpu_set_t before_;
  bool ok_ = false;
};

}  // namespace testutil
