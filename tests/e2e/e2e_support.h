// End-to-end helpers: run the built orlovarnel-convert, rebuild the minor
// frame stream an archive must turn into (archive frames plus 0xAAAA fill
// frames where the frame times show missing frames), and read the PCM bit
// stream and the notes back.
#pragma once

#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/ch10_packets.h"
#include "common/test_helpers.h"
#include "mkarchive/archive_generator.h"

namespace e2e {

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Writes the generated archive `name` in `dir` (and its setup file when the
// settings ask); fails the test when the generator refuses.
inline void WriteTestArchive(const testutil::TempDir& dir, const std::string& name,
                             const mkarchive::ArchiveSettings& settings) {
  std::string error;
  ASSERT_TRUE(mkarchive::WriteArchive(dir.File(name), settings, &error)) << error;
}

inline std::string ConverterPath() { return std::string(ORLO_BINARY_DIR) + "/orlovarnel-convert"; }

// Runs the built `program` with `args` (already quoted where needed) in
// `folder`.
inline CliRun RunProgram(const std::string& folder, const std::string& program,
                         const std::string& args) {
  const std::string out = folder + "/.stdout", err = folder + "/.stderr";
  const std::string command = "cd '" + folder + "' && '" + std::string(ORLO_BINARY_DIR) + "/" +
                              program + "' " + args + " >'" + out + "' 2>'" + err + "' </dev/null";
  const int rc = std::system(command.c_str());
  CliRun run;
  run.status = (rc != -1 && WIFEXITED(rc)) ? WEXITSTATUS(rc) : -1;
  run.out = testutil::ReadAllText(out);
  run.err = testutil::ReadAllText(err);
  std::remove(out.c_str());
  std::remove(err.c_str());
  return run;
}

// Runs the converter with `args` in `folder`.
inline CliRun RunConverter(const std::string& folder, const std::string& args) {
  return RunProgram(folder, "orlovarnel-convert", args);
}

// One minor frame of the expected stream: an archive frame (index into the
// generator's frame list) or a fill frame.
struct StreamFrame {
  bool fill = false;
  size_t archive_index = 0;
};

struct ExpectedStream {
  std::vector<mkarchive::FrameRecord> archive_frames;
  std::vector<StreamFrame> frames;
  double valid = 0.0;
  double missed = 0.0;  // fill frames; a repeated or backward time counts none
  double damaged = 0.0; // frames whose own stamp is out of step, kept in place
  std::vector<int32_t> lengths;
  std::vector<bool> left;
  int64_t bits_per_frame = 0;
};

// Nearest whole number, an exact half going down.
inline int64_t NearestHalfDown(double x) { return static_cast<int64_t>(std::ceil(x - 0.5)); }

// The gap rule: a frame whose time step lies outside P +- P/2 is a step of
// m = round(step / P) periods, so m - 1 fill frames go before it (none for a
// repeated or backward time, and then nothing is counted missed). The first
// frame opens no gap.
inline ExpectedStream BuildExpectedStream(const mkarchive::ArchiveSettings& settings) {
  ExpectedStream s;
  s.archive_frames = mkarchive::ExpectedFrames(settings);
  for (int32_t w = 0; w < settings.words_per_frame; ++w) {
    s.lengths.push_back(mkarchive::WordLength(settings, w));
    s.left.push_back(mkarchive::WordLeftJustified(settings, w));
    s.bits_per_frame += s.lengths.back();
  }
  const double period = 1.0 / settings.frame_rate_hz;
  const double half = period * 0.5;
  // A step out of step is a damaged stamp (nothing filled, the frame keeps
  // its place) when the frame after it sits two periods after the
  // reference. When the frame after it sits one period after it, the time
  // base moved, however far. Otherwise it is lost frames, unless the step is
  // longer than the archive's span plus one block (a damaged stamp again).
  // All fill together is no more than the span's frames (rounded up, and
  // one more) leave beside the archive's own.
  const mkarchive::ArchiveLayout layout = mkarchive::ComputeLayout(settings);
  const double span_limit =
      layout.last_block_time - layout.first_frame_time + settings.frames_per_block * period;
  double fill_left =
      std::max(0.0, std::ceil(span_limit / period) + 1.0 - static_cast<double>(s.archive_frames.size()));
  double reference = s.archive_frames.empty() ? 0.0 : s.archive_frames.front().time - period;
  for (size_t i = 0; i < s.archive_frames.size(); ++i) {
    const double t = s.archive_frames[i].time;
    const double step = t - reference;
    const bool has_next = i + 1 < s.archive_frames.size();
    const double next = has_next ? s.archive_frames[i + 1].time : 0.0;
    const bool next_in_place = has_next && std::fabs(next - (reference + 2 * period)) <= half;
    const bool confirmed = has_next && std::fabs(next - (t + period)) <= half;
    if (step >= period - half && step <= period + half) {
      reference = t;
    } else if (next_in_place || (!confirmed && std::fabs(step) > span_limit)) {
      s.damaged += 1.0;
      reference += period;
    } else {
      const int64_t m = NearestHalfDown(step / period);
      const double fill = std::min(fill_left, m >= 2 ? static_cast<double>(m - 1) : 0.0);
      s.missed += fill;
      fill_left -= fill;
      for (double k = 0; k < fill; ++k) s.frames.push_back({true, 0});
      reference = t;
    }
    s.frames.push_back({false, i});
    s.valid += 1.0;
  }
  return s;
}

// The bits a word contributes: its top bits when left-justified (and
// shorter than 16), else its low bits.
inline uint32_t WordBits(uint16_t container, int32_t length, bool left) {
  if (left && length != 16) return static_cast<uint32_t>(container) >> (16 - length);
  return static_cast<uint32_t>(container) & ((1u << length) - 1u);
}

// The PCM data as one bit stream: little-endian 16-bit words, each read
// from bit 15 down to bit 0.
class PcmBits {
 public:
  explicit PcmBits(const std::vector<uint8_t>& data) : data_(data) {}
  size_t Size() const { return (data_.size() / 2) * 16; }
  int Bit(size_t i) const {
    const size_t w = i / 16;
    const uint16_t v = static_cast<uint16_t>(data_[2 * w] | (data_[2 * w + 1] << 8));
    return (v >> (15 - i % 16)) & 1;
  }
  uint32_t Read(size_t at, int32_t n) const {
    uint32_t v = 0;
    for (int32_t k = 0; k < n; ++k) v = (v << 1) | static_cast<uint32_t>(Bit(at + k));
    return v;
  }

 private:
  const std::vector<uint8_t>& data_;
};

// Walks the payload frame by frame and word by word against the expected
// stream. "" when every bit matches and the rest of the data is zero
// padding to a whole 4-byte unit; otherwise the first difference.
inline std::string CompareFrames(const std::vector<uint8_t>& payload, const ExpectedStream& s) {
  PcmBits bits(payload);
  const uint64_t total_bits = static_cast<uint64_t>(s.frames.size()) * s.bits_per_frame;
  const uint64_t expected_bytes = ((total_bits + 15) / 16 * 2 + 3) / 4 * 4;
  if (payload.size() != expected_bytes) {
    return "payload holds " + std::to_string(payload.size()) + " bytes, expected " +
           std::to_string(expected_bytes) + " for " + std::to_string(s.frames.size()) +
           " frames";
  }
  size_t at = 0;
  for (size_t f = 0; f < s.frames.size(); ++f) {
    const StreamFrame& frame = s.frames[f];
    for (size_t w = 0; w < s.lengths.size(); ++w) {
      const uint16_t container =
          frame.fill ? uint16_t{0xAAAA} : s.archive_frames[frame.archive_index].words[w];
      const uint32_t want = WordBits(container, s.lengths[w], s.left[w]);
      const uint32_t got = bits.Read(at, s.lengths[w]);
      if (got != want) {
        char text[160];
        std::snprintf(text, sizeof text, "frame %zu (%s) word %zu: got 0x%X, expected 0x%X", f,
                      frame.fill ? "fill" : "archive", w, got, want);
        return text;
      }
      at += static_cast<size_t>(s.lengths[w]);
    }
  }
  for (size_t i = at; i < bits.Size(); ++i) {
    if (bits.Bit(i) != 0) return "padding bit " + std::to_string(i) + " is not 0";
  }
  return "";
}

// "label : value" lines of the notes file, keyed by the label without its
// alignment blanks.
inline std::map<std::string, std::string> NotesValues(const std::string& text) {
  std::map<std::string, std::string> values;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find("\r\n", at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    const size_t colon = line.find(" : ");
    if (colon != std::string::npos) {
      std::string label = line.substr(0, colon);
      while (!label.empty() && label.back() == ' ') label.pop_back();
      values[label] = line.substr(colon + 3);
    }
    at = end + 2;
  }
  return values;
}

// The value of a TMATS attribute ("code:value;") in the setup packet.
inline std::string TmatsValue(const std::string& tmats, const std::string& code) {
  const std::string key = code + ":";
  size_t at = 0;
  while ((at = tmats.find(key, at)) != std::string::npos) {
    if (at == 0 || tmats[at - 1] == '\n') {
      const size_t end = tmats.find(';', at);
      return tmats.substr(at + key.size(), end - at - key.size());
    }
    at += key.size();
  }
  return "";
}

inline std::string FormatDayTime(double t) {
  const int64_t us = static_cast<int64_t>(std::llround(t * 1e6));
  char text[48];
  std::snprintf(text, sizeof text, "%03lld:%02lld:%02lld:%02lld.%06lld",
                static_cast<long long>(us / 86400000000LL),
                static_cast<long long>(us / 3600000000LL % 24),
                static_cast<long long>(us / 60000000LL % 60),
                static_cast<long long>(us / 1000000LL % 60),
                static_cast<long long>(us % 1000000LL));
  return text;
}

}  // namespace e2e
