// SPDX-License-Identifier: GPL-3.0-or-later
// Nick completion, the colour menu and the editor insertions; see nick_completion.h.
#include "core/nick_completion.h"

#include <algorithm>

#include "lang/markup.h"
#include "lang/textcase.h"

namespace plumo {

namespace {

bool BeginsWith(std::string_view nick, std::string_view prefix) {
  if (nick.size() < prefix.size()) return false;
  return SameText1251(nick.substr(0, prefix.size()), prefix);
}

// Word separators for completion. A blank ends the word; a tab or a line break does too, so that a
// nick at the start of a second line of a multi-line text still completes.
bool IsSeparator(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

std::optional<std::size_t> FindNickByPrefix(const std::vector<std::string>& nicks, std::string_view prefix,
                                            std::size_t start, bool wrap) {
  const std::size_t n = nicks.size();
  if (n == 0) return std::nullopt;
  if (start >= n) {
    if (!wrap) return std::nullopt;
    start = 0;
  }
  const std::size_t steps = wrap ? n : n - start;
  for (std::size_t k = 0; k < steps; ++k) {
    const std::size_t row = (start + k) % n;
    if (BeginsWith(nicks[row], prefix)) return row;
  }
  return std::nullopt;
}

NickCompletion CompleteNick(std::string_view text, std::size_t caret, const std::vector<std::string>& nicks,
                            const RosterSelection& selection) {
  NickCompletion r;
  const std::size_t p = std::min(caret, text.size());
  std::size_t s = p;
  while (s > 0 && !IsSeparator(text[s - 1])) --s;
  const std::string_view prefix = text.substr(s, p - s);

  r.Selection.assign(nicks.size(), false);
  std::copy_n(selection.begin(), std::min(selection.size(), nicks.size()), r.Selection.begin());
  const std::optional<std::size_t> first = FirstSelected(r.Selection);
  std::optional<std::size_t> found;
  if (first) {
    found = FindNickByPrefix(nicks, prefix, *first, true);
    r.Selection[*first] = false;
  } else {
    found = FindNickByPrefix(nicks, prefix, 0, false);
  }

  r.Text = std::string(text);
  r.Caret = p;
  if (!found) return r;
  r.Found = true;
  r.PrefixStart = s;
  r.PrefixLength = p - s;
  r.Nick = nicks[*found];
  r.Text.replace(s, p - s, r.Nick);
  r.Caret = s + r.Nick.size();
  r.Selection[*found] = true;
  return r;
}

std::vector<ColorMenuItem> CustomColorItems(const std::vector<std::string>& customColors) {
  std::vector<ColorMenuItem> items;
  for (std::size_t i = 0; i < customColors.size(); ++i) {
    const std::string& entry = customColors[i];
    const std::size_t eq = entry.find('=');
    const std::string_view value =
        eq == std::string::npos ? std::string_view{} : std::string_view(entry).substr(eq + 1);
    // An entry that is not six hexadecimal digits gets no item.
    if (value.size() != 6 || !std::all_of(value.begin(), value.end(), IsHexDigit)) continue;
    items.push_back({entry.substr(0, eq), HexToInt(value), static_cast<int>(i) + 2});
  }
  return items;
}

std::optional<std::string> NickForEditor(const std::vector<std::string>& nicks,
                                         const RosterSelection& selection) {
  const std::optional<std::size_t> first = FirstSelected(selection);
  if (!first || *first >= nicks.size()) return std::nullopt;
  return nicks[*first];
}

std::optional<std::string> HotNickInsertion(std::string_view link, bool chanelHotNik,
                                            const std::vector<std::string>& nicks) {
  if (!chanelHotNik || link.size() <= kNickPairOpen.size() ||
      link.substr(0, kNickPairOpen.size()) != kNickPairOpen) {
    return std::nullopt;
  }
  const std::optional<std::size_t> row = FindNickByPrefix(nicks, link.substr(kNickPairOpen.size()), 0, false);
  if (!row) return std::nullopt;
  return " " + ColourCode(kNickColor) + nicks[*row] + " ";
}

}  // namespace plumo
