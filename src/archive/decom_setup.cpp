// The decom setup: record defaults, the ".B50" setup file beside the archive,
// the checks a record must pass, and filling the setup part of the archive
// header record from the file or from the operator prompts.
#include "archive/decom_setup.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <type_traits>

#include "archive/ark_header.h"
#include "archive/frame_header.h"
#include "support/beeper.h"
#include "support/error_log.h"
#include "support/platform_file.h"
#include "support/profile_files.h"
#include "support/text_format.h"

namespace {

constexpr int32_t kCardFrameBufferBytes = 131072;
constexpr int32_t kMaxSubframes = 1024;
constexpr int32_t kSetupPrefixSkipBytes = 24;  // five 32-bit values, then four bytes

void SetPatternText(char (&field)[66], const std::string& text) {
  std::memset(field, 0, sizeof field);
  std::memcpy(field, text.data(), std::min(text.size(), sizeof field - 1));
}

std::string PatternText(const char (&field)[66]) {
  return std::string(field, strnlen(field, sizeof field));
}

std::string Number(int width, int64_t value) {
  return FormatFixedNumber(width, 0, static_cast<double>(value));
}

int SignificantBits(int64_t value) {
  int bits = 0;
  while (value > 0) {
    ++bits;
    value >>= 1;
  }
  return bits;
}

bool Fail(int32_t code, const std::string& text, int32_t& error_code, std::string& reason) {
  error_code = code;
  reason = text;
  return false;
}

// The SFID word must leave room for the sync words at the frame's start
// (pattern leads) or end (pattern trails).
bool CheckSfidWordPlace(const decomsetupstruct& r, int32_t& error_code, std::string& reason) {
  const int32_t sync_words = (r.SyncPattern.FrmSyncPatLen + r.CommonWordLength - 1) / r.CommonWordLength;
  const int32_t s = r.SubFrameIdWord;
  const bool leads = r.PatternLeads == 1;
  if (r.SubframeDirection == 0 && leads) {
    if (s >= r.FirstFrame + sync_words) return true;
    return Fail(14, "SfId Word Must be Greater than " + Number(4, r.FirstFrame + sync_words - 1),
                error_code, reason);
  }
  if (r.SubframeDirection == 1 && leads) {
    if (s >= sync_words) return true;
    return Fail(14, "SfId Word Must be Greater than " + Number(4, sync_words), error_code, reason);
  }
  if (s <= r.WordsPerFrame - sync_words) return true;
  return Fail(14, "SfId Word Must be Less than " + Number(4, r.WordsPerFrame - sync_words), error_code,
              reason);
}

// The SFID field starts at its MSB and must lie in the SFID word and hold
// every count from FirstFrame to LastFrame.
bool CheckSfidStartBit(const decomsetupstruct& r, int32_t& error_code, std::string& reason) {
  const int32_t length = r.WordTable[r.SubFrameIdWord - 1].iWdLen;
  const int32_t start_bit = r.SubFrameIdStartBitLsb;
  if (start_bit < 0 || start_bit >= length)
    return Fail(15, "SF ID Start Bit MUST be in the range of 0 to " + Number(2, length - 1), error_code,
                reason);
  const int counter_bits = SignificantBits(std::max(r.FirstFrame, r.LastFrame));
  if (start_bit - counter_bits + 1 < 0)
    return Fail(15, "Not enough bits for SF ID for the number of minor frames. Check Start Bit",
                error_code, reason);
  return true;
}

bool ReadExactly(PlatformFile& file, void* buffer, int64_t bytes) {
  return file.Read(buffer, bytes) == bytes;
}

// A setup file that is there and not used changes the word lengths to the
// prompts' answers: the operator must learn why, from the log and (when
// asked for) the reason in plain words.
void ReportSetupFileNotUsed(const std::string& path, int32_t code, const std::string& why,
                            std::string* unused_reason) {
  LogWarning("Decom Setup File Not Used, " + path + ", " + why, code, false);
  if (unused_reason) *unused_reason = "setup file " + path + " not used: " + why;
}

}  // namespace

std::string SetupFilePath(const std::string& archive_path, const std::string& setup_file_name) {
  return FileFolderPart(archive_path) + FileBaseName(setup_file_name) + ".B50";
}

namespace {

void MakeDecomSetupDefaults(decomsetupstruct& r) {
  std::memset(&r, 0, sizeof r);
  r.WordsPerFrame = 256;
  r.CommonWordLength = 16;
  r.PcmInputCode = 0;
  r.BitOrder = 0;
  r.SubFrameIdWord = 3;
  r.SubFrameIdStartBitLsb = 5;
  r.FirstFrame = 0;
  r.LastFrame = 63;
  r.SyncPattern.FrmSyncPatRadix = 2;
  SetPatternText(r.SyncPattern.FrmSyncPat, "FE6B2840");
  r.SyncPattern.FrmSyncPatLen = 32;
  r.PatternLeads = 1;
  r.iChkFrm = 2;
  r.iVfyFrm = 2;
  r.eSyncMethod = 1;
  r.FrameSyncTolerance = 1;
  r.FramesPerInterrupt = 1;
  r.eInputSource = 4;
  r.URCPatRadix = 2;
  SetPatternText(r.URCSyncPat, "FE6B2840");
  r.URCPatLen = 32;
  r.UrcTolerance = 1;
  r.eWordAlignment = 1;
  r.eBitWindow = 0;
  r.WdArrayLength = static_cast<uint16_t>(r.WordsPerFrame);
  for (int32_t i = 0; i < kWordTableEntries; ++i) {
    decomwordstruct& entry = r.WordTable[i];
    entry.iWdNum = i;
    entry.iWdLen = r.CommonWordLength;
    entry.bLSBF = r.BitOrder == 1 ? 1 : 0;
    entry.bLeftAlign = r.eWordAlignment == 0 ? 1 : 0;
  }
  r.NumSubframes = 64;
  r.SubframeDirection = 0;
  r.BitRate = 1024000;
}

// Every archive open resets a whole record (about 262 KB, 16,383 word
// entries): one copy of a record made once costs far less than setting each
// entry again, and gives the same bytes, padding included.
const decomsetupstruct& DefaultDecomSetup() {
  static_assert(std::is_trivially_copyable_v<decomsetupstruct>);
  static const std::unique_ptr<const decomsetupstruct> defaults = [] {
    auto made = std::make_unique<decomsetupstruct>();
    MakeDecomSetupDefaults(*made);
    return std::unique_ptr<const decomsetupstruct>(std::move(made));
  }();
  return *defaults;
}

// The defaults for the record's bytes from `offset` on: those a setup file
// shorter than the record does not give.
void SetDecomSetupDefaultsFrom(decomsetupstruct& r, int64_t offset) {
  const size_t from = static_cast<size_t>(std::clamp<int64_t>(offset, 0, sizeof r));
  std::memcpy(reinterpret_cast<uint8_t*>(&r) + from, reinterpret_cast<const uint8_t*>(&DefaultDecomSetup()) + from,
              sizeof r - from);
}

}  // namespace

void SetDecomSetupDefaults(decomsetupstruct& r) { SetDecomSetupDefaultsFrom(r, 0); }

bool ReadSetupFile(const std::string& archive_path, const std::string& setup_file_name,
                   decomsetupstruct& record, int32_t archive_words, std::string* unused_reason,
                   int* read_error, int32_t* failed_check) {
  // Until the record is read it holds the defaults; the read gives it the
  // file's bytes and the defaults for the rest.
  if (failed_check != nullptr) *failed_check = -1;
  const size_t dot = setup_file_name.rfind('.');
  const std::string path = SetupFilePath(archive_path, setup_file_name);
  if (dot == std::string::npos || setup_file_name.compare(dot, std::string::npos, ".B50") != 0 ||
      !FileExists(path)) {
    SetDecomSetupDefaults(record);
    return false;
  }

  PlatformFile file;
  bool record_read = false;
  auto not_used = [&](int32_t code, const std::string& why) {
    if (!record_read) SetDecomSetupDefaults(record);
    if (read_error != nullptr && file.LastError() != 0) *read_error = file.LastError();
    ReportSetupFileNotUsed(path, code, why, unused_reason);
    return false;
  };
  if (!file.OpenRead(path)) return not_used(255, "it cannot be opened: " + SystemErrorText(file.LastError()));

  int32_t version = 0;
  uint8_t valid = 0;
  uint8_t skipped[kSetupPrefixSkipBytes];
  if (!ReadExactly(file, &version, sizeof version)) return not_used(255, "it ends inside its version");
  if (version < 2) return not_used(255, "its version " + Number(11, version) + " is below 2");
  if (!ReadExactly(file, &valid, 1)) return not_used(255, "it ends before its valid byte");
  if (valid == 0) return not_used(255, "its valid byte is 0");
  if (!ReadExactly(file, skipped, sizeof skipped)) return not_used(255, "it ends inside its prefix");

  // A record cut short would leave defaults in place of what was not read:
  // every field before the word table and the entries of the archive's
  // words must be there.
  const int64_t got = file.Read(&record, sizeof record);
  SetDecomSetupDefaultsFrom(record, got);
  record_read = true;
  const int64_t needed = static_cast<int64_t>(offsetof(decomsetupstruct, WordTable)) +
                         static_cast<int64_t>(sizeof(decomwordstruct)) * std::clamp(archive_words, 0, kWordTableEntries);
  if (got < needed) {
    SetDecomSetupDefaults(record);
    return not_used(255, "it is cut short: its record holds " + Number(11, got) + " bytes, " +
                             Number(11, needed) + " are needed for " + Number(6, archive_words) + " words");
  }
  if (got < static_cast<int64_t>(sizeof record) && file.LastError() != 0) {
    SetDecomSetupDefaults(record);
    return not_used(file.LastError(), "it cannot be read: " + SystemErrorText(file.LastError()));
  }
  if (!file.Close()) return not_used(file.LastError(), "it cannot be closed: " + SystemErrorText(file.LastError()));
  if (version < 3) record.PcmInputCode = 0;

  int32_t error_code = 0;
  std::string reason;
  const bool ok = ValidateDecomSetup(record, error_code, reason);
  if (!ok) {
    BeepError();
    if (reason.empty()) reason = "invalid subframe direction, record reset to the defaults";
    if (failed_check != nullptr) *failed_check = error_code;
    return not_used(error_code, "check " + Number(4, error_code) + " failed: " + reason);
  }
  return ok;
}

bool ValidateDecomSetup(decomsetupstruct& r, int32_t& error_code, std::string& reason) {
  error_code = 0;
  reason.clear();
  if (r.PcmInputCode >= 19) r.PcmInputCode = 0;

  if (r.SubframeDirection != 0 && r.SubframeDirection != 1) {
    LogInfo("INVALID SUBFRAME DIRECTION, CORRECTING TO COUNTS UP", r.SubframeDirection, false);
    r.SubframeDirection = 0;
    LogInfo("Appear to have file corruption for simulator, setting defaults", 255, false);
    SetDecomSetupDefaults(r);
    return false;
  }

  if (r.eSyncMethod == 0) {
    r.NumSubframes = 1;
    r.FirstFrame = 0;
    r.LastFrame = 0;
    r.SubframeDirection = 0;
    r.SubFrameIdWord = static_cast<int16_t>(r.PatternLeads == 1 ? r.WordsPerFrame - 1 : 0);
  }

  const int16_t pattern_length = r.SyncPattern.FrmSyncPatLen;
  if (pattern_length < 3 || pattern_length > 64)
    return Fail(10, "Sync Pattern Length MUST be between " + Number(2, 3) + " and " + Number(2, 64),
                error_code, reason);
  if (r.WordsPerFrame > kWordTableEntries)
    return Fail(11, "Words Per Minor Frame MUST be less than " + Number(4, kWordTableEntries), error_code,
                reason);
  if (r.NumSubframes > kMaxSubframes)
    return Fail(12, "Too Many Subframes, Max is " + Number(4, kMaxSubframes), error_code, reason);
  if (r.SubFrameIdWord > r.WordsPerFrame)
    return Fail(13, "SFID MUST be less than Words Per Minor Frame " + Number(4, r.WordsPerFrame), error_code,
                reason);

  // Lengths outside 1 to 16 bits cannot be packed (and a common length of 0
  // would divide by zero below); an SFID word below 1 would index before the
  // word table.
  if (!IsPackableWordLength(r.CommonWordLength))
    return Fail(18, "Common Word Length MUST be between " + Number(2, kMinWordLength) + " and " + Number(2, kMaxWordLength),
                error_code, reason);
  for (int32_t w = 0; w < r.WordsPerFrame; ++w) {
    const int32_t length = r.WordTable[w].iWdLen;
    if (!IsPackableWordLength(length))
      return Fail(19, "Word Length MUST be between " + Number(2, kMinWordLength) + " and " + Number(2, kMaxWordLength) +
                          ", Word " + Number(5, w + 1) + " is " + Number(11, length),
                  error_code, reason);
  }
  if (r.eSyncMethod != 0 && r.SubFrameIdWord < 1)
    return Fail(20, "SfId Word MUST be at least " + Number(1, 1) + " when subframes are synchronised",
                error_code, reason);

  if (r.eSyncMethod != 0) {
    if (!CheckSfidWordPlace(r, error_code, reason)) return false;
    if (!CheckSfidStartBit(r, error_code, reason)) return false;
  }
  if (r.eSyncMethod == 3 && (r.URCPatLen < 3 || r.URCPatLen > 32))
    return Fail(16, std::string("URC  ") + "URC Sync Pattern Length MUST be between " + Number(2, 3) +
                        " and " + Number(2, 32),
                error_code, reason);

  // Signed: the record's words per frame may be below 0 here.
  const int32_t frame_bytes = (r.WordsPerFrame + kFrameHeaderWords) * 2;
  const int64_t interrupt_bytes = static_cast<int64_t>(r.FramesPerInterrupt) * frame_bytes;
  if (interrupt_bytes > kCardFrameBufferBytes) {
    // frame_bytes is not 0 here: a frame of 0 bytes makes the product 0.
    const int32_t max_frames = kCardFrameBufferBytes / frame_bytes;
    r.FramesPerInterrupt = static_cast<int16_t>(max_frames % 256);
    return Fail(17, "Frames Per Interrupt TOO LARGE for the card.  Max is " + Number(5, kCardFrameBufferBytes) +
                        " bytes." + "  Max Frames Per Interrupt is " + Number(3, max_frames),
                error_code, reason);
  }
  return true;
}

namespace {

// The frame's words of the header record, as far as the word table goes.
int32_t HeaderWords(const arkheaderstruct& header) {
  return std::clamp(header.WordsPerMinorFrame, 0, kWordTableEntries);
}

// What both ways of filling the setup part end with: a terminated pattern
// text and the frame's bits.
void FinishSetupPart(arkheaderstruct& header) {
  const int32_t words = HeaderWords(header);
  header.SyncPattern.FrmSyncPat[sizeof header.SyncPattern.FrmSyncPat - 1] = '\0';
  header.VariableWordLengths = false;
  header.BitsPerMinorFrame = 0;
  for (int32_t w = 0; w < words; ++w) {
    header.BitsPerMinorFrame += header.WordTable[w].iWdLen;
    if (header.WordTable[w].iWdLen != header.CommonWordLength) header.VariableWordLengths = true;
  }
}

}  // namespace

bool ReadArchiveSetupFile(const std::string& archive_path, const arkheaderstruct& header,
                          decomsetupstruct& record, std::string& unused_reason, int& read_error,
                          int32_t& failed_check) {
  const int32_t words = HeaderWords(header);
  unused_reason.clear();
  read_error = 0;
  if (!ReadSetupFile(archive_path, header.SetupFileName, record, words, &unused_reason, &read_error,
                     &failed_check))
    return false;
  // The record was checked for its own words per frame; the archive's
  // frame may be longer, so its words must have packable lengths too.
  for (int32_t w = 0; w < words; ++w) {
    const int32_t length = record.WordTable[w].iWdLen;
    if (!IsPackableWordLength(length)) {
      BeepError();
      const std::string why = "word " + Number(6, w + 1) + " of the archive's frame is " +
                              Number(11, length) + " bits long, not 1 to 16";
      ReportSetupFileNotUsed(SetupFilePath(archive_path, header.SetupFileName), 255, why, &unused_reason);
      return false;
    }
  }
  return true;
}

void FillSetupFromRecord(arkheaderstruct& header, const decomsetupstruct& record) {
  const int32_t words = HeaderWords(header);
  header.CommonWordLength = record.CommonWordLength;
  header.SfidMsb = record.SubFrameIdStartBitLsb;
  std::memcpy(header.WordTable, record.WordTable, sizeof(decomwordstruct) * words);
  header.FspLeads = record.PatternLeads == 1;
  header.SyncPattern = record.SyncPattern;
  SetPatternText(header.SyncPattern.FrmSyncPat, TrimLeadingChar('0', PatternText(record.SyncPattern.FrmSyncPat)));
  FinishSetupPart(header);
}

void FillSetupFromAnswers(arkheaderstruct& header, const decomsetupstruct& record,
                          int32_t common_word_length, int32_t sfid_msb) {
  const int32_t words = HeaderWords(header);
  header.CommonWordLength = common_word_length;
  header.SfidMsb = sfid_msb;
  for (int32_t w = 0; w < words; ++w) {
    header.WordTable[w] = record.WordTable[w];
    header.WordTable[w].iWdLen = header.CommonWordLength;
  }
  header.FspLeads = true;
  header.SyncPattern.FrmSyncPatLen = static_cast<int16_t>(2 * header.CommonWordLength);
  header.SyncPattern.FrmSyncPatRadix = 2;
  std::string text;
  DefaultSyncPatternText(header.SyncPattern.FrmSyncPatLen, 2, text);
  SetPatternText(header.SyncPattern.FrmSyncPat, text);
  FinishSetupPart(header);
}
