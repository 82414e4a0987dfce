// Frame sync pattern texts: the recommended default pattern for a length,
// and a pattern text turned into 64 binary digits with don't-care bits.
#include <cctype>
#include <cstdio>

#include "archive/decom_setup.h"
#include "support/text_format.h"

namespace {

// Recommended frame synchronization patterns for 7 to 32 bits.
constexpr uint32_t kDefaultSyncPatterns[] = {
    0x58,       0xB8,       0x170,      0x370,      0x5B8,      0xB60,      0x1D60,
    0x39A0,     0x7650,     0xEB90,     0x1E6A0,    0x3CD40,    0x7CCA0,    0xEDE20,
    0x1DD2C0,   0x3CDA80,   0x7AE680,   0xFAF320,   0x1F2DC40,  0x3E9AC40,  0x7D69980,
    0xF5E5980,  0x1EBCCD00, 0x3EBCCD00, 0x7F37D420, 0xFE6B2840,
};
constexpr int32_t kShortestDefaultPattern = 7;
constexpr int32_t kLongestDefaultPattern = 32;

}  // namespace

bool DefaultSyncPatternText(int32_t length_bits, int32_t radix_code, std::string& text) {
  if (length_bits < kShortestDefaultPattern || length_bits > kLongestDefaultPattern) return false;
  char digits[16];
  std::snprintf(digits, sizeof digits, "%08X",
                static_cast<unsigned>(kDefaultSyncPatterns[length_bits - kShortestDefaultPattern]));
  text = digits;
  if (radix_code == 2) text = TrimLeadingChar('0', text);
  return true;
}

bool SyncPatternToBinary(const std::string& text, int32_t radix_code, std::string& binary64) {
  int digit_count;
  int bits_per_digit;
  int radix;
  switch (radix_code) {
    case 0: digit_count = 64; bits_per_digit = 1; radix = 2; break;
    case 1: digit_count = 18; bits_per_digit = 3; radix = 8; break;
    case 2: digit_count = 16; bits_per_digit = 4; radix = 16; break;
    default:
      binary64.assign(64, '0');
      return false;
  }

  std::string pattern = RemoveChar(' ', text);
  for (const char* marker : {"0x", "0X", "$", "o", "O"}) {
    std::string rest = TextAfter(pattern, marker);
    if (!rest.empty()) pattern = rest;
  }
  for (char& c : pattern) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  pattern = PadLeft(digit_count, '0', pattern);

  // Each "X" digit reads as 0 and marks its own digit's bits as don't-care.
  // The digits are right-aligned in the 64-bit value, so digit i covers the
  // bits from (64 - digit_count * bits_per_digit) + i * bits_per_digit on,
  // counted from the left; for binary and hexadecimal that offset is 0, for
  // the 18 octal digits (54 bits) it is 10.
  bool dont_care[64] = {};
  const int first_bit = 64 - digit_count * bits_per_digit;
  for (int i = 0; i < digit_count; ++i) {
    if (pattern[i] != 'X') continue;
    pattern[i] = '0';
    for (int b = 0; b < bits_per_digit; ++b) dont_care[first_bit + i * bits_per_digit + b] = true;
  }

  int64_t value = 0;
  bool ok = ParseInt64Radix(pattern, value, radix);
  uint64_t bits = static_cast<uint64_t>(value);
  binary64 = FormatBinaryNumber(static_cast<int32_t>(static_cast<uint32_t>(bits >> 32)), 32) +
             FormatBinaryNumber(static_cast<int32_t>(static_cast<uint32_t>(bits)), 32);
  if (binary64.size() == 64)
    for (int i = 0; i < 64; ++i)
      if (dont_care[i]) binary64[i] = 'X';
  return ok;
}
