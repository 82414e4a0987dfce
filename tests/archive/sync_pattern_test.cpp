// Frame sync pattern texts: the default pattern for each length, and the
// conversion of a pattern text to 64 binary digits with don't-care bits.
#include <gtest/gtest.h>

#include <string>

#include "archive/decom_setup.h"

namespace {

std::string Bits(uint64_t value, int count) {
  std::string text;
  for (int i = count - 1; i >= 0; --i) text += ((value >> i) & 1) ? '1' : '0';
  return text;
}

std::string Binary(const std::string& text, int32_t radix_code, bool* ok = nullptr) {
  std::string out = "unchanged";
  bool result = SyncPatternToBinary(text, radix_code, out);
  if (ok) *ok = result;
  return out;
}

TEST(DefaultSyncPatternTest, GivesTheRecommendedPatternForSevenToThirtyTwoBits) {
  const char* expected[] = {"58",      "B8",      "170",     "370",      "5B8",      "B60",
                            "1D60",    "39A0",    "7650",    "EB90",     "1E6A0",    "3CD40",
                            "7CCA0",   "EDE20",   "1DD2C0",  "3CDA80",   "7AE680",   "FAF320",
                            "1F2DC40", "3E9AC40", "7D69980", "F5E5980",  "1EBCCD00", "3EBCCD00",
                            "7F37D420", "FE6B2840"};
  for (int32_t bits = 7; bits <= 32; ++bits) {
    std::string text;
    ASSERT_TRUE(DefaultSyncPatternText(bits, 2, text)) << bits;
    EXPECT_EQ(text, expected[bits - 7]) << bits;
    // Every pattern starts with a one bit at the top of its length.
    uint64_t value = std::stoull(text, nullptr, 16);
    EXPECT_EQ(value >> (bits - 1), 1u) << bits;
  }
}

TEST(DefaultSyncPatternTest, LengthsWithoutADefaultLeaveTheTextAlone) {
  for (int32_t bits : {-1, 0, 3, 6, 33, 64}) {
    std::string text = "keep";
    EXPECT_FALSE(DefaultSyncPatternText(bits, 2, text)) << bits;
    EXPECT_EQ(text, "keep");
  }
}

TEST(DefaultSyncPatternTest, OtherRadixCodesKeepTheEightDigitText) {
  std::string text;
  ASSERT_TRUE(DefaultSyncPatternText(16, 0, text));
  EXPECT_EQ(text, "0000EB90");
}

TEST(SyncPatternToBinaryTest, HexadecimalPatternFillsTheLowBits) {
  bool ok = false;
  EXPECT_EQ(Binary("FE6B2840", 2, &ok), std::string(32, '0') + "11111110011010110010100001000000");
  EXPECT_TRUE(ok);
  EXPECT_EQ(Binary("EB90", 2), std::string(48, '0') + Bits(0xEB90, 16));
}

TEST(SyncPatternToBinaryTest, HexadecimalDontCareDigitsMarkTheirFourBits) {
  std::string exact = Binary("FE6B2840", 2);
  std::string last_x = Binary("FE6B284X", 2);
  EXPECT_EQ(last_x.substr(0, 60), exact.substr(0, 60));
  EXPECT_EQ(last_x.substr(60), "XXXX");

  // A lower-case x is a don't-care digit too (the text is upper-cased).
  EXPECT_EQ(Binary("fe6b2x40", 2), std::string(32, '0') + "11111110011010110010XXXX01000000");
  // The first of 16 digits covers the first four characters.
  EXPECT_EQ(Binary("X000000000000001", 2), "XXXX" + std::string(59, '0') + "1");
}

TEST(SyncPatternToBinaryTest, MarkersBlanksAndCaseAreNormalised) {
  std::string plain = Binary("EB90", 2);
  EXPECT_EQ(Binary("0xEB90", 2), plain);
  EXPECT_EQ(Binary("0XEB90", 2), plain);
  EXPECT_EQ(Binary("$EB90", 2), plain);
  EXPECT_EQ(Binary(" E B 9 0 ", 2), plain);
  EXPECT_EQ(Binary("eb90", 2), plain);
  // A marker with nothing after it stays in the text: "0x" becomes "0X",
  // whose X is a don't-care digit.
  bool ok = false;
  EXPECT_EQ(Binary("0x", 2, &ok), std::string(60, '0') + "XXXX");
  EXPECT_TRUE(ok);
}

TEST(SyncPatternToBinaryTest, BinaryPatternWithDontCareBits) {
  EXPECT_EQ(Binary("1011", 0), std::string(60, '0') + "1011");
  EXPECT_EQ(Binary("1X0X", 0), std::string(60, '0') + "1X0X");
}

TEST(SyncPatternToBinaryTest, OctalDigitsAreRightAlignedThreeBitsEach) {
  bool ok = false;
  EXPECT_EQ(Binary("777", 1, &ok), std::string(55, '0') + "111111111");
  EXPECT_TRUE(ok);
  EXPECT_EQ(Binary("o165", 1), std::string(55, '0') + "001110101");
}

TEST(SyncPatternToBinaryTest, OctalDontCareDigitsMarkTheBitsOfTheirOwnDigit) {
  // Each X stands for the three bits its digit has in the value.
  EXPECT_EQ(Binary("7X", 1), std::string(58, '0') + "111XXX");
  EXPECT_EQ(Binary("X7", 1), std::string(58, '0') + "XXX111");
  EXPECT_EQ(Binary("1X1", 1), std::string(55, '0') + "001XXX001");
  // The first of 18 digits covers bits 10 to 12 from the left (54 bits in all).
  std::string first = Binary("X00000000000000001", 1);
  EXPECT_EQ(first, std::string(10, '0') + "XXX" + std::string(50, '0') + "1");
}

TEST(SyncPatternToBinaryTest, LongTextsKeepTheirFirstDigits) {
  // 17 hexadecimal digits: the first 16 count.
  EXPECT_EQ(Binary("123456789ABCDEF01", 2), Bits(0x123456789ABCDEF0ull, 64));
}

TEST(SyncPatternToBinaryTest, UnknownRadixCodeFails) {
  bool ok = true;
  EXPECT_EQ(Binary("EB90", 3, &ok), std::string(64, '0'));
  EXPECT_FALSE(ok);
  EXPECT_EQ(Binary("EB90", -1, &ok).size(), 64u);
  EXPECT_FALSE(ok);
}

TEST(SyncPatternToBinaryTest, InvalidDigitsReportFailure) {
  bool ok = true;
  Binary("EG90", 2, &ok);
  EXPECT_FALSE(ok);
  Binary("789", 1, &ok);
  EXPECT_FALSE(ok);
  Binary("102", 0, &ok);
  EXPECT_FALSE(ok);
}

}  // namespace
