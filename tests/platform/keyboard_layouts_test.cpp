#include "platform/keyboard_layouts.h"

#include <gtest/gtest.h>

namespace plumo {
namespace {

std::u32string U(const char8_t* utf8) {
  std::u32string out;
  for (const char8_t* p = utf8; *p;) {
    const unsigned char b = *p;
    const int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    char32_t c = extra ? b & (0x3F >> extra) : b;
    ++p;
    for (int i = 0; i < extra; ++i) c = (c << 6) | (*p++ & 0x3F);
    out.push_back(c);
  }
  return out;
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
    const char8_t* text;
    const char8_t* expected;
    std::size_t unmapped;
    RetypeRule rule = RetypeRule::kAllOrNothing;
  };
  const Row rows[] = {
      {0, 1, u8"ghbdtn", u8"привет", 0},
      {0, 1, u8"Ghbdtn GHBDTN", u8"Привет ПРИВЕТ", 0},
      {1, 0, u8"Привет, мир!", u8"Ghbdtn? vbh!", 0},
      {0, 1, u8"hello, world!", u8"руддщб цщкдв!", 0},
      // Shifted digits, and '<' from Shift+comma, not the extra key beside the left Shift.
      {0, 1, u8"@#<>~`", u8"\"№БЮЁё", 0},
      {1, 0, u8"№ёЁ", u8"#`~", 0},
      {0, 1, u8"ghbdtn\r\nvbh\t1", u8"привет\r\nмир\t1", 0},
      {1, 1, u8"Привет", u8"Привет", 0},
      // A character with no key leaves the text as it was, or only itself under the other rule.
      {0, 1, u8"ghbя", u8"ghbя", 1},
      {0, 1, u8"ghbяü", u8"прияü", 2, RetypeRule::kKeepUnmapped},
      {1, 0, u8"abc", u8"abc", 3},
      // Layouts that do not exist make every character unmapped.
      {0, 5, u8"ab", u8"ab", 2, RetypeRule::kKeepUnmapped},
      {0, 1, u8"", u8"", 0},
  };
  for (const Row& row : rows) {
    const RetypeResult r = UsRu().Retype(U(row.text), row.from, row.to, row.rule);
    const auto* text = reinterpret_cast<const char*>(row.text);
    EXPECT_EQ(r.text, U(row.expected)) << text;
    EXPECT_EQ(r.unmapped, row.unmapped) << text;
  }
}

TEST(KeyboardLayoutsTest, BuildsTheUsableLayoutsWithNamesAndGroups) {
  const KeyboardLayouts layouts({{"us", ""}, {"no-such-layout", ""}, {"ru", "phonetic"}, {"us,ru", ""}});
  ASSERT_EQ(layouts.Count(), 2u);
  EXPECT_EQ(layouts.At(0).display_name, "English (US)");
  EXPECT_EQ(layouts.At(1).display_name, "Russian (phonetic)");
  EXPECT_EQ(layouts.At(1).group, 2u);
  EXPECT_EQ(layouts.FindGroup(2), 1u);
  EXPECT_EQ(layouts.FindGroup(1), std::nullopt);
  EXPECT_EQ(layouts.Find({"ru", "phonetic"}), 1u);
  EXPECT_EQ(layouts.Find({"ru", ""}), std::nullopt);
  // The phonetic variant puts Cyrillic letters on the Latin ones that sound alike.
  EXPECT_EQ(layouts.Retype(U(u8"priwet"), 0, 1).text, U(u8"привет"));
}

TEST(KeyboardLayoutsTest, NextWrapsAroundTheList) {
  KeyboardLayouts three({{"us", ""}, {"ru", ""}, {"de", ""}});
  ASSERT_EQ(three.Count(), 3u);
  EXPECT_EQ(three.Current(), 0u);
  EXPECT_EQ(three.Next(), 1u);
  three.SetCurrent(2);
  EXPECT_EQ(three.Next(), 0u);
  three.SetCurrent(7);
  EXPECT_EQ(three.Current(), 2u);
  const KeyboardLayouts one(std::vector<LayoutName>{{"us", ""}});
  EXPECT_EQ(one.Next(), 0u);
  const KeyboardLayouts none(std::vector<LayoutName>{});
  EXPECT_EQ(none.Next(), 0u);
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
  const XkbNames full = ParseXkbRulesNames("evdev\0pc105\0us,ru\0,phonetic\0grp:alt_shift_toggle\0"sv);
  EXPECT_EQ(full.rules, "evdev");
  EXPECT_EQ(full.model, "pc105");
  EXPECT_EQ(full.layout, "us,ru");
  EXPECT_EQ(full.variant, ",phonetic");
  EXPECT_EQ(full.options, "grp:alt_shift_toggle");
  const XkbNames cut = ParseXkbRulesNames("evdev\0pc105\0de"sv);
  EXPECT_EQ(cut.layout, "de");
  EXPECT_EQ(cut.variant, "");
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
      {{desktop, 1, "de", "fr", ""}, LayoutSource::kDesktop, {{"us", ""}, {"ru", "phonetic"}}},
      {{empty_desktop, {}, "de,ua", "fr", ""}, LayoutSource::kSetting, {{"de", ""}, {"ua", ""}}},
      {{{}, {}, " , ", "fr", "azerty"}, LayoutSource::kEnvironment, {{"fr", "azerty"}}},
      {{{}, {}, "", "", "dvorak"}, LayoutSource::kDefault, {{"us", ""}}},
  };
  for (const Row& row : rows) {
    const ChosenLayouts chosen = ChooseLayoutNames(row.sources);
    EXPECT_EQ(chosen.source, row.source);
    EXPECT_EQ(chosen.names, row.names);
  }
}

}  // namespace
}  // namespace plumo
