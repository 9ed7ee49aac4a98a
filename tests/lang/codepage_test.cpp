// SPDX-License-Identifier: GPL-3.0-or-later
#include "lang/codepage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "lang/inifile.h"

namespace plumo {
namespace {

std::vector<char32_t> CodePoints(const std::vector<TUnencodableChar>& chars) {
  std::vector<char32_t> out;
  for (const auto& c : chars) out.push_back(c.CodePoint);
  return out;
}

// What the user typed, the characters the warning lists, how many "?" the wire text holds (the list
// and the wire must agree, one "?" per character however many UTF-16 units it takes), and whether the
// reader would miss anything seen.
TEST(UnencodableCharsTest, ListsWhatTheWireReplacesOnceInOrderOfAppearance) {
  struct Case {
    const char* name;
    const char* utf8;
    std::vector<char32_t> listed;
    std::size_t questionMarks;
    bool visible = true;
  };
  const Case cases[] = {
      {"ascii, a typed ? is no loss", "Hello, world?", {}, 1, false},
      {"cyrillic and code page punctuation", "Привет, Ёж ї ґ № — … € ™ «»", {}, 0, false},
      {"only invisible characters", "a\u200Db\uFE0F", {0x200D, 0xFE0F}, 2, false},
      {"chinese", "中文", {0x4E2D, 0x6587}, 2},
      {"emoji outside the BMP is one character", "hi 😀", {0x1F600}, 1},
      {"mixed", "Ж中😀a中", {0x4E2D, 0x1F600}, 3},
      {"repeated", "😀😀😀", {0x1F600}, 3},
      {"joined emoji keep their joiner", "👨‍👩", {0x1F468, 0x200D, 0x1F469}, 3},
      {"latin accents are not in the code page", "café e\xCC\x81", {0xE9, 0x301}, 2},
      {"invalid bytes are one replacement character",
       "a\xFF"
       "b\xC3",
       {0xFFFD},
       2},
      {"encoded surrogate", "x\xED\xA0\x80", {0xFFFD}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto found = UnencodableChars(c.utf8);
    EXPECT_EQ(CodePoints(found), c.listed);
    EXPECT_EQ(LosesVisibleCharacters(found), c.visible);
    const std::string wire = Utf8ToCp1251(c.utf8);
    EXPECT_EQ(static_cast<std::size_t>(std::count(wire.begin(), wire.end(), '?')), c.questionMarks);
    for (const auto& f : found) {
      EXPECT_EQ(f.Replacement, '?');
      // The shown text is valid UTF-8 of the listed character itself.
      EXPECT_EQ(UnencodableChars(f.Utf8).size(), 1u);
      EXPECT_EQ(UnencodableChars(f.Utf8)[0].CodePoint, f.CodePoint);
    }
  }
}

TEST(UnencodableWarningTest, FillsTheMessageWithEachCharacterAndItsReplacement) {
  struct Case {
    const char* name;
    std::string message;  // code page 1251
    const char* typed;
    const char* expected;  // UTF-8
  };
  const Case cases[] = {
      {"list in order", "Cannot send: %s", "a中😀中", "Cannot send: 中 → ?, 😀 → ?"},
      {"invisible characters by number", "%s", "👨‍👩", "👨 → ?, U+200D → ?, 👩 → ?"},
      {"combining mark and a short number", "%s", "e\xCC\x81", "U+0301 → ?"},
      {"cyrillic message becomes UTF-8", Utf8ToCp1251("Замена: %s."), "中", "Замена: 中 → ?."},
      {"nothing to warn about", "Cannot send: %s", "Привет", ""},
      {"missing key text stays", "ERROR", "中", "ERROR"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(UnencodableWarning(c.message, UnencodableChars(c.typed)), c.expected);
  }
}

// Both shipped language files have the warning with exactly one place for the list.
TEST(UnencodableWarningTest, ShippedMessagesTakeTheList) {
  const char* source = std::getenv("PLUMO_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  for (const char* name : {"russian.lng", "english.lng"}) {
    SCOPED_TRACE(name);
    const TIniFile ini(std::string(source) + "/data/lang/" + name);
    const std::string message = ini.ReadString("Project_Messages", kCantEncodeKey, "");
    ASSERT_NE(message.find("%s"), std::string::npos);
    const std::string warning = UnencodableWarning(message, UnencodableChars("😀"));
    EXPECT_NE(warning.find("😀 → ?"), std::string::npos) << warning;
    EXPECT_EQ(warning.find('%'), std::string::npos) << warning;
  }
}

}  // namespace
}  // namespace plumo
