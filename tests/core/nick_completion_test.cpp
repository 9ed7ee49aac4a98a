// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/nick_completion.h"

#include <gtest/gtest.h>

#include "lang/codepage.h"

namespace plumo {
namespace {

std::string Cp(std::string_view utf8) {
  return Utf8ToCp1251(utf8);
}

RosterSelection Sel(std::string_view rows) {
  RosterSelection s;
  for (char c : rows) s.push_back(c == 'x');
  return s;
}

std::string Show(const RosterSelection& s) {
  std::string out;
  for (bool b : s) out += b ? 'x' : '-';
  return out;
}

TEST(NickCompletion, CompletesTheWordBeforeTheCaret) {
  const std::vector<std::string> nicks = {"anna", "Annabel", "bob", Cp("Вася")};
  struct Row {
    std::string text;
    std::size_t caret;
    std::string_view before;  // roster selection
    std::string text_after;
    std::size_t caret_after;
    std::string_view after;
    bool found;
  };
  const Row rows[] = {
      {"hi an", 5, "----", "hi anna", 7, "x---", true},
      {"hi AN", 5, "----", "hi anna", 7, "x---", true},            // letter case ignored
      {"hi an, bye", 5, "----", "hi anna, bye", 7, "x---", true},  // text after the caret kept
      {"bo", 2, "----", "bob", 3, "--x-", true},             // no blank: the whole text before the caret
      {"say\nbo", 6, "----", "say\nbob", 7, "--x-", true},   // a line break ends the word too
      {"x an", 99, "----", "x anna", 6, "x---", true},       // caret past the end
      {"hi an", 5, "-x--", "hi Annabel", 10, "-x--", true},  // search starts at the selected row
      {"hi an", 5, "--x-", "hi anna", 7, "x---", true},      // ... and wraps; that row is deselected
      {"hi anna", 7, "x-x-", "hi anna", 7, "x-x-", true},    // first selected found again, stays selected
      {Cp("привет ва"), 9, "----", Cp("привет Вася"), 11, "---x", true},
      {"hi ", 3, "--x-", "hi bob", 6, "--x-", true},      // empty prefix: the selected row's nick
      {"hi zed", 6, "----", "hi zed", 6, "----", false},  // nothing found: no change
      {"hi zed", 6, "-x--", "hi zed", 6, "----", false},  // ... but the start row is deselected
      {"hi an", 5, "x", "hi anna", 7, "x---", true},      // short selection: missing rows unselected
  };
  for (const Row& r : rows) {
    const NickCompletion c = CompleteNick(r.text, r.caret, nicks, Sel(r.before));
    SCOPED_TRACE(r.text + " | " + std::string(r.before));
    EXPECT_EQ(c.Text, r.text_after);
    EXPECT_EQ(c.Caret, r.caret_after);
    EXPECT_EQ(Show(c.Selection), r.after);
    EXPECT_EQ(c.Found, r.found);
    if (c.Found) {
      // The edit the window applies reproduces the text.
      std::string applied = r.text;
      applied.replace(c.PrefixStart, c.PrefixLength, c.Nick);
      EXPECT_EQ(applied, c.Text);
    }
  }
  EXPECT_FALSE(CompleteNick("an", 2, {}, {}).Found);
}

TEST(NickCompletion, ColourMenuAndMarkup) {
  struct Row {
    std::vector<std::string> entries;
    std::vector<std::string> captions;
    std::vector<TColor> colours;
    std::vector<int> tags;
  };
  const Row rows[] = {
      // The default list: values are blue first, so ColorA is blue and ColorC red.
      {{"ColorA=FF0000", "ColorB=00FF00", "ColorC=0000FF"},
       {"ColorA", "ColorB", "ColorC"},
       {0xFF0000, 0x00FF00, 0x0000FF},
       {2, 3, 4}},
      // Entries without six hexadecimal digits get no item; tags keep the list index.
      {{"Short=FFF", "Bad=GG0000", "NoValue", "Long=1234567", "Ok=00ff80", "Empty="},
       {"Ok"},
       {0x00FF80},
       {6}},
      {{"=123456"}, {""}, {0x123456}, {2}},
      {{}, {}, {}, {}},
  };
  for (const Row& r : rows) {
    const std::vector<ColorMenuItem> items = CustomColorItems(r.entries);
    ASSERT_EQ(items.size(), r.captions.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
      EXPECT_EQ(items[i].Caption, r.captions[i]);
      EXPECT_EQ(items[i].Color, r.colours[i]);
      EXPECT_EQ(items[i].Tag, r.tags[i]);
    }
  }
  EXPECT_EQ(kNickColor, RgbToColor("888866"));
}

TEST(NickCompletion, InsertionsFromRosterAndLinks) {
  const std::vector<std::string> nicks = {"anna", "bob", Cp("Вася")};
  EXPECT_EQ(NickForEditor(nicks, Sel("-xx")), "bob");
  EXPECT_EQ(NickForEditor(nicks, Sel("---")), std::nullopt);
  EXPECT_EQ(NickForEditor(nicks, Sel("---x")), std::nullopt);  // selection beyond the list

  struct Row {
    std::string link;
    bool hot;
    std::optional<std::string> inserted;
  };
  const Row rows[] = {
      {":#bob", true, " #^888866bob "},
      {":#BO", true, " #^888866bob "},  // a prefix of a nick, case ignored: the roster's spelling
      {Cp(":#вася"), true, Cp(" #^888866Вася ")},
      {":#bob", false, std::nullopt},  // hot nicks off: opened like any link
      {":#zed", true, std::nullopt},
      {":#", true, std::nullopt},  // no nick at all
      {"http://bob", true, std::nullopt},
      {"xxbob", true, std::nullopt},  // not a hot-nick link, although its tail is a nick
  };
  for (const Row& r : rows) {
    EXPECT_EQ(HotNickInsertion(r.link, r.hot, nicks), r.inserted) << r.link << " " << r.hot;
  }
}

}  // namespace
}  // namespace plumo
