// SPDX-License-Identifier: GPL-3.0-or-later
// The smiley codes of the [smiles] table as text, and the emoji that a chat's smileys can stand for.
// An emoji cannot travel on the wire (code page 1251 has none); when the chat has a smiley for the
// same face, the emoji becomes that smiley's code before anything is sent, so the reader sees the
// smiley instead of "?". Both the window and the headless peer use this one table.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace plumo {

// One usable entry of the [smiles] table: the code as it appears in text (code page 1251) and the
// number of the picture it stands for.
struct SmileyEntry {
  std::string Code;
  int Index = 0;
  bool operator==(const SmileyEntry&) const = default;
};

// The entries of [smiles] (key, value) in file order to the usable codes in the same order. A key
// beginning with "_" stands for the code without that character; entries whose value is not a
// decimal number, or whose code is empty, are left out.
std::vector<SmileyEntry> ParseSmileyEntries(const std::vector<std::pair<std::string, std::string>>& entries);

// One emoji (UTF-8, with an emoji presentation selector where the emoji is written with one) and
// the code of the chat's smiley it becomes (code page 1251).
struct EmojiSmiley {
  std::string Emoji;
  std::string Code;
  bool operator==(const EmojiSmiley&) const = default;
};

// The emoji the chat with these [smiles] entries has a smiley for, each with the smiley's code:
// every emoji of a face is known with the codes people write for it (":)" and ":-)" for a smile),
// and the first of those codes the table lists is taken. An emoji followed by a variation selector
// comes before the bare emoji, so that the selector goes with it.
std::vector<EmojiSmiley> EmojiSmileys(const std::vector<std::pair<std::string, std::string>>& smiles);

// utf8 with each emoji of smileys replaced by its code (as UTF-8).
std::string ReplaceEmoji(std::string_view utf8, const std::vector<EmojiSmiley>& smileys);

}  // namespace plumo
