// SPDX-License-Identifier: GPL-3.0-or-later
// The line markup: one grammar that every reader of a line follows (the views, the history store,
// the headless peer's terminal output, notifications), and the builders of the markup the program
// writes itself. A line is code page 1251 text with these in it:
//
// - A colour code: "#^" and six hexadecimal digits (either case), red first. It switches the
//   colour of what follows. Colour codes are found first, left to right; no other marker, smiley
//   code or link is ever formed across or out of the bytes of one.
// - A nick pair: ":#", a nick, "^#K". An opener pairs with the first closer after it on the same
//   line; markers that do not pair are text, and openers inside a pair belong to its nick.
// - A line break: CR LF, CR or LF.
// - Smiley codes of a table the reader gives, and web links (a scheme such as "http:" or "www."
//   and the characters up to a blank, a control character, '<', '>' or '"', without the
//   punctuation that ends a sentence), both within the text between the markers above: the code
//   listed first wins wherever codes overlap, a picture ends a link, and a nick has no web link.
//
// Parsing takes time in proportion to the line's length (times the number of smiley codes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lang/text_helpers.h"

namespace plumo {

inline constexpr std::string_view kColourCodeStart = "#^";
inline constexpr std::size_t kColourCodeLength = 8;
inline constexpr std::string_view kNickPairOpen = ":#";
inline constexpr std::string_view kNickPairClose = "^#K";

// "#^RRGGBB" for a colour number (0x00BBGGRR).
std::string ColourCode(TColor colour);
// The nick between the markers of a nick pair.
std::string NickPair(std::string_view nick);

enum class MarkupKind : std::uint8_t {
  Text,       // text shown as it is
  Colour,     // a colour code; Colour is the colour of what follows
  NickOpen,   // ":#" of a nick pair; the pieces up to its NickClose are the nick
  NickClose,  // "^#K"
  Smiley,     // a smiley code; Smiley is its index in MarkupRules::Smileys
  Link,       // a web link: its bytes are the address
  Break,      // a line break
};

// One piece of a line: the bytes [Begin, End) of the line that it stands for. The pieces of a line
// follow one another and cover every byte of it.
struct MarkupPiece {
  MarkupKind Kind = MarkupKind::Text;
  std::size_t Begin = 0;
  std::size_t End = 0;
  TColor Colour = 0;
  int Smiley = -1;
  bool operator==(const MarkupPiece&) const = default;
};

// A piece that is markup only and no part of the text a reader sees.
inline bool IsMarker(MarkupKind kind) {
  return kind == MarkupKind::Colour || kind == MarkupKind::NickOpen || kind == MarkupKind::NickClose;
}

// What a reader wants found besides colour codes and line breaks.
struct MarkupRules {
  // Nick pairs are markup; a view that shows them as typed turns this off.
  bool NickPairs = true;
  bool Links = true;
  // Smiley codes in the order in which they win; a code that is empty or holds a control character
  // is never found.
  std::span<const std::string> Smileys;
};

std::vector<MarkupPiece> ParseMarkup(std::string_view line, const MarkupRules& rules = {});

// The text of a line without its markers (colour codes and paired nick markers); smiley codes,
// links and line breaks stay as they are.
std::string MarkupToPlain(std::string_view line);

}  // namespace plumo
