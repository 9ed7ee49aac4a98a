// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes as a line through the line grammar with a small smiley table and checks what
// every reader relies on: the pieces follow one another and cover the line, a nick pair opens and
// closes on one line, a colour code is eight bytes, and the plain text is the line without its
// markers.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "lang/markup.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "markup grammar: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace plumo;
  static const std::vector<std::string> kCodes = {":)", ";)", ":))", "#^", "K:", "http", ""};
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  MarkupRules rules;
  rules.Smileys = kCodes;
  const std::vector<MarkupPiece> pieces = ParseMarkup(line, rules);
  std::size_t at = 0;
  bool inNick = false;
  std::string plain;
  for (const MarkupPiece& p : pieces) {
    Check(p.Begin == at && p.End > p.Begin && p.End <= size, "the pieces do not cover the line");
    at = p.End;
    const std::string_view bytes = line.substr(p.Begin, p.End - p.Begin);
    switch (p.Kind) {
      case MarkupKind::Colour:
        Check(bytes.size() == kColourCodeLength && ParseRgb(bytes.substr(2)) == p.Colour,
              "a colour code that does not read back");
        break;
      case MarkupKind::NickOpen:
        Check(!inNick && bytes == kNickPairOpen, "a nick pair opened twice");
        inNick = true;
        break;
      case MarkupKind::NickClose:
        Check(inNick && bytes == kNickPairClose, "a nick pair closed that was not open");
        inNick = false;
        break;
      case MarkupKind::Break:
        Check(!inNick, "a nick pair across a line break");
        break;
      case MarkupKind::Smiley:
        Check(p.Smiley >= 0 && bytes == kCodes[static_cast<std::size_t>(p.Smiley)],
              "a smiley that is not its code");
        break;
      case MarkupKind::Link:
      case MarkupKind::Text:
        break;
    }
    if (!IsMarker(p.Kind)) plain += bytes;
  }
  Check(at == size && !inNick, "the line is not covered, or a pair is left open");
  Check(plain == MarkupToPlain(line), "the plain text differs from the line without its markers");
  return 0;
}
