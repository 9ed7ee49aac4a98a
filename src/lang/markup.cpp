// SPDX-License-Identifier: GPL-3.0-or-later
#include "lang/markup.h"

#include <algorithm>
#include <array>
#include <optional>

namespace plumo {
namespace {

bool ColourAt(std::string_view s, std::size_t i, TColor& colour) {
  if (s.size() - i < kColourCodeLength || s.substr(i, 2) != kColourCodeStart) return false;
  const std::optional<TColor> parsed = ParseRgb(s.substr(i + 2, 6));
  if (!parsed) return false;
  colour = *parsed;
  return true;
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsWordByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

bool IsLinkByte(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u > 0x20 && u != 0x7F && c != '<' && c != '>' && c != '"';
}

// Punctuation that ends a sentence rather than an address.
bool IsTrailingPunctuation(char c) {
  return std::string_view(".,;:!?)'").find(c) != std::string_view::npos;
}

// The length of the scheme (with its colon) or "www." that starts a link at i, or 0.
std::size_t LinkPrefixAt(std::string_view s, std::size_t i, std::size_t end) {
  static constexpr std::array<std::string_view, 12> kPrefixes = {
      "http:", "https:",  "ftp:",    "file:", "mailto:",   "news:",
      "nntp:", "telnet:", "gopher:", "wais:", "prospero:", "www."};
  for (const std::string_view prefix : kPrefixes) {
    if (end - i < prefix.size()) continue;
    bool same = true;
    for (std::size_t k = 0; k < prefix.size() && same; ++k) same = Lower(s[i + k]) == prefix[k];
    if (same) return prefix.size();
  }
  return 0;
}

bool UsableCode(const std::string& code) {
  return !code.empty() &&
         std::none_of(code.begin(), code.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

class TParser {
 public:
  TParser(std::string_view line, const MarkupRules& rules) : s_(line), rules_(rules) {}

  std::vector<MarkupPiece> Run() {
    const std::vector<MarkupPiece> marks = Marks();
    // Each marker has at most one run of text before it; codes and links add to that.
    out_.reserve(2 * marks.size() + 1);
    std::size_t at = 0;
    bool inNick = false;
    for (const MarkupPiece& m : marks) {
      if (m.Kind == MarkupKind::Text) continue;  // an opener that found no closer
      TextRun(at, m.Begin, inNick);
      out_.push_back(m);
      if (m.Kind == MarkupKind::NickOpen) inNick = true;
      if (m.Kind == MarkupKind::NickClose) inNick = false;
      at = m.End;
    }
    TextRun(at, s_.size(), inNick);
    return std::move(out_);
  }

 private:
  // Colour codes, line breaks and nick pairs, in one pass: an opener waits for a closer until the
  // end of its line, and is text (Kind Text) when none comes.
  std::vector<MarkupPiece> Marks() const {
    std::vector<MarkupPiece> marks;
    std::optional<std::size_t> open;
    auto endLine = [&] {
      if (open) marks[*open].Kind = MarkupKind::Text;
      open.reset();
    };
    const std::size_t n = s_.size();
    for (std::size_t i = 0; i < n;) {
      TColor colour = 0;
      const char c = s_[i];
      if (c == '#' && ColourAt(s_, i, colour)) {
        marks.push_back({MarkupKind::Colour, i, i + kColourCodeLength, colour});
        i += kColourCodeLength;
      } else if (c == '\r' || c == '\n') {
        endLine();
        const std::size_t end = c == '\r' && i + 1 < n && s_[i + 1] == '\n' ? i + 2 : i + 1;
        marks.push_back({MarkupKind::Break, i, end});
        i = end;
      } else if (rules_.NickPairs && !open && s_.substr(i, 2) == kNickPairOpen &&
                 !ColourAt(s_, i + 1, colour)) {
        open = marks.size();
        marks.push_back({MarkupKind::NickOpen, i, i + kNickPairOpen.size()});
        i += kNickPairOpen.size();
      } else if (open && s_.substr(i, 3) == kNickPairClose) {
        marks.push_back({MarkupKind::NickClose, i, i + kNickPairClose.size()});
        open.reset();
        i += kNickPairClose.size();
      } else {
        ++i;
      }
    }
    endLine();
    return marks;
  }

  void Text(std::size_t begin, std::size_t end) {
    if (begin == end) return;
    if (!out_.empty() && out_.back().Kind == MarkupKind::Text && out_.back().End == begin) {
      out_.back().End = end;
    } else {
      out_.push_back({MarkupKind::Text, begin, end});
    }
  }

  // The text between two markers: smiley codes in table order, each at all its free places, then
  // links in what lies between the codes.
  void TextRun(std::size_t begin, std::size_t end, bool inNick) {
    if (begin == end) return;
    const bool links = rules_.Links && !inNick;
    if (rules_.Smileys.empty()) {
      if (links) {
        LinkRun(begin, end);
      } else {
        Text(begin, end);
      }
      return;
    }
    const std::string_view run = s_.substr(begin, end - begin);
    taken_.assign(run.size(), false);
    startCode_.assign(run.size(), -1);
    for (std::size_t ci = 0; ci < rules_.Smileys.size(); ++ci) {
      const std::string& code = rules_.Smileys[ci];
      if (!UsableCode(code)) continue;
      for (std::size_t p = 0; (p = run.find(code, p)) != std::string_view::npos;) {
        const auto from = taken_.begin() + static_cast<std::ptrdiff_t>(p);
        const auto to = from + static_cast<std::ptrdiff_t>(code.size());
        if (std::find(from, to, true) != to) {
          ++p;
          continue;
        }
        std::fill(from, to, true);
        startCode_[p] = static_cast<int>(ci);
        p += code.size();
      }
    }
    std::size_t segment = 0;
    for (std::size_t q = 0; q < run.size();) {
      if (startCode_[q] < 0) {
        ++q;
        continue;
      }
      const std::size_t length = rules_.Smileys[static_cast<std::size_t>(startCode_[q])].size();
      if (links) {
        LinkRun(begin + segment, begin + q);
      } else {
        Text(begin + segment, begin + q);
      }
      MarkupPiece smiley{MarkupKind::Smiley, begin + q, begin + q + length};
      smiley.Smiley = startCode_[q];
      out_.push_back(smiley);
      q += length;
      segment = q;
    }
    if (links) {
      LinkRun(begin + segment, end);
    } else {
      Text(begin + segment, end);
    }
  }

  void LinkRun(std::size_t begin, std::size_t end) {
    std::size_t text = begin;
    for (std::size_t i = begin; i < end;) {
      const std::size_t prefix = i == begin || !IsWordByte(s_[i - 1]) ? LinkPrefixAt(s_, i, end) : 0;
      std::size_t e = i + prefix;
      while (prefix > 0 && e < end && IsLinkByte(s_[e])) ++e;
      if (prefix == 0 || e == i + prefix) {
        ++i;
        continue;
      }
      std::size_t t = e;
      while (t > i && IsTrailingPunctuation(s_[t - 1])) --t;
      if (t - i >= 5) {
        Text(text, i);
        out_.push_back({MarkupKind::Link, i, t});
        text = t;
      }
      i = e;
    }
    Text(text, end);
  }

  std::string_view s_;
  const MarkupRules& rules_;
  std::vector<MarkupPiece> out_;
  std::vector<bool> taken_;     // per byte of a text run: part of a smiley code
  std::vector<int> startCode_;  // per byte of a text run: the code that starts there, or -1
};

}  // namespace

std::string ColourCode(TColor colour) {
  return std::string(kColourCodeStart) + ColorToRgb(colour);
}

std::string NickPair(std::string_view nick) {
  std::string out;
  out.reserve(kNickPairOpen.size() + nick.size() + kNickPairClose.size());
  out += kNickPairOpen;
  out += nick;
  out += kNickPairClose;
  return out;
}

std::vector<MarkupPiece> ParseMarkup(std::string_view line, const MarkupRules& rules) {
  return TParser(line, rules).Run();
}

std::string MarkupToPlain(std::string_view line) {
  MarkupRules rules;
  rules.Links = false;
  std::string plain;
  plain.reserve(line.size());
  for (const MarkupPiece& piece : ParseMarkup(line, rules)) {
    if (!IsMarker(piece.Kind)) plain += line.substr(piece.Begin, piece.End - piece.Begin);
  }
  return plain;
}

}  // namespace plumo
