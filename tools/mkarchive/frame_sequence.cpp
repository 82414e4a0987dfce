// The frames of a synthetic archive: times, status words and word values,
// generated in file order from the settings alone.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "mkarchive/archive_generator.h"

namespace mkarchive {

namespace {

constexpr int64_t kMicrosPerDay = 86400LL * 1000000LL;
constexpr int64_t kMaxEncodableMicros = 1000 * kMicrosPerDay;  // three BCD day digits

enum WordKind : uint8_t { kRandomWord, kSyncWord, kSfidWord };

uint8_t Bcd(int value) { return static_cast<uint8_t>(((value / 10) % 10) << 4 | (value % 10)); }

int64_t NominalMicros(const ArchiveSettings& settings, int64_t start_us, int64_t index) {
  return start_us + std::llround(static_cast<double>(index) * 1e6 / settings.frame_rate_hz);
}

}  // namespace

int32_t WordLength(const ArchiveSettings& settings, int32_t w) {
  if (w >= 0 && w < static_cast<int32_t>(settings.word_lengths.size())) return settings.word_lengths[w];
  return settings.common_word_length;
}

bool WordLeftJustified(const ArchiveSettings& settings, int32_t w) {
  return w >= 0 && w < static_cast<int32_t>(settings.left_justified.size()) &&
         settings.left_justified[w] != 0;
}

// Leading words that hold the sync pattern (0 when sync is off).
static int32_t SyncWordCount(const ArchiveSettings& settings) {
  if (!settings.sync_enabled) return 0;
  int32_t bits = 0;
  int32_t w = 0;
  while (bits < settings.sync_bits && w < settings.words_per_frame) bits += WordLength(settings, w++);
  return bits >= settings.sync_bits ? w : -1;
}

std::string CheckSettings(const ArchiveSettings& settings) {
  if (settings.words_per_frame < 1 || settings.words_per_frame > kWordTableEntries)
    return "words per frame must be 1 to 16383";
  if (settings.common_word_length < 1 || settings.common_word_length > 16)
    return "common word length must be 1 to 16";
  for (int32_t len : settings.word_lengths)
    if (len < 1 || len > 16) return "word lengths must be 1 to 16";
  if (settings.frames_per_block < 1) return "frames per block must be at least 1";
  if (settings.status_bytes_per_block < 0 || settings.status_bytes_per_block > kMaxStatusBytesPerBlock)
    return "status bytes per block must be 0 to 1024";
  if (settings.serial_slack_bytes < 0) return "serial slack bytes must not be negative";
  int64_t serial = static_cast<int64_t>(settings.frames_per_block) * (settings.words_per_frame + 5) * 2 +
                   settings.serial_slack_bytes;
  if (12 + serial + settings.status_bytes_per_block > (64LL << 20))
    return "block size must not exceed 64 MiB";
  if (!std::isfinite(settings.frame_rate_hz) || settings.frame_rate_hz <= 0.0)
    return "frame rate must be a finite number above 0";
  if (!std::isfinite(settings.start_time) || settings.start_time < 0.0 ||
      settings.start_time * 1e6 >= static_cast<double>(kMaxEncodableMicros))
    return "start time must be 0 to 999 days";
  if (settings.frame_count < 0) return "frame count must not be negative";
  for (const FrameGap& gap : settings.gaps)
    if (gap.first < 0 || gap.count < 0) return "gaps must not be negative";
  if (settings.sync_enabled) {
    if (settings.sync_bits < 1 || settings.sync_bits > 64) return "sync pattern bits must be 1 to 64";
    if (SyncWordCount(settings) < 0) return "sync pattern longer than the frame";
  }
  if (settings.sfid_word < 0 || settings.sfid_word > settings.words_per_frame)
    return "SFID word must be 0 (none) or a word of the frame";
  if (settings.sfid_word > 0 && settings.sfid_word <= SyncWordCount(settings))
    return "SFID word lies in the sync pattern";
  if (settings.num_minor_frames < 0) return "number of minor frames must not be negative";
  if (settings.status_a_every < 0 || settings.status_b_every < 0) return "status flag periods must not be negative";
  if (settings.terminator != 0x0A && settings.terminator != 0x00) return "terminator must be LF or NUL";
  return "";
}

void EncodeFrameHeader(int64_t time_us, uint16_t status_word, uint8_t out[10]) {
  if (time_us < 0) time_us = 0;
  if (time_us >= kMaxEncodableMicros) time_us = kMaxEncodableMicros - 1;
  int64_t seconds = time_us / 1000000;
  int micros = static_cast<int>(time_us % 1000000);
  int day = static_cast<int>(seconds / 86400);
  int in_day = static_cast<int>(seconds % 86400);
  out[0] = static_cast<uint8_t>(day / 100);
  out[1] = Bcd(day % 100);
  out[2] = Bcd(in_day / 3600);
  out[3] = Bcd(in_day / 60 % 60);
  out[4] = Bcd(in_day % 60);
  out[5] = Bcd(micros / 10000);
  out[6] = Bcd(micros / 100 % 100);
  out[7] = Bcd(micros % 100);
  out[8] = static_cast<uint8_t>(status_word & 0xFF);
  out[9] = static_cast<uint8_t>(status_word >> 8);
}

double FrameHeaderTime(int64_t time_us) {
  if (time_us < 0) time_us = 0;
  if (time_us >= kMaxEncodableMicros) time_us = kMaxEncodableMicros - 1;
  int64_t seconds = time_us / 1000000;
  int64_t micros = time_us % 1000000;
  int64_t day = seconds / 86400;
  int64_t in_day = seconds % 86400;
  // Same terms and order as the frame header decoding of the reader.
  return static_cast<double>(day) * 86400.0 + static_cast<double>(in_day / 3600) * 3600.0 +
         static_cast<double>(in_day / 60 % 60) * 60.0 + static_cast<double>(in_day % 60) +
         static_cast<double>(micros) * 0.000001;
}

struct FrameSequence::State {
  ArchiveSettings settings;
  bool with_words = true;
  int32_t wpf = 0;
  int64_t start_us = 0;
  int64_t frames_wanted = 0;   // frames Next() hands out
  int64_t frames_given = 0;
  int64_t next_nominal = 0;
  size_t next_gap = 0;
  size_t next_shift = 0;
  int64_t persistent_shift_us = 0;
  uint64_t seed_mix = 0;
  std::vector<uint8_t> kind;        // per word
  std::vector<uint16_t> mask;       // per word: the word's bits, right-aligned
  std::vector<uint8_t> shift;       // per word: left shift into the container
  std::vector<uint16_t> fixed;      // per word: sync pattern value
};

FrameSequence::FrameSequence(const ArchiveSettings& settings, bool with_words)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.settings = settings;
  s.with_words = with_words;
  s.wpf = std::clamp(settings.words_per_frame, 1, kWordTableEntries);
  s.start_us = std::llround(settings.start_time * 1e6);
  s.frames_wanted = std::max<int64_t>(settings.frame_count, 0);
  int64_t per_block = std::max(settings.frames_per_block, 1);
  if (settings.last_block == LastBlockFill::kContinue && s.frames_wanted % per_block != 0)
    s.frames_wanted += per_block - s.frames_wanted % per_block;
  std::sort(s.settings.gaps.begin(), s.settings.gaps.end(),
            [](const FrameGap& a, const FrameGap& b) { return a.first < b.first; });
  // Shifts of one frame add up, so their order among themselves is free.
  std::sort(s.settings.time_shifts.begin(), s.settings.time_shifts.end(),
            [](const FrameTimeShift& a, const FrameTimeShift& b) { return a.frame < b.frame; });
  s.seed_mix = Mix64(settings.seed ^ 0x4F524C4F41524B31ull);

  s.kind.assign(s.wpf, kRandomWord);
  s.mask.assign(s.wpf, 0);
  s.shift.assign(s.wpf, 0);
  s.fixed.assign(s.wpf, 0);
  for (int32_t w = 0; w < s.wpf; ++w) {
    int32_t len = std::clamp(WordLength(settings, w), 1, 16);
    s.mask[w] = static_cast<uint16_t>((1u << len) - 1);
    s.shift[w] = static_cast<uint8_t>(WordLeftJustified(settings, w) ? 16 - len : 0);
  }
  // The pattern's bits, most significant first, fill the leading words; a
  // last word longer than the rest of the pattern gets zeros below it.
  int32_t sync_words = SyncWordCount(settings);
  int32_t bits_left = settings.sync_bits;
  for (int32_t w = 0; w < sync_words && w < s.wpf; ++w) {
    int32_t len = std::clamp(WordLength(settings, w), 1, 16);
    int32_t take = std::min(len, bits_left);
    uint64_t chunk = (settings.sync_pattern >> (bits_left - take)) & ((1ull << take) - 1);
    s.fixed[w] = static_cast<uint16_t>(chunk << (len - take));
    s.kind[w] = kSyncWord;
    bits_left -= take;
  }
  if (settings.sfid_word >= 1 && settings.sfid_word <= s.wpf && s.kind[settings.sfid_word - 1] == kRandomWord)
    s.kind[settings.sfid_word - 1] = kSfidWord;
}

FrameSequence::~FrameSequence() = default;

bool FrameSequence::Next(FrameRecord& frame) {
  State& s = *state_;
  if (s.frames_given >= s.frames_wanted) return false;
  // Skip the nominal frames that lie in gaps (gaps may overlap).
  while (s.next_gap < s.settings.gaps.size()) {
    const FrameGap& gap = s.settings.gaps[s.next_gap];
    if (gap.first + gap.count <= s.next_nominal) {
      ++s.next_gap;
    } else if (gap.first <= s.next_nominal) {
      s.next_nominal = gap.first + gap.count;
      ++s.next_gap;
    } else {
      break;
    }
  }
  int64_t index = s.next_nominal++;
  ++s.frames_given;

  int64_t single_shift = 0;
  while (s.next_shift < s.settings.time_shifts.size() && s.settings.time_shifts[s.next_shift].frame <= index) {
    const FrameTimeShift& shift = s.settings.time_shifts[s.next_shift++];
    if (shift.persistent)
      s.persistent_shift_us += shift.microseconds;
    else if (shift.frame == index)
      single_shift += shift.microseconds;
  }
  int64_t time_us = NominalMicros(s.settings, s.start_us, index) + s.persistent_shift_us + single_shift;
  time_us = std::clamp<int64_t>(time_us, 0, kMaxEncodableMicros - 1);

  int32_t cycle = s.settings.num_minor_frames;
  int64_t counter = s.settings.sfid_start_count + (cycle >= 1 ? index % cycle : 0);
  uint16_t status = static_cast<uint16_t>(counter & 0x3FF);
  if (s.settings.status_a_every > 0 && index % s.settings.status_a_every == 0) status |= 1u << 13;
  if (s.settings.status_b_every > 0 && index % s.settings.status_b_every == 0) status |= 1u << 14;

  frame.nominal_index = index;
  frame.time_us = time_us;
  frame.time = FrameHeaderTime(time_us);
  frame.sfid = static_cast<int32_t>(counter & 0x3FF);
  frame.status_word = status;
  if (!s.with_words) return true;

  if (frame.words.size() != static_cast<size_t>(s.wpf)) frame.words.resize(s.wpf);
  uint16_t* out = frame.words.data();
  const bool dirty = s.settings.dirty_unused_bits;
  uint64_t bits = 0;
  for (int32_t w = 0; w < s.wpf; ++w) {
    if ((w & 3) == 0) bits = Mix64(s.seed_mix + static_cast<uint64_t>(index) * 8192u + (w >> 2));
    uint16_t noise = static_cast<uint16_t>(bits >> ((w & 3) * 16));
    uint16_t value;
    switch (s.kind[w]) {
      case kSyncWord: value = s.fixed[w]; break;
      case kSfidWord: value = static_cast<uint16_t>(counter) & s.mask[w]; break;
      default: value = noise & s.mask[w]; break;
    }
    uint16_t placed = static_cast<uint16_t>(value << s.shift[w]);
    if (dirty) {
      uint16_t used = static_cast<uint16_t>(s.mask[w] << s.shift[w]);
      placed |= static_cast<uint16_t>(~noise & ~used);
    }
    out[w] = placed;
  }
  return true;
}

void FrameSequence::Encode(const FrameRecord& frame, uint8_t* out) const {
  EncodeFrameHeader(frame.time_us, frame.status_word, out);
  for (const FrameHeaderFlip& flip : state_->settings.header_flips) {
    if (flip.frame == frame.nominal_index && flip.byte >= 0 && flip.byte < 10) out[flip.byte] ^= flip.mask;
  }
  const int32_t wpf = state_->wpf;
  const uint16_t* words = frame.words.data();
  uint8_t* p = out + 10;
  for (int32_t w = 0; w < wpf; ++w) {
    p[2 * w] = static_cast<uint8_t>(words[w] & 0xFF);
    p[2 * w + 1] = static_cast<uint8_t>(words[w] >> 8);
  }
}

ArchiveLayout ComputeLayout(const ArchiveSettings& settings) {
  ArchiveLayout layout;
  const int64_t per_block = std::max(settings.frames_per_block, 1);
  const int64_t frame_bytes = (static_cast<int64_t>(settings.words_per_frame) + 5) * 2;
  layout.serial_bytes = static_cast<int32_t>(per_block * frame_bytes + settings.serial_slack_bytes);
  layout.block_size = 12 + layout.serial_bytes + settings.status_bytes_per_block;

  FrameSequence sequence(settings, false);
  FrameRecord frame;
  int64_t real = 0;
  while (sequence.Next(frame)) {
    if (real % per_block == 0) layout.last_block_time = frame.time;
    if (real == 0) layout.first_frame_time = frame.time;
    layout.last_frame_time = frame.time;
    ++real;
  }
  layout.blocks = (real + per_block - 1) / per_block;
  layout.frames_written = settings.last_block == LastBlockFill::kZeroFrames ? layout.blocks * per_block : real;
  if (settings.last_block_time && layout.blocks > 0) layout.last_block_time = *settings.last_block_time;
  layout.header_bytes = static_cast<int64_t>(HeaderText(settings).size());
  layout.file_bytes = layout.header_bytes + layout.blocks * layout.block_size;
  if (settings.last_block == LastBlockFill::kCutShort && real % per_block != 0)
    layout.file_bytes -= layout.block_size - (12 + (real % per_block) * frame_bytes);
  layout.file_bytes = std::max(layout.header_bytes, layout.file_bytes - std::max<int64_t>(settings.cut_tail_bytes, 0));
  return layout;
}

int64_t FramesForSize(const ArchiveSettings& settings, int64_t bytes) {
  const int64_t per_block = std::max(settings.frames_per_block, 1);
  const int64_t block = 12 + per_block * (static_cast<int64_t>(settings.words_per_frame) + 5) * 2 +
                        settings.serial_slack_bytes + settings.status_bytes_per_block;
  return bytes > 0 ? bytes / block * per_block : 0;
}

std::vector<FrameRecord> ExpectedFrames(const ArchiveSettings& settings) {
  std::vector<FrameRecord> frames;
  FrameSequence sequence(settings);
  FrameRecord frame;
  while (sequence.Next(frame)) frames.push_back(frame);
  const int64_t per_block = std::max(settings.frames_per_block, 1);
  if (settings.last_block == LastBlockFill::kZeroFrames) {
    FrameRecord zero;
    zero.words.assign(std::clamp(settings.words_per_frame, 1, kWordTableEntries), 0);
    zero.nominal_index = -1;
    while (static_cast<int64_t>(frames.size()) % per_block != 0) frames.push_back(zero);
  }
  return frames;
}

}  // namespace mkarchive
