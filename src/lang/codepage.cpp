// SPDX-License-Identifier: GPL-3.0-or-later
#include "lang/codepage.h"

#include "lang/text_helpers.h"

#include <algorithm>
#include <array>
#include <unordered_map>
#include <unordered_set>

#include "lang/lng.h"

namespace plumo {
namespace {

// Code points of the bytes 0x80 to 0xFF.
constexpr std::array<char16_t, 128> kHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, 0x0410,
    0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D,
    0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A,
    0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444,
    0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

const std::unordered_map<char32_t, char>& ReverseTable() {
  static const std::unordered_map<char32_t, char> kTable = [] {
    std::unordered_map<char32_t, char> t;
    for (int i = 0; i < 128; ++i) t.emplace(kHigh[i], static_cast<char>(0x80 + i));
    return t;
  }();
  return kTable;
}

constexpr char32_t kReplacementChar = 0xFFFD;

// One UTF-8 sequence at position i: its code point and length. A lead byte that starts no
// sequence, a sequence cut short by the end of the text or a missing continuation byte is invalid
// and one byte long.
struct Decoded {
  char32_t Cp = 0;
  std::size_t Length = 1;
  bool Valid = false;
};

Decoded DecodeAt(std::string_view utf8, std::size_t i) {
  const auto lead = static_cast<unsigned char>(utf8[i]);
  const int extra = lead < 0x80           ? 0
                    : (lead >> 5) == 0x6  ? 1
                    : (lead >> 4) == 0xE  ? 2
                    : (lead >> 3) == 0x1E ? 3
                                          : -1;
  if (extra < 0 || i + static_cast<std::size_t>(extra) >= utf8.size() + (extra == 0 ? 1 : 0)) return {};
  char32_t cp = extra == 0 ? lead : lead & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    const auto c = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
    if ((c & 0xC0) != 0x80) return {};
    cp = (cp << 6) | (c & 0x3F);
  }
  return {cp, static_cast<std::size_t>(extra) + 1, true};
}

// Characters that show nothing on their own: control characters, combining marks, zero-width
// spaces and joiners, direction marks, variation selectors and tags.
bool IsInvisible(char32_t cp) {
  const auto in = [cp](char32_t from, char32_t to) { return cp >= from && cp <= to; };
  return cp < 0x20 || in(0x7F, 0x9F) || in(0x0300, 0x036F) || in(0x1AB0, 0x1AFF) || in(0x1DC0, 0x1DFF) ||
         in(0x200B, 0x200F) || in(0x2028, 0x202E) || in(0x2060, 0x206F) || in(0x20D0, 0x20FF) ||
         in(0xFE00, 0xFE0F) || in(0xFE20, 0xFE2F) || cp == 0xFEFF || in(0xE0000, 0xE007F) ||
         in(0xE0100, 0xE01EF);
}

// "U+200D", "U+1F600": at least four hexadecimal digits.
std::string CodePointName(char32_t cp) {
  const auto value = static_cast<std::uint32_t>(cp);
  return "U+" + HexDigits(value, value > 0xFFFFF ? 6 : value > 0xFFFF ? 5 : 4);
}

}  // namespace

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

char32_t Cp1251ToUnicode(unsigned char byte) {
  return byte < 0x80 ? byte : kHigh[byte - 0x80];
}

char UnicodeToCp1251(char32_t cp) {
  if (cp < 0x80) return static_cast<char>(cp);
  const auto& table = ReverseTable();
  auto it = table.find(cp);
  return it == table.end() ? '?' : it->second;
}

std::string Cp1251ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) AppendUtf8(out, Cp1251ToUnicode(b));
  return out;
}

std::string Utf8ToCp1251(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const Decoded d = DecodeAt(utf8, i);
    out += d.Valid ? UnicodeToCp1251(d.Cp) : '?';
    i += d.Length;
  }
  return out;
}

std::vector<TUnencodableChar> UnencodableChars(std::string_view utf8) {
  std::vector<TUnencodableChar> found;
  std::unordered_set<char32_t> seen;
  for (std::size_t i = 0; i < utf8.size();) {
    const Decoded d = DecodeAt(utf8, i);
    i += d.Length;
    if (d.Valid && (d.Cp == U'?' || UnicodeToCp1251(d.Cp) != '?')) continue;
    // Surrogates and numbers beyond Unicode decode but cannot be shown; they count as invalid.
    const bool showable = d.Valid && d.Cp <= 0x10FFFF && (d.Cp < 0xD800 || d.Cp > 0xDFFF);
    const char32_t cp = showable ? d.Cp : kReplacementChar;
    if (!seen.insert(cp).second) continue;
    std::string text;
    AppendUtf8(text, cp);
    found.push_back({cp, std::move(text), '?'});
  }
  return found;
}

bool LosesVisibleCharacters(const std::vector<TUnencodableChar>& chars) {
  return std::any_of(chars.begin(), chars.end(),
                     [](const TUnencodableChar& c) { return !IsInvisible(c.CodePoint); });
}

std::string UnencodableWarning(std::string_view message, const std::vector<TUnencodableChar>& chars) {
  if (chars.empty()) return {};
  std::string list;
  for (const auto& c : chars) {
    if (!list.empty()) list += ", ";
    list += IsInvisible(c.CodePoint) ? CodePointName(c.CodePoint) : c.Utf8;
    list += " \u2192 ";  // rightwards arrow
    list += c.Replacement;
  }
  return FormatText(Cp1251ToUtf8(message), {list});
}

}  // namespace plumo
