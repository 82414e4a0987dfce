// Number texts and number parsing, in the C locale's forms whatever the
// process's locale: the decimal point is always ".".
#include "support/number_text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "support/text_edit.h"

namespace {

// Zero-filled field widths beyond this are treated as a formatting failure
// rather than building a huge text.
constexpr int kMaxFieldWidth = 1 << 20;

bool IsAsciiSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Digits of an unsigned value in the given radix (8 or 16), lower case.
std::string UnsignedDigits(uint32_t value, unsigned radix) {
  static const char kDigits[] = "0123456789abcdef";
  char buf[16];
  int n = 0;
  do {
    buf[n++] = kDigits[value % radix];
    value /= radix;
  } while (value != 0);
  std::string text;
  text.reserve(static_cast<size_t>(n));
  while (n > 0) text.push_back(buf[--n]);
  return text;
}

// "%0*x" / "%0*o" followed by PadLeft to width: zero-filled to at least
// width digits, then cut to the first width characters.
std::string ZeroFilledRadix(int32_t value, int width, unsigned radix, bool* ok) {
  *ok = true;
  if (width > kMaxFieldWidth) {
    *ok = false;
    return std::string();
  }
  std::string digits = UnsignedDigits(static_cast<uint32_t>(value), radix);
  if (width > 0 && digits.size() < static_cast<size_t>(width)) {
    digits.insert(0, static_cast<size_t>(width) - digits.size(), '0');
  }
  return PadLeft(width, '0', digits);
}

// Decimal exponent estimate of a matched floating-point text: tells an
// overflow from an underflow when the value is out of the double range.
bool LooksLikeOverflow(const char* begin, const char* end) {
  const char* p = begin;
  if (p < end && (*p == '-' || *p == '+')) ++p;
  long position = 0;  // power of ten of the first significant digit
  bool seen_point = false;
  bool seen_digit = false;
  long int_digits = 0;
  long leading_fraction_zeros = 0;
  for (; p < end; ++p) {
    if (*p == '.') {
      seen_point = true;
    } else if (*p >= '0' && *p <= '9') {
      if (!seen_point) {
        if (*p != '0' || seen_digit) {
          seen_digit = true;
          ++int_digits;
        }
      } else if (!seen_digit) {
        if (*p == '0') {
          ++leading_fraction_zeros;
        } else {
          seen_digit = true;
        }
      }
    } else {
      break;
    }
  }
  position = int_digits > 0 ? int_digits : -leading_fraction_zeros;
  if (p < end && (*p == 'e' || *p == 'E')) {
    // strtol saturates a huge exponent at LONG_MAX; bounded here so that
    // adding the digit position cannot overflow (the sign is all that counts).
    long exponent = std::clamp(std::strtol(p + 1, nullptr, 10), -1000000000L, 1000000000L);
    position += exponent;
  }
  return position > 0;
}

}  // namespace

std::string FixedDigits(double value, int decimals) {
  char buf[512];
  const std::to_chars_result r =
      std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  if (r.ec != std::errc()) return std::string();
  return std::string(buf, r.ptr);
}

std::string FormatFixedNumber(int width, int decimals, double value) {
  if (!std::isfinite(value)) return "Nan";
  if (decimals < 0) decimals = 0;
  if (decimals > 18) decimals = 18;
  std::string text;
  if (std::fabs(value) >= 1e18) {
    // More than 18 integer digits: exponent notation with 18 significant
    // digits, as "%.17E" writes it.
    char buf[64];
    const std::to_chars_result r =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 17);
    if (r.ec != std::errc()) return "Nan";
    text.assign(buf, r.ptr);
    for (char& c : text) {
      if (c == 'e') c = 'E';
    }
  } else {
    text = FixedDigits(value, decimals);
  }
  if (text.empty()) return "Nan";
  // A negative value that rounds to zero prints without its sign.
  if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
  if (width < 0) width = 0;
  if (text.size() > static_cast<size_t>(width)) text.resize(static_cast<size_t>(width));
  return text;
}

std::string FormatGeneralNumber(double value, int significant) {
  if (!std::isfinite(value)) return "Nan";
  if (significant < 1) significant = 1;
  if (significant > 17) significant = 17;
  char buf[64];
  const std::to_chars_result r =
      std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, significant);
  if (r.ec != std::errc()) return "Nan";
  return std::string(buf, r.ptr);
}
std::string FormatHexNumber(int32_t value, int width, bool with_prefix) {
  bool ok;
  std::string text = ZeroFilledRadix(value, width, 16, &ok);
  if (!ok) text = "INVALID";
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return with_prefix ? "0x" + text : text;
}

std::string FormatOctalNumber(int32_t value, int width, bool with_prefix) {
  bool ok;
  std::string text = ZeroFilledRadix(value, width, 8, &ok);
  if (!ok) text = "INVALID";
  return with_prefix ? "o" + text : text;
}

std::string HexDigitToBinary(char digit) {
  // Upper-case digits only; anything else reads as zero.
  static const char* const kTable[16] = {"0000", "0001", "0010", "0011", "0100", "0101",
                                         "0110", "0111", "1000", "1001", "1010", "1011",
                                         "1100", "1101", "1110", "1111"};
  if (digit >= '0' && digit <= '9') return kTable[digit - '0'];
  if (digit >= 'A' && digit <= 'F') return kTable[digit - 'A' + 10];
  return "0000";
}

std::string FormatBinaryNumber(int32_t value, int width) {
  if (width <= 0) return std::string();
  int digit_count = width / 4 + (width % 4 != 0 ? 1 : 0);
  std::string hex = FormatHexNumber(value, digit_count, false);
  std::string bits;
  bits.reserve(hex.size() * 4);
  for (char c : hex) bits += HexDigitToBinary(c);
  if (bits.size() > static_cast<size_t>(width)) {
    bits = TrimLeadingChar('0', bits);
    if (bits.size() > static_cast<size_t>(width)) bits.resize(static_cast<size_t>(width));
  }
  if (bits.size() < static_cast<size_t>(width)) bits = PadLeft(width, '0', bits);
  return bits;
}

bool ParseDecimalInt(const std::string& text, int32_t& value) {
  const char* start = text.c_str();
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(start, &end, 10);
  if (v > std::numeric_limits<int32_t>::max()) v = std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) v = std::numeric_limits<int32_t>::min();
  value = static_cast<int32_t>(v);
  return end == start + text.size();
}

bool ParseUnsignedRadix(const std::string& text, uint32_t& value, int radix) {
  if (radix != 0 && (radix < 2 || radix > 36)) {
    value = 0;
    return false;
  }
  const char* start = text.c_str();
  const char* p = start;
  while (*p != '\0' && IsAsciiSpace(*p)) ++p;
  bool negative = (*p == '-');
  char* end = nullptr;
  errno = 0;
  unsigned long long raw = std::strtoull(start, &end, radix);
  bool overflow = (errno == ERANGE);
  // The magnitude read, as a 32-bit unsigned conversion sees it: a value
  // beyond 32 bits reads as the largest one, a negated one wraps.
  unsigned long long magnitude = negative ? (0ULL - raw) : raw;
  uint32_t result;
  if (overflow || magnitude > 0xFFFFFFFFULL) {
    result = 0xFFFFFFFFu;
  } else {
    result = static_cast<uint32_t>(magnitude);
    if (negative) result = static_cast<uint32_t>(0u - result);
  }
  value = result;
  return end == start + text.size();
}

bool ParseInt64Radix(const std::string& text, int64_t& value, int radix) {
  switch (radix) {
    case 16:
    case 2: {
      int half = (radix == 16) ? 8 : 32;
      std::string padded = PadLeft(2 * half, '0', text);
      uint32_t high = 0;
      uint32_t low = 0;
      bool ok_high = ParseUnsignedRadix(padded.substr(0, static_cast<size_t>(half)), high, radix);
      bool ok_low = ParseUnsignedRadix(padded.substr(static_cast<size_t>(half)), low, radix);
      value = static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | low);
      return ok_high && ok_low;
    }
    case 8: {
      std::string padded = PadLeft(22, '0', text);
      uint64_t parts[2] = {0, 0};
      bool ok = true;
      for (int i = 0; i < 2; ++i) {
        for (int k = 0; k < 11; ++k) {
          char c = padded[static_cast<size_t>(i * 11 + k)];
          if (c < '0' || c > '7') {
            ok = false;
            break;
          }
          parts[i] = parts[i] * 8 + static_cast<uint64_t>(c - '0');
        }
      }
      value = static_cast<int64_t>((parts[0] << 33) + parts[1]);
      return ok;
    }
    case 10: {
      errno = 0;
      value = static_cast<int64_t>(std::strtoll(text.c_str(), nullptr, 10));
      return true;
    }
    default:
      return false;
  }
}

bool ParseFloatText(const std::string& text, double& value) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  const char* p = begin;
  while (p < end && IsAsciiSpace(*p)) ++p;
  if (p == end) {
    // Nothing to read: the value is 0 and the reading stopped at the start.
    value = 0.0;
    return text.empty();
  }
  const char* number = p;
  if (*p == '+' && p + 1 < end && p[1] != '-' && p[1] != '+') ++p;
  double v = 0.0;
  std::from_chars_result r = std::from_chars(p, end, v, std::chars_format::general);
  if (r.ec == std::errc::invalid_argument) {
    value = 0.0;
    return false;
  }
  if (r.ec == std::errc::result_out_of_range) {
    bool negative = (*number == '-');
    if (LooksLikeOverflow(number, r.ptr)) {
      v = negative ? -HUGE_VAL : HUGE_VAL;
    } else {
      v = negative ? -0.0 : 0.0;
    }
  }
  value = v;
  return r.ptr == end;
}
