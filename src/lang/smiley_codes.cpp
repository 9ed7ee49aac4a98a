// SPDX-License-Identifier: GPL-3.0-or-later
#include "lang/smiley_codes.h"

#include <array>

#include "lang/codepage.h"

namespace plumo {
namespace {

// A decimal picture index: digits only (a sign would never name a picture).
bool ParseIndex(const std::string& value, int& index) {
  if (value.empty() || value.size() > 9) return false;
  int v = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  index = v;
  return true;
}

// One face: the emoji that show it and the codes people type for it, the usual one first.
struct Face {
  std::vector<char32_t> Emoji;
  std::vector<std::string_view> Codes;
};

// The faces an emoji keyboard offers most, with the codes chats have long used for them.
const std::array<Face, 16>& Faces() {
  static const std::array<Face, 16> kFaces{{
      {{0x1F642, 0x1F600, 0x1F603, 0x1F60A, 0x263A}, {":)", ":-)", "=)"}},   // smile
      {{0x1F604, 0x1F601, 0x1F606, 0x1F602, 0x1F923}, {":D", ":-D", "=D"}},  // laugh
      {{0x1F609}, {";)", ";-)"}},                                            // wink
      {{0x1F641, 0x2639, 0x1F61E, 0x1F61F, 0x1F614}, {":(", ":-("}},         // sad
      {{0x1F622, 0x1F62D}, {":'(", ";("}},                                   // cry
      {{0x1F61B, 0x1F61C, 0x1F61D}, {":P", ":-P", ":p", ":-p"}},             // tongue
      {{0x1F62E, 0x1F62F, 0x1F632, 0x1F631}, {":O", ":-O", ":o", ":-o"}},    // surprise
      {{0x1F610, 0x1F611}, {":|", ":-|"}},                                   // neutral
      {{0x1F60E}, {"8)", "8-)", "B)"}},                                      // cool
      {{0x1F620, 0x1F621}, {">:(", ":@"}},                                   // angry
      {{0x1F618, 0x1F617, 0x1F619, 0x1F61A}, {":*", ":-*"}},                 // kiss
      {{0x1F615}, {":/", ":-/"}},                                            // confused
      {{0x1F633}, {":$", ":-$"}},                                            // blush
      {{0x1F608}, {">:)", "]:->"}},                                          // devil
      {{0x1F607}, {"O:)", "O:-)"}},                                          // angel
      {{0x2764}, {"<3"}},                                                    // heart
  }};
  return kFaces;
}

// The emoji presentation selector that often follows an emoji.
constexpr char32_t kEmojiSelector = 0xFE0F;

}  // namespace

std::vector<SmileyEntry> ParseSmileyEntries(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::vector<SmileyEntry> codes;
  for (const auto& [key, value] : entries) {
    std::string code = !key.empty() && key.front() == '_' ? key.substr(1) : key;
    int index = 0;
    if (code.empty() || !ParseIndex(value, index)) continue;
    codes.push_back({std::move(code), index});
  }
  return codes;
}

std::vector<EmojiSmiley> EmojiSmileys(const std::vector<std::pair<std::string, std::string>>& smiles) {
  const std::vector<SmileyEntry> table = ParseSmileyEntries(smiles);
  const auto listed = [&table](std::string_view code) {
    for (const SmileyEntry& entry : table) {
      if (entry.Code == code) return true;
    }
    return false;
  };
  std::vector<EmojiSmiley> result;
  for (const Face& face : Faces()) {
    std::string_view chosen;
    for (const std::string_view code : face.Codes) {
      if (listed(code)) {
        chosen = code;
        break;
      }
    }
    if (chosen.empty()) continue;
    for (const char32_t emoji : face.Emoji) {
      std::string bare;
      AppendUtf8(bare, emoji);
      std::string selected = bare;
      AppendUtf8(selected, kEmojiSelector);
      result.push_back({std::move(selected), std::string(chosen)});
      result.push_back({std::move(bare), std::string(chosen)});
    }
  }
  return result;
}

std::string ReplaceEmoji(std::string_view utf8, const std::vector<EmojiSmiley>& smileys) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t at = 0;
  while (at < utf8.size()) {
    bool replaced = false;
    // Every emoji starts with a byte above ASCII; plain text is copied as it is.
    if (static_cast<unsigned char>(utf8[at]) >= 0x80) {
      for (const EmojiSmiley& smiley : smileys) {
        if (utf8.substr(at, smiley.Emoji.size()) == smiley.Emoji) {
          out += Cp1251ToUtf8(smiley.Code);
          at += smiley.Emoji.size();
          replaced = true;
          break;
        }
      }
    }
    if (!replaced) out += utf8[at++];
  }
  return out;
}

}  // namespace plumo
