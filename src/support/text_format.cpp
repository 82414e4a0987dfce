// Text and number formatting. Every function returns its own result; none
// throws, and none depends on the user's locale: the decimal separator is
// always ".".
#include "support/text_format.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

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

namespace {

// Fixed-point digits of a finite value with "." as the decimal point,
// whatever the process's locale (the window's toolkit sets the user's).
// Empty when the buffer is too small.
std::string FixedDigits(double value, int decimals) {
  char buf[512];
  const std::to_chars_result r =
      std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  if (r.ec != std::errc()) return std::string();
  return std::string(buf, r.ptr);
}

// Two-digit (at least) decimal field, zero-filled: "%02d" and "%03d".
void AppendZeroFilled(std::string& text, int32_t value, int width) {
  char buf[16];
  const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, value);
  const size_t n = static_cast<size_t>(r.ptr - buf);
  const bool negative = value < 0;
  if (negative) text.push_back('-');
  const size_t digits = n - (negative ? 1 : 0);
  const size_t room = static_cast<size_t>(width) - (negative ? 1 : 0);
  if (digits < room) text.append(room - digits, '0');
  text.append(buf + (negative ? 1 : 0), digits);
}

}  // namespace

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

std::string FormatDayTimeFields(int32_t day, int32_t hour, int32_t minute, double seconds,
                                int decimals) {
  std::string text;
  text.reserve(24);
  AppendZeroFilled(text, day, 3);
  text.push_back(':');
  AppendZeroFilled(text, hour, 2);
  text.push_back(':');
  AppendZeroFilled(text, minute, 2);
  text.push_back(':');
  // "%0N.Df": the seconds zero-filled to two integer digits.
  const std::string digits = FixedDigits(seconds, decimals);
  const size_t width = static_cast<size_t>(decimals) + 3;
  if (!digits.empty() && digits[0] != '-' && digits.size() < width) {
    text.append(width - digits.size(), '0');
  }
  text += digits;
  return text;
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

std::string PadLeft(int width, char fill, const std::string& text) {
  if (width <= 0) return std::string();
  size_t w = static_cast<size_t>(width);
  if (text.size() >= w) return text.substr(0, w);
  return std::string(w - text.size(), fill) + text;
}

std::string PadRight(int width, char fill, const std::string& text) {
  if (width <= 0) return std::string();
  size_t w = static_cast<size_t>(width);
  if (text.size() >= w) return text.substr(0, w);
  return text + std::string(w - text.size(), fill);
}

std::string RemoveChar(char c, const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (char t : text) {
    if (t != c) result.push_back(t);
  }
  return result;
}

std::string TrimLeadingChar(char c, const std::string& text) {
  size_t first = text.find_first_not_of(c);
  return first == std::string::npos ? std::string() : text.substr(first);
}

std::string TrimTrailingChar(std::string& text, char c) {
  size_t last = text.find_last_not_of(c);
  std::string trimmed = (last == std::string::npos) ? std::string() : text.substr(0, last + 1);
  if (trimmed.size() != text.size()) text = trimmed;
  return trimmed;
}

std::string ReplaceChar(std::string& text, char from, char to, bool trim) {
  std::string copy = text;
  if (trim) TrimTrailingChar(copy, from);
  for (char& c : copy) {
    if (c == from) c = to;
  }
  if (!copy.empty()) text = copy;
  return copy;
}

std::string TextBefore(const std::string& text, const std::string& search) {
  if (search.empty()) return std::string();
  size_t at = text.find(search);
  return at == std::string::npos ? std::string() : text.substr(0, at);
}

std::string TextAfter(const std::string& text, const std::string& search) {
  if (search.empty()) return std::string();
  size_t at = text.find(search);
  return at == std::string::npos ? std::string() : text.substr(at + search.size());
}

std::string YesNoText(bool flag) { return flag ? "YES" : "NO"; }

namespace {

// Seconds at or above the threshold become 0 of the next minute; a minute
// of 60 and an hour of 24 carry on.
void CarryIntoNextMinute(double threshold, int32_t& day, int32_t& hour, int32_t& minute,
                         double& seconds) {
  if (seconds >= threshold) {
    seconds = 0.0;
    ++minute;
  }
  if (minute >= 60) {
    minute = 0;
    ++hour;
  }
  if (hour >= 24) {
    hour = 0;
    ++day;
  }
}

}  // namespace

bool SplitDayTime(double value, int32_t& day, int32_t& hour, int32_t& minute, double& seconds) {
  if (!std::isfinite(value) || value < 0.0 || value > 31708800.0) {
    day = hour = minute = 0;
    seconds = 0.0;
    return false;
  }
  double d = std::floor(value / 86400.0);
  double r = value - d * 86400.0;
  double h = std::floor(r / 3600.0);
  r -= h * 3600.0;
  double m = std::floor(r / 60.0);
  seconds = r - m * 60.0;
  day = static_cast<int32_t>(d);
  hour = static_cast<int32_t>(h);
  minute = static_cast<int32_t>(m);
  CarryIntoNextMinute(60.0, day, hour, minute, seconds);
  return true;
}

namespace {

// Shared body of the two day-time texts: the seconds at or above the
// threshold carry into the next minute so the text never shows "60".
std::string FormatDayTime(double value, double threshold, int decimals, const char* failure) {
  int32_t day, hour, minute;
  double seconds;
  if (!SplitDayTime(value, day, hour, minute, seconds)) return failure;
  CarryIntoNextMinute(threshold, day, hour, minute, seconds);
  return FormatDayTimeFields(day, hour, minute, seconds, decimals);
}

}  // namespace

std::string FormatDayTimeMicro(double value) {
  return FormatDayTime(value, 59.999999, 6, "XXX:XX:XX:XX.XXXXXX");
}

std::string FormatDayTimeMilli(double value) {
  return FormatDayTime(value, 59.999, 3, "XXX:XX:XX:XX.XXX");
}

bool IsControlCharacter(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u < 0x20 || u == 0x7f;
}

size_t ControlCharacterEscape(char c, char* out) {
  out[0] = '\\';
  switch (c) {
    case '\n': out[1] = 'n'; return 2;
    case '\r': out[1] = 'r'; return 2;
    case '\t': out[1] = 't'; return 2;
    default: break;
  }
  static const char kHex[] = "0123456789abcdef";
  const unsigned char u = static_cast<unsigned char>(c);
  out[1] = 'x';
  out[2] = kHex[u >> 4];
  out[3] = kHex[u & 0x0f];
  return 4;
}

std::string EscapeControlCharacters(const std::string& text) {
  if (std::none_of(text.begin(), text.end(), IsControlCharacter)) return text;
  std::string escaped;
  escaped.reserve(text.size() + 8);
  char buffer[4];
  for (char c : text) {
    if (IsControlCharacter(c)) {
      escaped.append(buffer, ControlCharacterEscape(c, buffer));
    } else {
      escaped += c;
    }
  }
  return escaped;
}

std::string OneLineQuoted(const std::string& text) {
  if (std::none_of(text.begin(), text.end(), IsControlCharacter)) return text;
  std::string quoted(1, '"');
  char buffer[4];
  for (char c : text) {
    if (IsControlCharacter(c)) {
      quoted.append(buffer, ControlCharacterEscape(c, buffer));
    } else {
      if (c == '\\' || c == '"') quoted += '\\';
      quoted += c;
    }
  }
  quoted += '"';
  return quoted;
}
