// Text and number formatting: fixed, hexadecimal, octal and binary number
// texts, day-of-year time texts, padding, trimming, searching and parsing.
// The decimal point is always ".", whatever the process's locale: these
// texts go into files that scripts read. No function throws: each returns a success flag or a fixed failure text
// ("Nan", "INVALID", "XXX:XX:XX:XX.XXX", "XXX:XX:XX:XX.XXXXXX").
#pragma once

#include <cstdint>
#include <string>

// Fixed-point text with `decimals` digits after the point, cut to its first
// `width` characters; never padded. "Nan" when it cannot be formatted.
std::string FormatFixedNumber(int width, int decimals, double value);
// "%.*g": the shortest of fixed and exponent notation with `significant`
// digits (1000, 333.333, 1e+09). "Nan" when not finite.
std::string FormatGeneralNumber(double value, int significant);
// "%03d:%02d:%02d:%0N.Df" of the given fields, no carry applied.
std::string FormatDayTimeFields(int32_t day, int32_t hour, int32_t minute, double seconds,
                                int decimals);
std::string FormatHexNumber(int32_t value, int width, bool with_prefix);
std::string FormatOctalNumber(int32_t value, int width, bool with_prefix);
std::string HexDigitToBinary(char digit);
std::string FormatBinaryNumber(int32_t value, int width);

bool ParseDecimalInt(const std::string& text, int32_t& value);
bool ParseUnsignedRadix(const std::string& text, uint32_t& value, int radix);
bool ParseInt64Radix(const std::string& text, int64_t& value, int radix);
bool ParseFloatText(const std::string& text, double& value);

std::string PadLeft(int width, char fill, const std::string& text);
std::string PadRight(int width, char fill, const std::string& text);
std::string RemoveChar(char c, const std::string& text);
std::string TrimLeadingChar(char c, const std::string& text);
std::string TrimTrailingChar(std::string& text, char c);
std::string ReplaceChar(std::string& text, char from, char to, bool trim);
std::string TextBefore(const std::string& text, const std::string& search);
std::string TextAfter(const std::string& text, const std::string& search);
std::string YesNoText(bool flag);

// Splits day-of-year seconds (0 to 31,708,800) into day, hour, minute and
// seconds. False, with all outputs 0, outside that range or when not finite.
bool SplitDayTime(double value, int32_t& day, int32_t& hour, int32_t& minute, double& seconds);
std::string FormatDayTimeMicro(double value);  // DDD:HH:MM:SS.ssssss
std::string FormatDayTimeMilli(double value);  // DDD:HH:MM:SS.sss

// Texts that must stay on one line (log lines, command-line messages).
// True for the bytes that would break a line or a terminal: the C0 controls
// and DEL. Bytes of 0x80 and above (UTF-8) are text.
bool IsControlCharacter(char c);
// The C escape of a control character ("\n", "\r", "\t", else "\xNN" in
// lower-case hex) written to `out`, which has room for 4; returns its length.
size_t ControlCharacterEscape(char c, char* out);
// The text with every control character C-escaped, all else unchanged.
std::string EscapeControlCharacters(const std::string& text);
// A path (or other text) for a one-line message: unchanged when it holds no
// control character, else a double-quoted C string (with \\ and \" escaped
// as well, and \xNN always two digits, so the quoting can be undone).
std::string OneLineQuoted(const std::string& text);
