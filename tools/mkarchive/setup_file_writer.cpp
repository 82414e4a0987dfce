// Writes the ".B50" decommutator setup file that matches a synthetic archive:
// the 29-byte prefix and the setup record.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "archive/decom_setup.h"
#include "mkarchive/archive_generator.h"
#include "support/platform_file.h"

static_assert(std::endian::native == std::endian::little,
              "setup records are written straight from memory, which must be little-endian");

namespace mkarchive {

namespace {

constexpr int kSetupPrefixBytes = 29;

int BitsNeeded(int64_t value) {
  int bits = 0;
  while (value > 0) {
    ++bits;
    value >>= 1;
  }
  return bits;
}

bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

}  // namespace

void MakeSetupRecord(const ArchiveSettings& settings, decomsetupstruct& record) {
  SetDecomSetupDefaults(record);
  const int32_t wpf = std::clamp(settings.words_per_frame, 1, kWordTableEntries);
  record.WordsPerFrame = static_cast<int16_t>(wpf);
  record.CommonWordLength = static_cast<uint8_t>(settings.common_word_length);
  record.WdArrayLength = static_cast<uint16_t>(wpf);
  bool all_left = true;
  int64_t frame_bits = 0;
  for (int32_t w = 0; w < wpf; ++w) {
    decomwordstruct& entry = record.WordTable[w];
    entry.iWdNum = w;
    entry.iWdLen = WordLength(settings, w);
    entry.bLeftAlign = WordLeftJustified(settings, w) ? 1 : 0;
    all_left = all_left && entry.bLeftAlign;
    frame_bits += entry.iWdLen;
  }
  record.eWordAlignment = all_left ? 0 : 1;

  syncpatternstruct& sync = record.SyncPattern;
  sync.FrmSyncPatRadix = 2;
  std::memset(sync.FrmSyncPat, 0, sizeof sync.FrmSyncPat);
  if (settings.sync_enabled) {
    int digits = (settings.sync_bits + 3) / 4;
    uint64_t pattern = settings.sync_bits >= 64 ? settings.sync_pattern
                                            : settings.sync_pattern & ((1ull << settings.sync_bits) - 1);
    std::snprintf(sync.FrmSyncPat, sizeof sync.FrmSyncPat, "%0*llX", digits,
                  static_cast<unsigned long long>(pattern));
    sync.FrmSyncPatLen = static_cast<int16_t>(settings.sync_bits);
  }
  record.PatternLeads = settings.sync_enabled ? 1 : 0;

  const int32_t cycle = std::max(settings.num_minor_frames, 1);
  record.SubFrameIdWord = static_cast<int16_t>(settings.sfid_word);
  record.eSyncMethod = settings.sfid_word > 0 ? 1 : 0;
  record.FirstFrame = static_cast<int16_t>(settings.sfid_start_count);
  record.LastFrame = static_cast<int16_t>(settings.sfid_start_count + cycle - 1);
  record.NumSubframes = cycle;
  record.SubframeDirection = 0;
  int counter_bits = BitsNeeded(std::max<int64_t>(record.FirstFrame, record.LastFrame));
  record.SubFrameIdStartBitLsb = static_cast<int16_t>(std::max(counter_bits - 1, 0));
  double rate = std::round(static_cast<double>(frame_bits) * settings.frame_rate_hz);
  record.BitRate = static_cast<int32_t>(std::clamp(rate, 0.0, 2147483647.0));

  if (settings.setup_file.edit) settings.setup_file.edit(record);
}

bool WriteSetupFile(const std::string& path, const SetupFileSettings& file_settings,
                    const decomsetupstruct& record, std::string* error) {
  uint8_t prefix[kSetupPrefixBytes] = {};
  std::memcpy(prefix, &file_settings.version, 4);
  prefix[4] = file_settings.valid;
  std::memcpy(prefix + 5, file_settings.prefix_values, 20);

  int64_t record_bytes = file_settings.record_bytes < 0
                             ? static_cast<int64_t>(sizeof(decomsetupstruct))
                             : std::min<int64_t>(file_settings.record_bytes, sizeof(decomsetupstruct));
  PlatformFile file;
  if (!file.CreateWrite(path)) return Fail(error, "cannot create " + path + ": " + SystemErrorText(file.LastError()));
  if (file.Write(prefix, kSetupPrefixBytes) != kSetupPrefixBytes ||
      file.Write(&record, record_bytes) != record_bytes)
    return Fail(error, "write failed: " + SystemErrorText(file.LastError()));
  if (!file.Close()) return Fail(error, "close failed: " + SystemErrorText(file.LastError()));
  return true;
}

std::string SetupFilePath(const std::string& archive_path, const ArchiveSettings& settings) {
  // The reader looks in the archive's folder for the recorded name's base
  // name (folder part and everything from the first "." dropped) + ".B50".
  size_t cut = archive_path.find_last_of("\\/:");
  std::string folder = cut == std::string::npos ? "" : archive_path.substr(0, cut + 1);
  std::string name = settings.setup_file_name;
  size_t name_cut = name.find_last_of("\\/:");
  if (name_cut != std::string::npos) name = name.substr(name_cut + 1);
  name = name.substr(0, name.find('.'));
  return folder + name + ".B50";
}

}  // namespace mkarchive
