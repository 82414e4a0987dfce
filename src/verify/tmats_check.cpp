// The self-check's reading of the TMATS text against the archive's setup.
#include "verify/tmats_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "archive/ark_header.h"
#include "archive/decom_setup.h"

namespace {

// The PCM packets' channel in the packet headers.
constexpr int64_t kPcmChannel = 2;

struct attributestruct {
  std::string value;
  int64_t offset = 0;  // of the code's first byte in the file
  bool used = false;
};

bool IsBlank(uint8_t c) {
  return c == '\r' || c == '\n' || c == ' ' || c == '\t';
}

// A whole decimal integer, an optional minus sign and up to 18 digits.
bool ParseWhole(const std::string& text, int64_t& value) {
  size_t i = text.size() > 1 && text[0] == '-' ? 1 : 0;
  if (i == text.size() || text.size() - i > 18) return false;
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
  }
  value = text[0] == '-' ? -v : v;
  return true;
}

// Digits with at most one decimal point among them.
bool IsDecimal(const std::string& text) {
  size_t digits = 0, points = 0;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      ++digits;
    } else if (c == '.') {
      ++points;
    } else {
      return false;
    }
  }
  return digits > 0 && points <= 1;
}

std::string RateText(double rate) {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", rate);
  std::string s = text;
  s.erase(s.find_last_not_of('0') + 1);
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s;
}

// Significant bits of an unsigned count: 0 for 0, else the position of its
// highest set bit counted from 1.
int64_t SignificantBits(uint32_t value) {
  int64_t bits = 0;
  for (; value != 0; value >>= 1) ++bits;
  return bits;
}

class tmatscheckerclass {
 public:
  tmatscheckerclass(const uint8_t* text, size_t size, int64_t text_offset, const arkheaderstruct& h)
      : header_(h), end_offset_(text_offset + static_cast<int64_t>(size)) {
    Parse(text, size, text_offset);
  }

  bool Check(int64_t& offset, std::string& difference) {
    CheckRecorderChannel();
    CheckPcmFormat();
    for (const auto& [code, attribute] : attributes_) {
      if (!attribute.used && code.rfind("P-1\\", 0) == 0) {
        Note(attribute.offset, "TMATS attribute " + code + " does not belong to this PCM format");
      }
    }
    if (first_offset_ < 0) return true;
    offset = first_offset_;
    difference = first_text_;
    return false;
  }

 private:
  void Parse(const uint8_t* text, size_t size, int64_t text_offset) {
    size_t i = 0;
    for (;;) {
      while (i < size && IsBlank(text[i])) ++i;
      if (i == size) return;
      const size_t start = i;
      while (i < size && text[i] != ':' && text[i] != ';') ++i;
      const int64_t at = text_offset + static_cast<int64_t>(start);
      if (i == size || text[i] != ':') {
        // What follows cannot be read as attributes.
        Note(at, "TMATS text is not a code, \":\", a value and \";\" here");
        return;
      }
      const std::string code(reinterpret_cast<const char*>(text + start), i - start);
      const size_t value_start = ++i;
      while (i < size && text[i] != ';') ++i;
      if (i == size) {
        Note(at, "TMATS attribute " + code + " has no \";\" after its value");
        return;
      }
      attributestruct attribute;
      attribute.value.assign(reinterpret_cast<const char*>(text + value_start), i - value_start);
      attribute.offset = at;
      ++i;
      if (!attributes_.emplace(code, std::move(attribute)).second) {
        Note(at, "TMATS attribute " + code + " is given twice");
      }
    }
  }

  // Keeps the difference that comes first in the file.
  void Note(int64_t offset, const std::string& text) {
    if (first_offset_ >= 0 && offset >= first_offset_) return;
    first_offset_ = offset;
    first_text_ = text;
  }

  const attributestruct* Find(const std::string& code) {
    const auto found = attributes_.find(code);
    if (found == attributes_.end()) {
      Note(end_offset_, "TMATS attribute " + code + " is missing");
      return nullptr;
    }
    found->second.used = true;
    return &found->second;
  }

  void Differs(const std::string& code, const attributestruct& a, const std::string& expected) {
    Note(a.offset,
         "TMATS attribute " + code + " is \"" + a.value + "\", expected \"" + expected + "\"");
  }

  const attributestruct* ExpectText(const std::string& code, const std::string& expected) {
    const attributestruct* a = Find(code);
    if (a != nullptr && a->value != expected) Differs(code, *a, expected);
    return a;
  }

  const attributestruct* ExpectWhole(const std::string& code, int64_t expected) {
    const attributestruct* a = Find(code);
    int64_t value = 0;
    if (a != nullptr && (!ParseWhole(a->value, value) || value != expected)) {
      Differs(code, *a, std::to_string(expected));
    }
    return a;
  }

  // The value of a whole-number attribute; false (noted) when it is missing
  // or not a number.
  bool ReadWhole(const std::string& code, int64_t& value, const attributestruct** found = nullptr) {
    const attributestruct* a = Find(code);
    if (found != nullptr) *found = a;
    if (a == nullptr) return false;
    if (ParseWhole(a->value, value)) return true;
    Note(a->offset, "TMATS attribute " + code + " is \"" + a->value + "\", not a whole number");
    return false;
  }

  // The recorder group of the general group's data source, and in it the
  // channel that the PCM packets carry, tied to the PCM format group by its
  // data link name.
  void CheckRecorderChannel() {
    if (const attributestruct* source = Find("G\\DSI-1")) ExpectText("R-1\\ID", source->value);
    int64_t channels = 0;
    const attributestruct* count = nullptr;
    if (!ReadWhole("R-1\\N", channels, &count)) return;
    for (int64_t n = 1; n <= channels && n <= 65535; ++n) {
      const std::string k = std::to_string(n);
      const auto track = attributes_.find("R-1\\TK1-" + k);
      int64_t channel = 0;
      if (track == attributes_.end() || !ParseWhole(track->second.value, channel) ||
          channel != kPcmChannel) {
        continue;
      }
      ExpectText("R-1\\CHE-" + k, "T");
      ExpectText("R-1\\CDT-" + k, "PCMIN");
      ExpectText("R-1\\PDTF-" + k, "1");
      ExpectText("R-1\\PDP-" + k, "TM");
      if (const attributestruct* link = Find("R-1\\CDLN-" + k)) pcm_link_ = link->value;
      has_pcm_channel_ = true;
      return;
    }
    Note(count->offset, "TMATS has no recorder channel R-1\\TK1-n of the PCM packets' channel " +
                            std::to_string(kPcmChannel));
  }

  void CheckPcmFormat() {
    const arkheaderstruct& h = header_;
    const std::string p = "P-1\\";
    if (const attributestruct* link = Find(p + "DLN")) {
      if (has_pcm_channel_ && link->value != pcm_link_) Differs(p + "DLN", *link, pcm_link_);
    }
    ExpectText(p + "D1", "NRZ-L");
    const double bit_rate = HeaderBitRate(h);
    if (const attributestruct* rate = Find(p + "D2")) {
      char* end = nullptr;
      const double given = std::strtod(rate->value.c_str(), &end);
      // The rate is written without decimals: half a bit per second either way.
      if (!IsDecimal(rate->value) || *end != '\0' ||
          !(std::fabs(given - bit_rate) <= 0.5 + 1e-9 * bit_rate)) {
        Differs(p + "D2", *rate, RateText(bit_rate));
      }
    }
    ExpectText(p + "D3", "U");
    for (const char* code : {"D4", "D5", "D6", "D7"}) ExpectText(p + code, "N");
    ExpectText(p + "D8", "N/A");
    ExpectText(p + "TF", h.WordsPerMinorFrame <= 65535 ? "ONE" : "TWO");
    ExpectText(p + "F2", "M");
    CheckWordLengths();
    ExpectText(p + "F3", "NO");
    ExpectText(p + "F4", "L");
    ExpectWhole(p + "MF\\N", h.NumMinorFrames);
    // The sync pattern takes its length rounded up to whole words of the
    // common length, and counts as one word of the minor frame.
    const int64_t sync_bits = h.SyncPattern.FrmSyncPatLen;
    const int64_t word_bits = h.CommonWordLength;
    int64_t sync_words = 1;
    if (word_bits > 0) sync_words = sync_bits / word_bits + (sync_bits % word_bits > 0 ? 1 : 0);
    ExpectWhole(p + "MF1", static_cast<int64_t>(h.WordsPerMinorFrame) - sync_words + 1);
    ExpectWhole(p + "MF2", h.BitsPerMinorFrame);
    ExpectText(p + "MF3", "FPT");
    ExpectWhole(p + "MF4", sync_bits);
    ExpectText(p + "MF5", SyncPatternDigits());
    const bool subframes = h.NumMinorFrames > 1;
    ExpectText(p + "ISF\\N", subframes ? "1" : "0");
    if (subframes) CheckSubframeCounter();
  }

  // The pattern of the setup in binary digits, most significant first,
  // without its leading zeros ("X" for a don't-care bit).
  std::string SyncPatternDigits() const {
    const syncpatternstruct& sync = header_.SyncPattern;
    std::string binary64;
    SyncPatternToBinary(
        std::string(sync.FrmSyncPat, strnlen(sync.FrmSyncPat, sizeof sync.FrmSyncPat)),
        sync.FrmSyncPatRadix, binary64);
    const size_t first = binary64.find_first_not_of('0');
    return first == std::string::npos ? std::string() : binary64.substr(first);
  }

  // Every word has the common length (F1) unless a pair MFW1-k (its place
  // in the minor frame, counted from 1) and MFW2-k (its length), k = 1, 2,
  // ..., says otherwise.
  void CheckWordLengths() {
    const arkheaderstruct& h = header_;
    const std::string p = "P-1\\";
    const int32_t words = std::clamp<int32_t>(h.WordsPerMinorFrame, 0, kWordTableEntries);
    int64_t common = 0;
    const attributestruct* f1 = nullptr;
    const bool have_common = ReadWhole(p + "F1", common, &f1);
    if (have_common && common != h.CommonWordLength) {
      Differs(p + "F1", *f1, std::to_string(h.CommonWordLength));
    }
    std::vector<int64_t> lengths(static_cast<size_t>(words), common);
    std::vector<const attributestruct*> said_by(static_cast<size_t>(words), nullptr);
    std::vector<std::string> codes(static_cast<size_t>(words));
    for (int64_t k = 1;; ++k) {
      const std::string place_code = p + "MFW1-" + std::to_string(k);
      const std::string length_code = p + "MFW2-" + std::to_string(k);
      if (attributes_.find(place_code) == attributes_.end()) break;
      int64_t place = 0, length = 0;
      const attributestruct* place_attribute = nullptr;
      const attributestruct* length_attribute = nullptr;
      const bool place_read = ReadWhole(place_code, place, &place_attribute);
      if (!ReadWhole(length_code, length, &length_attribute) || !place_read) continue;
      if (place < 1 || place > words) {
        Note(place_attribute->offset, "TMATS attribute " + place_code + " is \"" +
                                          place_attribute->value + "\", not a word of the " +
                                          std::to_string(words) + "-word minor frame");
        continue;
      }
      lengths[static_cast<size_t>(place - 1)] = length;
      said_by[static_cast<size_t>(place - 1)] = length_attribute;
      codes[static_cast<size_t>(place - 1)] = length_code;
    }
    for (int32_t w = 0; w < words; ++w) {
      const int64_t expected = h.WordTable[w].iWdLen;
      const size_t i = static_cast<size_t>(w);
      if (lengths[i] == expected) continue;
      const std::string word = "word " + std::to_string(w + 1);
      const std::string wanted = ", expected \"" + std::to_string(expected) + "\"";
      if (said_by[i] != nullptr) {
        Note(said_by[i]->offset, "TMATS attribute " + codes[i] + " is \"" + said_by[i]->value +
                                     "\" for " + word + wanted);
      } else if (have_common) {
        Note(f1->offset, "TMATS attribute " + p + "F1 is \"" + f1->value + "\" for " + word +
                             " (no P-1\\MFW pair names it)" + wanted);
      }
    }
  }

  void CheckSubframeCounter() {
    const arkheaderstruct& h = header_;
    const std::string p = "P-1\\";
    const int32_t sfid_word = h.SfidWordNumber;
    const bool in_table = sfid_word >= 0 && sfid_word < kWordTableEntries;
    const int64_t end_count = h.SfidStartCount == 0 ? static_cast<int64_t>(h.NumMinorFrames) - 1
                                                    : static_cast<int64_t>(h.NumMinorFrames);
    ExpectText(p + "ISF1-1", "SFID1");
    ExpectText(p + "ISF2-1", "ID");
    ExpectWhole(p + "IDC1-1", sfid_word);
    ExpectWhole(p + "IDC2-1", in_table ? h.WordTable[sfid_word].iWdLen : h.CommonWordLength);
    ExpectWhole(p + "IDC3-1", h.SfidMsb);
    ExpectWhole(p + "IDC4-1", SignificantBits(static_cast<uint32_t>(end_count)));
    ExpectText(p + "IDC5-1", in_table && h.WordTable[sfid_word].bLSBF != 0 ? "L" : "M");
    ExpectWhole(p + "IDC6-1", h.SfidStartCount);
    ExpectText(p + "IDC7-1", "1");
    ExpectWhole(p + "IDC8-1", end_count);
    ExpectWhole(p + "IDC9-1", h.NumMinorFrames);
    ExpectText(p + "IDC10-1", "INC");
  }

  const arkheaderstruct& header_;
  const int64_t end_offset_;
  std::map<std::string, attributestruct> attributes_;
  std::string pcm_link_;
  bool has_pcm_channel_ = false;
  int64_t first_offset_ = -1;
  std::string first_text_;
};

}  // namespace

bool CheckTmatsText(const uint8_t* text, size_t size, int64_t text_offset,
                    const arkheaderstruct& header, int64_t& offset, std::string& difference) {
  tmatscheckerclass checker(text, size, text_offset, header);
  return checker.Check(offset, difference);
}
