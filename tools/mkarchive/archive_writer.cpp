// Writes a synthetic archive: the text header the reader parses by line
// position, then the frame blocks, in large buffered writes.
#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "mkarchive/archive_generator.h"
#include "support/platform_file.h"

namespace mkarchive {

namespace {

constexpr size_t kWriteBufferBytes = 8u << 20;

std::string DayTimeText(double seconds) {
  int64_t us = std::llround(seconds * 1e6);
  if (us < 0) us = 0;
  int64_t whole = us / 1000000;
  char text[48];
  std::snprintf(text, sizeof text, "%03" PRId64 ":%02" PRId64 ":%02" PRId64 ":%02" PRId64 ".%06" PRId64,
                whole / 86400, whole % 86400 / 3600, whole % 3600 / 60, whole % 60, us % 1000000);
  return text;
}

// Shortest fixed-point text that reads back as the same double.
std::string RealText(double value) {
  char text[400];
  auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
  if (result.ec != std::errc()) return "0";
  return std::string(text, result.ptr);
}

std::string IntText(int64_t value) { return std::to_string(value); }

double LastFrameTime(const ArchiveSettings& settings) {
  FrameSequence sequence(settings, false);
  FrameRecord frame;
  double last = settings.start_time;
  while (sequence.Next(frame)) last = frame.time;
  return last;
}

bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

}  // namespace

std::vector<std::string> HeaderValueLines(const ArchiveSettings& settings) {
  const int32_t status_bytes = settings.status_bytes_per_block;
  const int32_t n = std::max(status_bytes, 0) / 8;
  const int64_t serial = static_cast<int64_t>(settings.frames_per_block) * (settings.words_per_frame + 5) * 2 +
                         settings.serial_slack_bytes;
  const std::string year = IntText(settings.year);
  const double stop = settings.header_stop_time ? *settings.header_stop_time : LastFrameTime(settings);

  std::vector<std::string> lines;
  lines.push_back("ARCHIVE FORMAT VERSION: " + IntText(settings.header_value_1));
  lines.push_back("START TIME: " + DayTimeText(settings.start_time) + " YEAR " + year);
  lines.push_back("STOP TIME: " + DayTimeText(stop) + " YEAR " + year);
  lines.push_back("BLOCK SIZE: " + IntText(12 + serial + status_bytes));
  lines.push_back("BLOCK RATE: " + RealText(settings.frame_rate_hz / std::max(settings.frames_per_block, 1)));
  lines.push_back("RECORDER MODE: " + IntText(settings.header_value_6));
  lines.push_back("SERIAL BYTES PER BLOCK: " + IntText(serial));
  lines.push_back("STATUS BYTES PER BLOCK: " + IntText(status_bytes));
  lines.push_back("INPUT CHANNEL: " + IntText(settings.header_value_9));
  lines.push_back("WORDS PER MINOR FRAME: " + IntText(settings.words_per_frame));
  lines.push_back("MINOR FRAMES PER MAJOR FRAME: " + IntText(settings.num_minor_frames));
  lines.push_back("SFID START COUNT: " + IntText(settings.sfid_start_count));
  lines.push_back("SFID WORD NUMBER: " + IntText(settings.sfid_word));
  lines.push_back(std::string("RIGHT ALIGNED:") + (settings.right_aligned ? "YES" : "NO"));
  lines.push_back("FRAMES PER BLOCK: " + IntText(settings.frames_per_block));
  lines.push_back("TIME SOURCE: " + IntText(settings.header_value_16));
  lines.push_back("TIME FORMAT: " + IntText(settings.header_value_17));
  lines.push_back("SETUP FILE: " + settings.setup_file_name);
  for (int32_t k = 0; k < n; ++k) {
    std::string text = k < static_cast<int32_t>(settings.status_descriptions.size())
                           ? settings.status_descriptions[k]
                           : "STATUS WORD " + IntText(k + 1);
    lines.push_back("STATUS " + IntText(k + 1) + ": " + text);
  }
  lines.push_back("FRAME RATE UNITS: HZ");
  lines.push_back("MINOR FRAME RATE: " + RealText(settings.frame_rate_hz));
  lines.push_back("DESCRIPTIONS: 3");
  lines.push_back("DESCRIPTION 1: " + settings.description_texts[0]);
  lines.push_back("DESCRIPTION 2: " + settings.description_texts[1]);
  lines.push_back("DESCRIPTION 3: " + settings.description_texts[2]);
  lines.push_back("END OF HEADER:");
  for (const auto& [number, text] : settings.line_overrides)
    if (number >= 1 && number <= static_cast<int32_t>(lines.size())) lines[number - 1] = text;
  for (const std::string& text : settings.extra_value_lines) lines.push_back(text);
  return lines;
}

std::string HeaderText(const ArchiveSettings& settings) {
  std::string text = std::string("QUORVANT 8.0 ARCHIVE FILE FORMAT") + settings.line_end;
  for (const std::string& line : HeaderValueLines(settings)) text += line + settings.line_end;
  text.push_back(static_cast<char>(settings.terminator));
  return text;
}

bool WriteArchive(const std::string& path, const ArchiveSettings& settings, std::string* error) {
  std::string problem = CheckSettings(settings);
  if (!problem.empty()) return Fail(error, problem);

  PlatformFile file;
  if (!file.CreateWrite(path)) return Fail(error, "cannot create " + path + ": " + SystemErrorText(file.LastError()));

  const std::string header = HeaderText(settings);
  const int64_t per_block = settings.frames_per_block;
  const size_t frame_bytes = (static_cast<size_t>(settings.words_per_frame) + 5) * 2;
  const size_t serial = per_block * frame_bytes + settings.serial_slack_bytes;
  const size_t status = settings.status_bytes_per_block;
  const size_t block_size = 12 + serial + status;

  // Whole blocks are assembled in one buffer and written together.
  const size_t blocks_per_buffer = std::max<size_t>(1, kWriteBufferBytes / block_size);
  std::vector<uint8_t> buffer(blocks_per_buffer * block_size);
  size_t used = 0;
  std::memcpy(buffer.data(), header.data(), std::min(header.size(), buffer.size()));
  if (header.size() > buffer.size()) {
    if (file.Write(header.data(), static_cast<int64_t>(header.size())) != static_cast<int64_t>(header.size()))
      return Fail(error, "write failed: " + SystemErrorText(file.LastError()));
  } else {
    used = header.size();
  }

  auto flush = [&]() {
    if (used == 0) return true;
    bool ok = file.Write(buffer.data(), static_cast<int64_t>(used)) == static_cast<int64_t>(used);
    used = 0;
    return ok;
  };

  // The last block's time field may be overridden; find which block is last.
  const ArchiveLayout layout = ComputeLayout(settings);
  FrameSequence sequence(settings);
  FrameRecord frame;
  uint64_t status_bits = Mix64(settings.seed ^ 0x5354415455535F42ull);
  int64_t block_index = 0;
  bool more = sequence.Next(frame);
  while (more) {
    if (buffer.size() - used < block_size && !flush())
      return Fail(error, "write failed: " + SystemErrorText(file.LastError()));
    uint8_t* block = buffer.data() + used;
    std::memset(block, 0, block_size);
    double block_time = frame.time;
    if (settings.last_block_time && block_index == layout.blocks - 1) block_time = *settings.last_block_time;
    std::memcpy(block, &block_time, 8);
    block[10] = static_cast<uint8_t>(block_index & 0xFF);
    block[11] = static_cast<uint8_t>((block_index >> 8) & 0xFF);
    int64_t frames_in_block = 0;
    uint8_t* serial_data = block + 12;
    while (more && frames_in_block < per_block) {
      sequence.Encode(frame, serial_data + frames_in_block * frame_bytes);
      ++frames_in_block;
      more = sequence.Next(frame);
    }
    uint8_t* status_data = block + 12 + serial;
    for (size_t i = 0; i < status; ++i) {
      if (i % 8 == 0) status_bits = Mix64(status_bits);
      status_data[i] = static_cast<uint8_t>(status_bits >> (8 * (i % 8)));
    }
    if (frames_in_block < per_block && settings.last_block == LastBlockFill::kCutShort)
      used += 12 + frames_in_block * frame_bytes;  // the file ends inside this block
    else
      used += block_size;
    ++block_index;
  }
  if (!flush()) return Fail(error, "write failed: " + SystemErrorText(file.LastError()));
  if (!file.Close()) return Fail(error, "close failed: " + SystemErrorText(file.LastError()));
  if (settings.cut_tail_bytes > 0) {
    std::error_code ec;
    std::filesystem::resize_file(path, static_cast<uintmax_t>(layout.file_bytes), ec);
    if (ec) return Fail(error, "cannot cut " + path + ": " + ec.message());
  }

  if (settings.setup_file.write) {
    auto record = std::make_unique<decomsetupstruct>();
    MakeSetupRecord(settings, *record);
    if (!WriteSetupFile(SetupFilePath(path, settings), settings.setup_file, *record, error)) return false;
  }
  return true;
}

}  // namespace mkarchive
