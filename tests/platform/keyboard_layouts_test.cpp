// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/keyboard_layouts.h"

#include <gtest/gtest.h>

#include <QString>

namespace plumo {
namespace {

std::u32string U(const char* utf8) {
  return QString::fromUtf8(utf8).toStdU32String();
}

// Layouts used by the re-typing table: index 0 "us", 1 "ru".
const KeyboardLayouts& UsRu() {
  static const KeyboardLayouts layouts({{"us", ""}, {"ru", ""}});
  return layouts;
}

TEST(KeyboardLayoutsTest, RetypesByKeyAndShiftState) {
  ASSERT_EQ(UsRu().Count(), 2u) << "keymaps of the XKB data files could not be compiled";
  struct Row {
    std::size_t from, to;
    const char* text;
    const char* expected;
    std::size_t unmapped;
    RetypeRule rule = RetypeRule::AllOrNothing;
  };
  const Row rows[] = {
      {0, 1, "ghbdtn", "привет", 0},
      {0, 1, "Ghbdtn GHBDTN", "Привет ПРИВЕТ", 0},
      {1, 0, "Привет, мир!", "Ghbdtn? vbh!", 0},
      {0, 1, "hello, world!", "руддщб цщкдв!", 0},
      // Shifted digits, and '<' from Shift+comma, not the extra key beside the left Shift.
      {0, 1, "@#<>~`", "\"№БЮЁё", 0},
      {1, 0, "№ёЁ", "#`~", 0},
      {0, 1, "ghbdtn\r\nvbh\t1", "привет\r\nмир\t1", 0},
      {1, 1, "Привет", "Привет", 0},
      // A character with no key leaves the text as it was, or only itself under the other rule.
      {0, 1, "ghbя", "ghbя", 1},
      {0, 1, "ghbяü", "прияü", 2, RetypeRule::KeepUnmapped},
      {1, 0, "abc", "abc", 3},
      // Layouts that do not exist make every character unmapped.
      {0, 5, "ab", "ab", 2, RetypeRule::KeepUnmapped},
      {0, 1, "", "", 0},
  };
  for (const Row& row : rows) {
    const RetypeResult r = UsRu().Retype(U(row.text), row.from, row.to, row.rule);
    EXPECT_EQ(r.Text, U(row.expected)) << row.text;
    EXPECT_EQ(r.Unmapped, row.unmapped) << row.text;
  }
}

TEST(KeyboardLayoutsTest, BuildsTheUsableLayoutsWithNamesAndGroups) {
  KeyboardLayouts layouts({{"us", ""}, {"no-such-layout", ""}, {"ru", "phonetic"}, {"us,ru", ""}});
  ASSERT_EQ(layouts.Count(), 2u);
  EXPECT_EQ(layouts.At(0).DisplayName, "English (US)");
  EXPECT_EQ(layouts.At(1).DisplayName, "Russian (phonetic)");
  EXPECT_EQ(layouts.At(1).Group, 2u);
  EXPECT_EQ(layouts.FindGroup(2), 1u);
  EXPECT_EQ(layouts.FindGroup(1), std::nullopt);
  EXPECT_EQ(layouts.Find({"ru", "phonetic"}), 1u);
  EXPECT_EQ(layouts.Find({"ru", ""}), std::nullopt);
  // The phonetic variant puts Cyrillic letters on the Latin ones that sound alike.
  EXPECT_EQ(layouts.Retype(U("priwet"), 0, 1).Text, U("привет"));

  EXPECT_EQ(layouts.Next(), 1u);
  layouts.SetCurrent(1);
  layouts.SetCurrent(2);  // out of range: ignored
  EXPECT_EQ(layouts.Next(), 0u);
  EXPECT_EQ(KeyboardLayouts(std::vector<LayoutName>{{"us", ""}}).Next(), 0u);
}

TEST(LayoutListTest, ParsesLayoutsWithTheirVariants) {
  struct Row {
    const char* layouts;
    const char* variants;
    std::vector<LayoutName> expected;
  };
  const Row rows[] = {
      {"us,ru", "", {{"us", ""}, {"ru", ""}}},
      {"us,ru", ",phonetic", {{"us", ""}, {"ru", "phonetic"}}},
      {" us , ru(phonetic) ", "", {{"us", ""}, {"ru", "phonetic"}}},
      {"us(dvorak),ru", "intl", {{"us", "intl"}, {"ru", ""}}},
      {"ru(phonetic", "", {{"ru", "phonetic"}}},
      {"us,,ru", ",x,y", {{"us", ""}, {"ru", "y"}}},
      {"us", "dvorak,extra", {{"us", "dvorak"}}},
      {"", "", {}},
      {" , ", "", {}},
  };
  for (const Row& row : rows)
    EXPECT_EQ(ParseLayoutList(row.layouts, row.variants), row.expected) << row.layouts;
}

TEST(LayoutListTest, ReadsTheFiveRulesNames) {
  using namespace std::string_view_literals;
  EXPECT_EQ(ParseXkbRulesNames("evdev\0pc105\0us,ru\0,phonetic\0grp:alt_shift_toggle\0"sv),
            (XkbNames{"evdev", "pc105", "us,ru", ",phonetic", "grp:alt_shift_toggle"}));
  EXPECT_EQ(ParseXkbRulesNames("evdev\0pc105\0de"sv), (XkbNames{"evdev", "pc105", "de", "", ""}));
}

TEST(LayoutListTest, TakesTheFirstSourceThatNamesALayout) {
  const XkbNames desktop{"evdev", "pc105", "us,ru", ",phonetic", ""};
  const XkbNames empty_desktop{"evdev", "pc105", "", "", ""};
  struct Row {
    LayoutSources sources;
    LayoutSource source;
    std::vector<LayoutName> names;
  };
  const Row rows[] = {
      {{desktop, 1, "de", "fr", ""}, LayoutSource::Desktop, {{"us", ""}, {"ru", "phonetic"}}},
      {{empty_desktop, {}, "de,ua", "fr", ""}, LayoutSource::Setting, {{"de", ""}, {"ua", ""}}},
      {{{}, {}, " , ", "fr", "azerty"}, LayoutSource::Environment, {{"fr", "azerty"}}},
      {{{}, {}, "", "", "dvorak"}, LayoutSource::Default, {{"us", ""}}},
  };
  for (const Row& row : rows) {
    const ChosenLayouts chosen = ChooseLayoutNames(row.sources);
    EXPECT_EQ(chosen.Source, row.source);
    EXPECT_EQ(chosen.Names, row.names);
  }
}

}  // namespace
}  // namespace plumo
