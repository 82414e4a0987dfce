// orlovarnel-mkarchive: writes a synthetic ".Ark" archive (and optionally
// its ".B50" setup file) from command-line settings. See --help.
#include <cerrno>
#include <cstddef>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "mkarchive/archive_generator.h"

namespace {

const char kUsage[] =
    "usage: orlovarnel-mkarchive --out FILE.Ark [options]\n"
    "\n"
    "Frame layout\n"
    "  --wpf N                 words per minor frame (1..16383, default 16)\n"
    "  --word-length N         common word length in bits (1..16, default 16)\n"
    "  --word-lengths L,L,...  lengths of words 1, 2, ... (others: common length)\n"
    "  --word-length-at W=L    length of word W (1-based)\n"
    "  --left-justify W,W,...  words (1-based) stored at the top of their container; 'all'\n"
    "  --dirty-bits            fill container bits outside the word with noise\n"
    "  --frames-per-block N    (default 16)\n"
    "  --status-bytes N        status bytes per block (0..1024, default 0)\n"
    "  --status-desc TEXT      next status description line (repeatable)\n"
    "  --serial-slack N        zero bytes after the frames of each block\n"
    "Time\n"
    "  --rate HZ               minor frame rate (default 1000)\n"
    "  --year Y                (default 2024)\n"
    "  --start T               start time, DDD:HH:MM:SS.ffffff or seconds of the year\n"
    "  --frames N              archive frames (default 100)\n"
    "  --size BYTES            frames enough for about this file size (overrides --frames)\n"
    "  --gap FIRST:COUNT       drop nominal frames FIRST..FIRST+COUNT-1 (repeatable)\n"
    "  --repeat-time F         nominal frame F repeats the previous frame's time\n"
    "  --shift F:US[:persist]  move frame F's time by US microseconds (negative: backward);\n"
    "                          with :persist every later frame moves too\n"
    "  --last-block MODE       continue (default), zero or cut: how a last partial block ends\n"
    "  --last-block-time T     value of the last block's time field\n"
    "Damage\n"
    "  --flip F:BYTE:MASK      XOR byte BYTE (0..9) of nominal frame F's header with MASK\n"
    "                          (a bit error in its BCD time stamp; repeatable)\n"
    "  --cut-tail BYTES        cut this many bytes from the end of the archive\n"
    "Frame content\n"
    "  --sync HEX:BITS         sync pattern in the leading words (default FE6B2840:32)\n"
    "  --no-sync               no sync pattern\n"
    "  --sfid-word W           1-based SFID counter word, 0 for none (default 3)\n"
    "  --minor-frames N        counter cycle, header line 11 (default 64)\n"
    "  --sfid-start N          first counter value, header line 12 (default 0)\n"
    "  --flag-a-every K        set frame status flag A on every K-th frame\n"
    "  --flag-b-every K        set frame status flag B on every K-th frame\n"
    "  --seed N                pseudo-random data seed (default 1)\n"
    "Header text\n"
    "  --header-value K=V      header value K (1, 6, 9, 16 or 17)\n"
    "  --right-aligned yes|no  line 14 (default yes)\n"
    "  --setup-name TEXT       recorded setup file name, line 18\n"
    "  --description K=TEXT    description text K (1..3)\n"
    "  --stop-time T           header stop time (default: the last frame's time)\n"
    "  --line K=TEXT           replace value line K with TEXT\n"
    "  --extra-line TEXT       append a value line (repeatable)\n"
    "  --lf-only               end header lines with LF alone\n"
    "  --nul-terminator        end the header with a NUL byte instead of LF\n"
    "Setup file (.B50 beside the archive)\n"
    "  --setup                 write the setup file\n"
    "  --setup-version N       (default 3)\n"
    "  --setup-valid N         valid byte (default 1)\n"
    "  --setup-bytes N         record bytes written (default all 262368)\n"
    "  --setup-field NAME=V    set a record field after the archive settings, e.g.\n"
    "                          CommonWordLength=12, FrmSyncPat=EB90, word[4].iWdLen=8\n"
    "  --help                  this text\n";

struct FieldRef {
  const char* name;
  size_t offset;
  int size;
  bool is_signed;
};

#define SETUP_FIELD(f, s) {#f, offsetof(decomsetupstruct, f), sizeof(decomsetupstruct::f), s}
const FieldRef kSetupFields[] = {
    SETUP_FIELD(WordsPerFrame, true),       SETUP_FIELD(CommonWordLength, false),
    SETUP_FIELD(PcmInputCode, false),       SETUP_FIELD(BitOrder, true),
    SETUP_FIELD(SubFrameIdWord, true),      SETUP_FIELD(SubFrameIdStartBitLsb, true),
    SETUP_FIELD(FirstFrame, true),          SETUP_FIELD(LastFrame, true),
    {"FrmSyncPatRadix", offsetof(decomsetupstruct, SyncPattern) + offsetof(syncpatternstruct, FrmSyncPatRadix), 4, true},
    {"FrmSyncPatLen", offsetof(decomsetupstruct, SyncPattern) + offsetof(syncpatternstruct, FrmSyncPatLen), 2, true},
    SETUP_FIELD(PatternLeads, true),        SETUP_FIELD(bBurstEnable, false),
    SETUP_FIELD(bMajorFrameModeEnable, false), SETUP_FIELD(iChkFrm, false),
    SETUP_FIELD(iVfyFrm, false),            SETUP_FIELD(eDataPolarity, true),
    SETUP_FIELD(bFACEnable, false),         SETUP_FIELD(eSyncMethod, true),
    SETUP_FIELD(bForceSync, false),         SETUP_FIELD(FrameSyncTolerance, false),
    SETUP_FIELD(bGMode, false),             SETUP_FIELD(eClockPolarity, true),
    SETUP_FIELD(FramesPerInterrupt, true),  SETUP_FIELD(eInputSource, true),
    SETUP_FIELD(URCPatRadix, true),         SETUP_FIELD(URCPatLen, true),
    SETUP_FIELD(UrcTolerance, false),       SETUP_FIELD(eWordAlignment, true),
    SETUP_FIELD(eBitWindow, true),          SETUP_FIELD(WdArrayLength, false),
    SETUP_FIELD(NumSubframes, true),        SETUP_FIELD(SubframeDirection, true),
    SETUP_FIELD(BitRate, true),
};
#undef SETUP_FIELD

#define WORD_FIELD(f, s) {#f, offsetof(decomwordstruct, f), sizeof(decomwordstruct::f), s}
const FieldRef kWordFields[] = {
    WORD_FIELD(iWdNum, true),  WORD_FIELD(iWdLen, true),     WORD_FIELD(bLSBF, false),
    WORD_FIELD(bLeftAlign, false), WORD_FIELD(bSlave, false), WORD_FIELD(bReject, false),
    WORD_FIELD(WordFlag12, false),
};
#undef WORD_FIELD

bool ParseInt(const std::string& text, int64_t& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtoll(text.c_str(), &end, 0);
  return errno == 0 && end && *end == '\0';
}

bool ParseReal(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end && *end == '\0' && std::isfinite(value);
}

// DDD:HH:MM:SS.ffffff or plain seconds of the year.
bool ParseTime(const std::string& text, double& seconds) {
  if (text.find(':') == std::string::npos) return ParseReal(text, seconds);
  int day = 0, hour = 0, minute = 0;
  double second = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%d:%d:%d:%lf%c", &day, &hour, &minute, &second, &tail) != 4) return false;
  seconds = day * 86400.0 + hour * 3600.0 + minute * 60.0 + second;
  return std::isfinite(seconds);
}

bool SplitAt(const std::string& text, char separator, std::string& left, std::string& right) {
  size_t at = text.find(separator);
  if (at == std::string::npos) return false;
  left = text.substr(0, at);
  right = text.substr(at + 1);
  return true;
}

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  size_t begin = 0;
  while (begin <= text.size()) {
    size_t end = text.find(',', begin);
    if (end == std::string::npos) end = text.size();
    items.push_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  return items;
}

void StoreInteger(uint8_t* at, int size, int64_t value) {
  // Little-endian host: the low bytes of the value are the field.
  std::memcpy(at, &value, size);
}

// Applies NAME=VALUE to the record; false with a message when it cannot.
bool ApplySetupField(decomsetupstruct& record, const std::string& name, const std::string& value,
                     std::string& error) {
  uint8_t* base = reinterpret_cast<uint8_t*>(&record);
  if (name == "FrmSyncPat" || name == "URCSyncPat") {
    char* field = name == "FrmSyncPat" ? record.SyncPattern.FrmSyncPat : record.URCSyncPat;
    std::memset(field, 0, 66);
    std::memcpy(field, value.data(), value.size() < 66 ? value.size() : 66);
    return true;
  }
  int64_t number = 0;
  if (!ParseInt(value, number)) {
    error = "not a number: " + value;
    return false;
  }
  if (name.rfind("word[", 0) == 0) {
    size_t close = name.find("].");
    int64_t index = 0;
    if (close == std::string::npos || !ParseInt(name.substr(5, close - 5), index) || index < 0 ||
        index >= kWordTableEntries) {
      error = "bad word table field: " + name;
      return false;
    }
    std::string member = name.substr(close + 2);
    for (const FieldRef& f : kWordFields) {
      if (member == f.name) {
        StoreInteger(base + offsetof(decomsetupstruct, WordTable) + index * sizeof(decomwordstruct) + f.offset,
                     f.size, number);
        return true;
      }
    }
    error = "unknown word table field: " + member;
    return false;
  }
  for (const FieldRef& f : kSetupFields) {
    if (name == f.name) {
      StoreInteger(base + f.offset, f.size, number);
      return true;
    }
  }
  error = "unknown setup field: " + name;
  return false;
}

int Usage(const std::string& problem) {
  std::fprintf(stderr, "orlovarnel-mkarchive: %s\n(see --help)\n", problem.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  mkarchive::ArchiveSettings settings;
  std::string out_path;
  std::vector<std::pair<std::string, std::string>> setup_fields;
  int64_t target_size = -1;
  std::vector<int64_t> repeat_frames;
  std::vector<std::pair<int32_t, int32_t>> word_lengths_at;

  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    auto flag = [&](const char* name) { return option == name; };
    if (flag("--dirty-bits")) { settings.dirty_unused_bits = true; continue; }
    if (flag("--no-sync")) { settings.sync_enabled = false; continue; }
    if (flag("--lf-only")) { settings.line_end = std::string(1, '\n'); continue; }
    if (flag("--nul-terminator")) { settings.terminator = 0; continue; }
    if (flag("--setup")) { settings.setup_file.write = true; continue; }
    if (i + 1 >= argc) return Usage("unknown option or missing value: " + option);
    const std::string value = argv[++i];
    int64_t n = 0;
    double real = 0;
    std::string left, right;
    auto need_int = [&]() { return ParseInt(value, n); };
    if (flag("--out")) out_path = value;
    else if (flag("--wpf") && need_int()) settings.words_per_frame = static_cast<int32_t>(n);
    else if (flag("--word-length") && need_int()) settings.common_word_length = static_cast<int32_t>(n);
    else if (flag("--word-lengths")) {
      settings.word_lengths.clear();
      for (const std::string& item : SplitList(value)) {
        if (!ParseInt(item, n)) return Usage("bad word length list: " + value);
        settings.word_lengths.push_back(static_cast<int32_t>(n));
      }
    } else if (flag("--word-length-at")) {
      int64_t w = 0;
      if (!SplitAt(value, '=', left, right) || !ParseInt(left, w) || !ParseInt(right, n) || w < 1)
        return Usage("bad --word-length-at: " + value);
      word_lengths_at.emplace_back(static_cast<int32_t>(w), static_cast<int32_t>(n));
    } else if (flag("--left-justify")) {
      if (value == "all") {
        settings.left_justified.assign(kWordTableEntries, 1);
      } else {
        for (const std::string& item : SplitList(value)) {
          if (!ParseInt(item, n) || n < 1 || n > kWordTableEntries) return Usage("bad word list: " + value);
          if (settings.left_justified.size() < static_cast<size_t>(n)) settings.left_justified.resize(n, 0);
          settings.left_justified[n - 1] = 1;
        }
      }
    } else if (flag("--frames-per-block") && need_int()) settings.frames_per_block = static_cast<int32_t>(n);
    else if (flag("--status-bytes") && need_int()) settings.status_bytes_per_block = static_cast<int32_t>(n);
    else if (flag("--status-desc")) settings.status_descriptions.push_back(value);
    else if (flag("--serial-slack") && need_int()) settings.serial_slack_bytes = static_cast<int32_t>(n);
    else if (flag("--rate") && ParseReal(value, real)) settings.frame_rate_hz = real;
    else if (flag("--year") && need_int()) settings.year = static_cast<int32_t>(n);
    else if (flag("--start") && ParseTime(value, real)) settings.start_time = real;
    else if (flag("--frames") && need_int()) settings.frame_count = n;
    else if (flag("--size") && need_int()) target_size = n;
    else if (flag("--gap")) {
      int64_t first = 0;
      if (!SplitAt(value, ':', left, right) || !ParseInt(left, first) || !ParseInt(right, n))
        return Usage("bad --gap: " + value);
      settings.gaps.push_back({first, n});
    } else if (flag("--repeat-time") && need_int()) repeat_frames.push_back(n);
    else if (flag("--shift")) {
      int64_t frame = 0;
      std::string us_text, persist;
      if (!SplitAt(value, ':', left, right) || !ParseInt(left, frame)) return Usage("bad --shift: " + value);
      if (!SplitAt(right, ':', us_text, persist)) us_text = right;
      if (!ParseInt(us_text, n) || (!persist.empty() && persist != "persist")) return Usage("bad --shift: " + value);
      settings.time_shifts.push_back({frame, n, persist == "persist"});
    } else if (flag("--last-block")) {
      if (value == "continue") settings.last_block = mkarchive::LastBlockFill::kContinue;
      else if (value == "zero") settings.last_block = mkarchive::LastBlockFill::kZeroFrames;
      else if (value == "cut") settings.last_block = mkarchive::LastBlockFill::kCutShort;
      else return Usage("bad --last-block: " + value);
    } else if (flag("--last-block-time") && ParseTime(value, real)) settings.last_block_time = real;
    else if (flag("--flip")) {
      int64_t frame = 0, byte = 0, mask = 0;
      std::string rest, byte_text, mask_text;
      if (!SplitAt(value, ':', left, rest) || !SplitAt(rest, ':', byte_text, mask_text) || !ParseInt(left, frame) ||
          !ParseInt(byte_text, byte) || !ParseInt(mask_text, mask) || byte < 0 || byte > 9 || mask < 1 || mask > 255)
        return Usage("bad --flip: " + value);
      settings.header_flips.push_back({frame, static_cast<int32_t>(byte), static_cast<uint8_t>(mask)});
    } else if (flag("--cut-tail") && need_int()) settings.cut_tail_bytes = n;
    else if (flag("--sync")) {
      uint64_t pattern = 0;
      char* end = nullptr;
      if (!SplitAt(value, ':', left, right) || !ParseInt(right, n)) return Usage("bad --sync: " + value);
      pattern = std::strtoull(left.c_str(), &end, 16);
      if (left.empty() || *end != '\0') return Usage("bad --sync pattern: " + value);
      settings.sync_pattern = pattern;
      settings.sync_bits = static_cast<int32_t>(n);
      settings.sync_enabled = true;
    } else if (flag("--sfid-word") && need_int()) settings.sfid_word = static_cast<int32_t>(n);
    else if (flag("--minor-frames") && need_int()) settings.num_minor_frames = static_cast<int32_t>(n);
    else if (flag("--sfid-start") && need_int()) settings.sfid_start_count = static_cast<int32_t>(n);
    else if (flag("--flag-a-every") && need_int()) settings.status_a_every = static_cast<int32_t>(n);
    else if (flag("--flag-b-every") && need_int()) settings.status_b_every = static_cast<int32_t>(n);
    else if (flag("--seed") && need_int()) settings.seed = static_cast<uint64_t>(n);
    else if (flag("--header-value")) {
      int64_t k = 0;
      if (!SplitAt(value, '=', left, right) || !ParseInt(left, k) || !ParseInt(right, n))
        return Usage("bad --header-value: " + value);
      int32_t v = static_cast<int32_t>(n);
      if (k == 1) settings.header_value_1 = v;
      else if (k == 6) settings.header_value_6 = v;
      else if (k == 9) settings.header_value_9 = v;
      else if (k == 16) settings.header_value_16 = v;
      else if (k == 17) settings.header_value_17 = v;
      else return Usage("header values are 1, 6, 9, 16 and 17: " + value);
    } else if (flag("--right-aligned")) settings.right_aligned = value == "yes" || value == "YES";
    else if (flag("--setup-name")) settings.setup_file_name = value;
    else if (flag("--description")) {
      int64_t k = 0;
      if (!SplitAt(value, '=', left, right) || !ParseInt(left, k) || k < 1 || k > 3)
        return Usage("bad --description: " + value);
      settings.description_texts[k - 1] = right;
    } else if (flag("--stop-time") && ParseTime(value, real)) settings.header_stop_time = real;
    else if (flag("--line")) {
      int64_t k = 0;
      if (!SplitAt(value, '=', left, right) || !ParseInt(left, k)) return Usage("bad --line: " + value);
      settings.line_overrides.emplace_back(static_cast<int32_t>(k), right);
    } else if (flag("--extra-line")) settings.extra_value_lines.push_back(value);
    else if (flag("--setup-version") && need_int()) settings.setup_file.version = static_cast<int32_t>(n);
    else if (flag("--setup-valid") && need_int()) settings.setup_file.valid = static_cast<uint8_t>(n);
    else if (flag("--setup-bytes") && need_int()) settings.setup_file.record_bytes = n;
    else if (flag("--setup-field")) {
      if (!SplitAt(value, '=', left, right)) return Usage("bad --setup-field: " + value);
      setup_fields.emplace_back(left, right);
    } else {
      return Usage("unknown option or bad value: " + option + " " + value);
    }
  }
  if (out_path.empty()) return Usage("--out is required");

  for (const auto& [word, length] : word_lengths_at) {
    if (settings.word_lengths.size() < static_cast<size_t>(word))
      settings.word_lengths.resize(word, settings.common_word_length);
    settings.word_lengths[word - 1] = length;
  }
  for (int64_t frame : repeat_frames) {
    int64_t period_us = static_cast<int64_t>(1e6 / settings.frame_rate_hz + 0.5);
    settings.time_shifts.push_back({frame, -period_us, false});
  }
  if (target_size > 0) settings.frame_count = mkarchive::FramesForSize(settings, target_size);
  if (!setup_fields.empty()) {
    // Check the names now rather than inside the writer.
    auto probe = std::make_unique<decomsetupstruct>();
    for (const auto& [name, value] : setup_fields) {
      std::string error;
      if (!ApplySetupField(*probe, name, value, error)) return Usage(error);
    }
    settings.setup_file.edit = [setup_fields](decomsetupstruct& record) {
      std::string ignored;
      for (const auto& [name, value] : setup_fields) ApplySetupField(record, name, value, ignored);
    };
  }

  std::string error;
  if (!mkarchive::WriteArchive(out_path, settings, &error)) {
    std::fprintf(stderr, "orlovarnel-mkarchive: %s\n", error.c_str());
    return 1;
  }
  mkarchive::ArchiveLayout layout = mkarchive::ComputeLayout(settings);
  std::printf("%s: %lld bytes, header %lld bytes, %lld blocks of %d bytes, %lld frames\n", out_path.c_str(),
              static_cast<long long>(layout.file_bytes), static_cast<long long>(layout.header_bytes),
              static_cast<long long>(layout.blocks), layout.block_size,
              static_cast<long long>(layout.frames_written));
  if (settings.setup_file.write) std::printf("%s\n", mkarchive::SetupFilePath(out_path, settings).c_str());
  return 0;
}
