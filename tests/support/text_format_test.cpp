#include "support/text_format.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

TEST(FormatFixedNumber, CutsToWidthAndNeverPads) {
  EXPECT_EQ(FormatFixedNumber(12, 0, 1000000.0), "1000000");
  EXPECT_EQ(FormatFixedNumber(2, 0, 7), "7");
  EXPECT_EQ(FormatFixedNumber(4, 0, 12345), "1234");
  EXPECT_EQ(FormatFixedNumber(4, 0, 123456), "1234");
  EXPECT_EQ(FormatFixedNumber(4, 0, -12345), "-123");
  EXPECT_EQ(FormatFixedNumber(4, 3, 12.345), "12.3");
  EXPECT_EQ(FormatFixedNumber(20, 3, 12.3456), "12.346");
  EXPECT_EQ(FormatFixedNumber(20, 2, -0.5), "-0.50");
  EXPECT_EQ(FormatFixedNumber(16, 0, -2147483648.0), "-2147483648");
  EXPECT_EQ(FormatFixedNumber(0, 0, 5), "");
}

TEST(FormatFixedNumber, NonFiniteGivesNanAndHugeUsesExponent) {
  EXPECT_EQ(FormatFixedNumber(10, 2, std::nan("")), "Nan");
  EXPECT_EQ(FormatFixedNumber(10, 2, std::numeric_limits<double>::infinity()), "Nan");
  EXPECT_EQ(FormatFixedNumber(30, 0, 123456789012345678.0).find('E'), std::string::npos);
  std::string huge = FormatFixedNumber(40, 0, 1e19);
  EXPECT_NE(huge.find('E'), std::string::npos) << huge;
  EXPECT_EQ(huge.substr(0, 2), "1.");
  // A value that rounds to zero carries no sign.
  EXPECT_EQ(FormatFixedNumber(10, 0, -0.4), "0");
}

TEST(FormatHexAndOctal, ZeroFillCutAndPrefix) {
  EXPECT_EQ(FormatHexNumber(0x12345, 4, false), "1234");
  EXPECT_EQ(FormatHexNumber(255, 0, true), "0x");
  EXPECT_EQ(FormatHexNumber(255, 4, true), "0x00FF");
  EXPECT_EQ(FormatHexNumber(-1, 8, false), "FFFFFFFF");
  EXPECT_EQ(FormatHexNumber(0xABC, 6, false), "000ABC");
  EXPECT_EQ(FormatHexNumber(1, 1 << 24, false), "INVALID");
  EXPECT_EQ(FormatOctalNumber(8, 3, true), "o010");
  EXPECT_EQ(FormatOctalNumber(8, 1, false), "1");
  EXPECT_EQ(FormatOctalNumber(-1, 11, false), "37777777777");
}

TEST(FormatBinary, DigitTableAndWidths) {
  EXPECT_EQ(HexDigitToBinary('a'), "0000");
  EXPECT_EQ(HexDigitToBinary('A'), "1010");
  EXPECT_EQ(HexDigitToBinary('7'), "0111");
  EXPECT_EQ(HexDigitToBinary('G'), "0000");
  EXPECT_EQ(FormatBinaryNumber(5, 6), "000101");
  EXPECT_EQ(FormatBinaryNumber(0, 8), "00000000");
  EXPECT_EQ(FormatBinaryNumber(255, 6), "111111");
  EXPECT_EQ(FormatBinaryNumber(0xFAF320, 24), "111110101111001100100000");
  EXPECT_EQ(FormatBinaryNumber(static_cast<int32_t>(0x80000001u), 32),
            "10000000000000000000000000000001");
  EXPECT_EQ(FormatBinaryNumber(1, 32), "00000000000000000000000000000001");
}

TEST(ParseDecimalInt, StoresWhatWasReadAndFlagsTheRest) {
  int32_t v = -5;
  EXPECT_TRUE(ParseDecimalInt("", v));
  EXPECT_EQ(v, 0);
  EXPECT_TRUE(ParseDecimalInt("99999999999", v));
  EXPECT_EQ(v, 2147483647);
  EXPECT_TRUE(ParseDecimalInt("-99999999999", v));
  EXPECT_EQ(v, -2147483647 - 1);
  EXPECT_FALSE(ParseDecimalInt("7 ", v));
  EXPECT_EQ(v, 7);
  EXPECT_TRUE(ParseDecimalInt(" 12", v));
  EXPECT_EQ(v, 12);
  EXPECT_TRUE(ParseDecimalInt("+12", v));
  EXPECT_EQ(v, 12);
  EXPECT_FALSE(ParseDecimalInt("12a", v));
  EXPECT_EQ(v, 12);
  EXPECT_FALSE(ParseDecimalInt("XXX", v));
  EXPECT_EQ(v, 0);
}

TEST(ParseUnsignedRadix, RadixesAndOutOfRange) {
  uint32_t v = 1;
  EXPECT_TRUE(ParseUnsignedRadix("ff", v, 16));
  EXPECT_EQ(v, 255u);
  EXPECT_TRUE(ParseUnsignedRadix("1011", v, 2));
  EXPECT_EQ(v, 11u);
  EXPECT_TRUE(ParseUnsignedRadix("123456789012", v, 10));
  EXPECT_EQ(v, 4294967295u);
  EXPECT_FALSE(ParseUnsignedRadix("12g", v, 16));
  EXPECT_EQ(v, 0x12u);
  EXPECT_FALSE(ParseUnsignedRadix("5", v, 99));
  EXPECT_EQ(v, 0u);
}

TEST(ParseInt64Radix, HalvesAndRadixes) {
  int64_t v = 0;
  EXPECT_TRUE(ParseInt64Radix("FFFFFFFF00000001", v, 16));
  EXPECT_EQ(static_cast<uint64_t>(v) >> 32, 4294967295u);
  EXPECT_EQ(static_cast<uint64_t>(v) & 0xFFFFFFFFu, 1u);
  EXPECT_TRUE(ParseInt64Radix("1F", v, 16));
  EXPECT_EQ(v, 31);
  EXPECT_FALSE(ParseInt64Radix("XYZ", v, 16));
  EXPECT_TRUE(ParseInt64Radix("777777777777", v, 8));
  EXPECT_EQ(v, 68719476735);
  EXPECT_FALSE(ParseInt64Radix("789", v, 8));
  EXPECT_TRUE(ParseInt64Radix(std::string(33, '1'), v, 2));
  EXPECT_EQ(v, (int64_t{1} << 33) - 1);
  EXPECT_TRUE(ParseInt64Radix("-1234567890123", v, 10));
  EXPECT_EQ(v, -1234567890123);
  EXPECT_TRUE(ParseInt64Radix("garbage", v, 10));
  EXPECT_EQ(v, 0);
  v = 42;
  EXPECT_FALSE(ParseInt64Radix("10", v, 7));
  EXPECT_EQ(v, 42);
}

TEST(ParseFloatText, WholeTextAndPointOnly) {
  double v = 9;
  EXPECT_TRUE(ParseFloatText("12.5", v));
  EXPECT_DOUBLE_EQ(v, 12.5);
  EXPECT_TRUE(ParseFloatText(" -1e3", v));
  EXPECT_DOUBLE_EQ(v, -1000.0);
  EXPECT_TRUE(ParseFloatText("+0.25", v));
  EXPECT_DOUBLE_EQ(v, 0.25);
  EXPECT_FALSE(ParseFloatText("12,5", v));
  EXPECT_DOUBLE_EQ(v, 12.0);
  EXPECT_FALSE(ParseFloatText("abc", v));
  EXPECT_DOUBLE_EQ(v, 0.0);
  EXPECT_TRUE(ParseFloatText("1e999", v));
  EXPECT_TRUE(std::isinf(v));
  EXPECT_TRUE(ParseFloatText("1e-999", v));
  EXPECT_EQ(v, 0.0);
}

TEST(PaddingAndTrimming, CutsPadsAndWritesBack) {
  EXPECT_EQ(PadLeft(5, '0', "12"), "00012");
  EXPECT_EQ(PadLeft(2, '0', "12345"), "12");
  EXPECT_EQ(PadLeft(3, '0', "abc"), "abc");
  EXPECT_EQ(PadRight(5, '.', "ab"), "ab...");
  EXPECT_EQ(PadRight(1, '.', "ab"), "a");
  EXPECT_EQ(RemoveChar(' ', " a b "), "ab");
  EXPECT_EQ(RemoveChar(' ', ""), "");
  EXPECT_EQ(TrimLeadingChar('0', "00120"), "120");
  EXPECT_EQ(TrimLeadingChar('0', "000"), "");

  std::string text = "1.500";
  EXPECT_EQ(TrimTrailingChar(text, '0'), "1.5");
  EXPECT_EQ(text, "1.5");
  std::string all = "xxx";
  EXPECT_EQ(TrimTrailingChar(all, 'x'), "");
  EXPECT_EQ(all, "");

  std::string path = "a_b_c__";
  EXPECT_EQ(ReplaceChar(path, '_', ' ', true), "a b c");
  EXPECT_EQ(path, "a b c");
  std::string keep = "a_b_";
  EXPECT_EQ(ReplaceChar(keep, '_', '-', false), "a-b-");
  EXPECT_EQ(keep, "a-b-");
  std::string only = "___";
  EXPECT_EQ(ReplaceChar(only, '_', '-', true), "");
  EXPECT_EQ(only, "___");  // an empty result is not written back
}

TEST(SearchingTexts, BeforeAfterAndYesNo) {
  EXPECT_EQ(TextAfter("abc=def", "="), "def");
  EXPECT_EQ(TextBefore("abc=def", "="), "abc");
  EXPECT_EQ(TextBefore("abc", "="), "");
  EXPECT_EQ(TextAfter("abc", "="), "");
  EXPECT_EQ(TextAfter("a=b=c", "="), "b=c");
  EXPECT_EQ(TextAfter("key::value", "::"), "value");
  EXPECT_EQ(YesNoText(true), "YES");
  EXPECT_EQ(YesNoText(false), "NO");
}

TEST(SplitDayTime, RangeAndFields) {
  int32_t d = 9, h = 9, m = 9;
  double s = 9;
  EXPECT_TRUE(SplitDayTime(86400 * 2 + 3661.5, d, h, m, s));
  EXPECT_EQ(d, 2);
  EXPECT_EQ(h, 1);
  EXPECT_EQ(m, 1);
  EXPECT_DOUBLE_EQ(s, 1.5);
  EXPECT_TRUE(SplitDayTime(31708800, d, h, m, s));
  EXPECT_EQ(d, 367);
  EXPECT_EQ(h, 0);
  EXPECT_FALSE(SplitDayTime(31708800.001, d, h, m, s));
  EXPECT_EQ(d, 0);
  EXPECT_EQ(s, 0.0);
  d = 5;
  EXPECT_FALSE(SplitDayTime(-0.001, d, h, m, s));
  EXPECT_EQ(d, 0);
  EXPECT_FALSE(SplitDayTime(std::nan(""), d, h, m, s));
}

TEST(DayTimeTexts, CarriesAndFailureTexts) {
  EXPECT_EQ(FormatDayTimeMilli(86400 + 86399.9995), "002:00:00:00.000");
  EXPECT_EQ(FormatDayTimeMicro(86400 + 59.9999995), "001:00:01:00.000000");
  EXPECT_EQ(FormatDayTimeMicro(123 * 86400.0 + 4 * 3600 + 5 * 60 + 6.5), "123:04:05:06.500000");
  EXPECT_EQ(FormatDayTimeMilli(123 * 86400.0 + 4 * 3600 + 5 * 60 + 6.5), "123:04:05:06.500");
  EXPECT_EQ(FormatDayTimeMilli(86400 + 59.9996), "001:00:01:00.000");
  EXPECT_EQ(FormatDayTimeMilli(-1), "XXX:XX:XX:XX.XXX");
  EXPECT_EQ(FormatDayTimeMicro(4e7), "XXX:XX:XX:XX.XXXXXX");
  EXPECT_EQ(FormatDayTimeMicro(std::nan("")), "XXX:XX:XX:XX.XXXXXX");
}

TEST(OneLineTexts, ControlCharactersAreEscapedAndPathsWithThemQuoted) {
  struct Case {
    std::string text;
    std::string escaped;  // EscapeControlCharacters
    std::string quoted;   // OneLineQuoted
  };
  const Case cases[] = {
      // Without a control character both leave the text exactly as it is.
      {"/data/T12.Ark", "/data/T12.Ark", "/data/T12.Ark"},
      {"C:\\Data\\\"x\".Ark", "C:\\Data\\\"x\".Ark", "C:\\Data\\\"x\".Ark"},
      {"/daten/Flug \xc3\xa4.Ark", "/daten/Flug \xc3\xa4.Ark", "/daten/Flug \xc3\xa4.Ark"},
      {"", "", ""},
      {"a\nb", "a\\nb", "\"a\\nb\""},
      {"\r\t", "\\r\\t", "\"\\r\\t\""},
      {std::string("nul\0end", 7), "nul\\x00end", "\"nul\\x00end\""},
      {"\x01\x1f\x7f", "\\x01\\x1f\\x7f", "\"\\x01\\x1f\\x7f\""},
      {"\x1b[2J", "\\x1b[2J", "\"\\x1b[2J\""},
      // Once quoted, backslashes and quotes are escaped too.
      {"dir\\\"n\"\n", "dir\\\"n\"\\n", "\"dir\\\\\\\"n\\\"\\n\""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EscapeControlCharacters(c.text), c.escaped) << c.escaped;
    EXPECT_EQ(OneLineQuoted(c.text), c.quoted) << c.escaped;
  }
  for (int c = 0; c < 256; ++c) {
    const std::string one(1, static_cast<char>(c));
    const bool control = c < 0x20 || c == 0x7f;
    EXPECT_EQ(IsControlCharacter(static_cast<char>(c)), control) << c;
    // Whatever goes in, nothing that ends or rewrites a line comes out.
    for (const std::string& out : {EscapeControlCharacters(one), OneLineQuoted(one)}) {
      for (char k : out) EXPECT_FALSE(IsControlCharacter(k)) << c;
    }
  }
}

// Under a locale whose decimal separator is a comma (the window's toolkit
// sets the user's), every number text keeps the "." and equals what
// printf writes under the C locale, for random values of every size.
TEST(NumberTexts, SameUnderACommaLocaleAsPrintfUnderC) {
  struct Sample {
    double value;
    int decimals;
    std::string fixed, c_printf;
  };
  std::mt19937_64 random(18);
  std::vector<Sample> samples;
  for (int k = 0; k < 4000; ++k) {
    const double magnitude = std::pow(10.0, static_cast<double>(random() % 40) - 20.0);
    const double value = (static_cast<double>(random() % 2000001) - 1000000.0) / 1000000.0 * magnitude;
    const int decimals = static_cast<int>(random() % 10);
    char buf[512];
    if (std::fabs(value) >= 1e18) {
      std::snprintf(buf, sizeof buf, "%.17E", value);
    } else {
      std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    }
    std::string expected = buf;
    if (expected[0] == '-' && expected.find_first_not_of("-0.") == std::string::npos) expected.erase(0, 1);
    samples.push_back({value, decimals, "", expected});
  }
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous ? previous : "C";
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
    GTEST_SKIP() << "no de_DE.UTF-8 locale (scripts/setup.sh generates it)";
  }
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 0.5);
  ASSERT_STREQ(probe, "0,5");  // the locale is in force
  for (Sample& s : samples) s.fixed = FormatFixedNumber(64, s.decimals, s.value);
  const std::string micro = FormatDayTimeMicro(123 * 86400.0 + 12 * 3600 + 34 * 60 + 56.0);
  const std::string milli = FormatDayTimeMilli(343 * 86400.0 + 2 * 3600 + 20 * 60 + 7.122286);
  const std::string rate = FormatGeneralNumber(1000.0 / 3.0, 6);
  std::setlocale(LC_NUMERIC, saved.c_str());

  for (const Sample& s : samples) {
    ASSERT_EQ(s.fixed, s.c_printf) << s.value << " with " << s.decimals << " decimals";
  }
  EXPECT_EQ(micro, "123:12:34:56.000000");
  EXPECT_EQ(milli, "343:02:20:07.122");
  EXPECT_EQ(rate, "333.333");
  EXPECT_EQ(FormatGeneralNumber(1e9, 6), "1e+09");
  EXPECT_EQ(FormatGeneralNumber(1000.0, 6), "1000");
}
