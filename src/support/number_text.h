// Number texts: fixed, general, hexadecimal, octal and binary; and the
// parsers of decimal, radix and floating-point texts. The decimal point is
// always ".", whatever the process's locale: these texts go into files that
// scripts read. No function throws: each returns a success flag or a fixed
// failure text ("Nan", "INVALID").
#pragma once

#include <cstdint>
#include <string>

// Fixed-point text with `decimals` digits after the point, cut to its first
// `width` characters; never padded. "Nan" when it cannot be formatted.
std::string FormatFixedNumber(int width, int decimals, double value);
// "%.*g": the shortest of fixed and exponent notation with `significant`
// digits (1000, 333.333, 1e+09). "Nan" when not finite.
std::string FormatGeneralNumber(double value, int significant);
// Fixed-point digits of a finite value, `decimals` after the point, never
// cut or padded. Empty when the value needs more than 511 characters.
std::string FixedDigits(double value, int decimals);
std::string FormatHexNumber(int32_t value, int width, bool with_prefix);
std::string FormatOctalNumber(int32_t value, int width, bool with_prefix);
std::string HexDigitToBinary(char digit);
std::string FormatBinaryNumber(int32_t value, int width);

bool ParseDecimalInt(const std::string& text, int32_t& value);
bool ParseUnsignedRadix(const std::string& text, uint32_t& value, int radix);
bool ParseInt64Radix(const std::string& text, int64_t& value, int radix);
bool ParseFloatText(const std::string& text, double& value);
