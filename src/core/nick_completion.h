// SPDX-License-Identifier: GPL-3.0-or-later
// The editor tools that need no display: Tab completion of a nick from the roster, the colour menu
// built from chat.ini "CustomColors", colour markup, and what the roster menu and a hot-nick link
// insert into the editor. Copying from the channel view needs no rule of its own: the selection's
// markup is inserted as it is. Text is code page 1251; a position counts characters the way the
// editor does (a line break is one character, a picture one character).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/roster_moves.h"
#include "lang/text_helpers.h"

namespace plumo {

// The colour of nicks inserted into the editor: 888866 red first.
inline constexpr TColor kNickColor = 0x668888;

// The first row at or after start whose nick begins with prefix (code-page letter case ignored),
// continuing from row 0 up to start when wrap is set; nullopt when none does. An empty prefix matches
// every nick; a start beyond the last row finds nothing without wrap and searches from row 0 with it.
std::optional<std::size_t> FindNickByPrefix(const std::vector<std::string>& nicks, std::string_view prefix,
                                            std::size_t start, bool wrap);

// The result of Tab completion; Found false means the editor stays as it was.
struct NickCompletion {
  bool Found = false;
  std::size_t PrefixStart = 0;  // the typed prefix to be replaced: PrefixStart, PrefixLength
  std::size_t PrefixLength = 0;
  std::string Nick;           // inserted in kNickColor, the typing colour restored after it
  std::size_t Caret = 0;      // after the nick (the old caret when nothing was found)
  std::string Text;           // the plain text after completion
  RosterSelection Selection;  // the roster selection afterwards, one element per nick
};

// CompleteNick (Tab): the word before the caret (back to the last blank, tab or line break) is
// completed with the first roster nick that begins with it. With a row selected the search starts
// at the first selected row and wraps around, and that row is deselected whether or not a nick is
// found; with none it runs from row 0 without wrapping. The found row is selected. A caret beyond the
// text counts as its end; a selection shorter than the nick list counts the missing rows unselected.
NickCompletion CompleteNick(std::string_view text, std::size_t caret, const std::vector<std::string>& nicks,
                            const RosterSelection& selection);

// One colour item of the toolbar's colour menu (PopupMenu6).
struct ColorMenuItem {
  std::string Caption;  // the entry's name
  TColor Color = 0;     // the entry's value read as hexadecimal, blue first
  int Tag = 0;          // the entry's index in the list + 2 (items 0 and 1 are "OtherColor" and "-")
};

// The colour items for the "name=value" entries of "CustomColors", in order: an entry gets an item
// when its value (after the first "=") is exactly six hexadecimal digits; any other entry, including
// six characters that are not all hexadecimal digits, is left out.
std::vector<ColorMenuItem> CustomColorItems(const std::vector<std::string>& customColors);

// Roster menu N19 "Вставить Ник в редактор": the nick of the first selected row, which replaces the
// editor's selection; nullopt when no row (or no row within the list) is selected.
std::optional<std::string> NickForEditor(const std::vector<std::string>& nicks,
                                         const RosterSelection& selection);

// A click on a link in the channel view (RxRichEdit1URLClick): with channel hot nicks on and a hot-nick
// link (":#" + text) whose text begins a roster nick (first match from row 0, no wrap), the text to
// insert at the caret, " #^888866" + nick + " "; nullopt when the link is to be opened instead (hot
// nicks off, another link, an empty nick, or no such roster nick).
std::optional<std::string> HotNickInsertion(std::string_view link, bool chanelHotNik,
                                            const std::vector<std::string>& nicks);

}  // namespace plumo
