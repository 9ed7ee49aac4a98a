// SPDX-License-Identifier: GPL-3.0-or-later
#include "lang/text_helpers.h"
#include "lang/textcase.h"

#include <gtest/gtest.h>

#include "lang/codepage.h"

namespace plumo {
namespace {

std::string Cp(const char* utf8) {
  return Utf8ToCp1251(utf8);
}

TEST(ReplaceAllTest, ReplacesLeftToRightWithoutRescanningInsertedText) {
  EXPECT_EQ(ReplaceAll("aaa", "a", "aa", false), "aaaaaa");
  EXPECT_EQ(ReplaceAll("a\r\nb\r\n", "\r\n", "\r", false), "a\rb\r");
  EXPECT_EQ(ReplaceAll("ababab", "aba", "X", false), "Xbab");
  EXPECT_EQ(ReplaceAll("abc", "", "X", true), "abc");
  EXPECT_EQ(ReplaceAll("Hello", "l", "L", false), "HeLLo");
  EXPECT_EQ(ReplaceAll("HELLO", "l", "_", false), "HELLO");
}

TEST(ReplaceAllTest, IgnoreCaseFoldsLatinAndCyrillic) {
  EXPECT_EQ(ReplaceAll("Hello HELLO", "hello", "x", true), "x x");
  EXPECT_EQ(ReplaceAll(Cp("Привет ПРИВЕТ привет"), Cp("привет"), "x", true), "x x x");
  EXPECT_EQ(ReplaceAll(Cp("Ёлка ёлка"), Cp("ЁЛКА"), "x", true), "x x");
  EXPECT_EQ(ReplaceAll(Cp("Їжак і ґанок"), Cp("їЖАК І ҐАНОК"), "ok", true), "ok");
  // Without the flag, case matters for Cyrillic as well.
  EXPECT_EQ(ReplaceAll(Cp("Привет"), Cp("привет"), "x", false), Cp("Привет"));
  EXPECT_TRUE(SameText1251(Cp("Канал"), Cp("КАНАЛ")));
  EXPECT_FALSE(SameText1251(Cp("Канал"), Cp("Каналы")));
}

TEST(HexToIntTest, ReadsDigitsInEitherCase) {
  EXPECT_EQ(HexToInt(""), 0u);
  EXPECT_EQ(HexToInt("0"), 0u);
  EXPECT_EQ(HexToInt("ff"), 255u);
  EXPECT_EQ(HexToInt("FfA0"), 0xFFA0u);
  EXPECT_EQ(HexToInt("0000FF"), 0xFFu);
}

TEST(HexToIntTest, RejectsOtherCharactersWithTheirText) {
  try {
    HexToInt("12G4");
    FAIL() << "no exception";
  } catch (const TextFormatError& e) {
    EXPECT_STREQ(e.what(), "Invalid hex character G");
  }
  EXPECT_THROW(HexToInt(" 1"), TextFormatError);
  EXPECT_THROW(HexToInt("#12"), TextFormatError);
}

TEST(RgbToColorTest, RedFirstTextGivesRedInTheLowByte) {
  EXPECT_EQ(RgbToColor("FF0000"), 0x0000FFu);
  EXPECT_EQ(RgbToColor("#00ff00"), 0x00FF00u);
  EXPECT_EQ(RgbToColor("0000FF"), 0xFF0000u);
  EXPECT_EQ(RgbToColor("123456"), 0x563412u);
  EXPECT_EQ(ColorToRgb(RgbToColor("ff8000")), "FF8000");
}

TEST(RgbToColorTest, RejectsAnythingElseWithOneText) {
  for (const char* bad : {"", "#", "FF00", "#FF00000", "FF000G", "##FF0000", " FF0000", "FF0000 "}) {
    try {
      RgbToColor(bad);
      ADD_FAILURE() << "accepted " << bad;
    } catch (const TextFormatError& e) {
      EXPECT_STREQ(e.what(), "Not a valid RGB value") << bad;
    }
    EXPECT_FALSE(ParseRgb(bad).has_value()) << bad;
  }
}

TEST(HexDigitsTest, WritesFixedWidthUpperCaseAndColoursRedFirst) {
  EXPECT_EQ(HexDigits(0xABC, 4), "0ABC");
  EXPECT_EQ(HexDigits(0x1F600, 5), "1F600");
  EXPECT_EQ(HexDigits(0x123456, 4), "3456");  // higher digits dropped
  EXPECT_EQ(ColorToRgb(0x563412), "123456");
  EXPECT_EQ(ParseRgb("#123456"), 0x563412u);
}

TEST(ControlsToBlanksTest, KeepsTabsAndEightBitLetters) {
  EXPECT_EQ(ControlsToBlanks(std::string("a\r\nb\tc\x7f\x01\xe0", 9)), "a  b\tc  \xe0");
}

}  // namespace
}  // namespace plumo
