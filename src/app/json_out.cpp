#include "app/json_out.h"

#include "lang/text_helpers.h"

#include <cstdio>

#include "lang/codepage.h"

namespace plumo {

std::string JsonString(const std::string& cp1251) {
  const std::string utf8 = Cp1251ToUtf8(cp1251);
  std::string out = "\"";
  for (const char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char esc[8];
          std::snprintf(esc, sizeof esc, "\\u%04x", c);
          out += esc;
        } else {
          out += ch;
        }
    }
  }
  return out + "\"";
}

std::string JsonFields(const TMStigs& fields) {
  std::string out = "[";
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out += ",";
    out += JsonString(fields[i]);
  }
  return out + "]";
}

namespace {
std::string JsonPeer(const std::string& address, const std::string& nick, char state,
                     const std::string& description) {
  return "{\"Address\":" + JsonString(address) + ",\"Nick\":" + JsonString(nick) +
         ",\"State\":" + JsonString(std::string(1, state)) +
         ",\"StateDescription\":" + JsonString(description) + "}";
}
}  // namespace

std::string JsonEntry(const AChuvakInfo& entry) {
  return JsonPeer(entry.Address, entry.Nick, entry.State, entry.StateDescription);
}

std::string JsonEntry(const RosterRow& row) {
  return JsonPeer(row.Address, row.Nick, row.State, row.Description);
}

std::string ReadableLine(const std::string& line, bool ansi) {
  std::string out;
  bool coloured = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '#' && i + 7 < line.size() && line[i + 1] == '^') {
      bool hex = true;
      for (std::size_t k = 2; k < 8; ++k) hex = hex && IsHexDigit(line[i + k]);
      if (hex) {
        if (ansi) {
          const int r = HexDigitValue(line[i + 2]) * 16 + HexDigitValue(line[i + 3]);
          const int g = HexDigitValue(line[i + 4]) * 16 + HexDigitValue(line[i + 5]);
          const int b = HexDigitValue(line[i + 6]) * 16 + HexDigitValue(line[i + 7]);
          if (r == 0 && g == 0 && b == 0) {
            out += "\x1b[0m";  // black text is the terminal's own colour
            coloured = false;
          } else {
            out += "\x1b[38;2;" + std::to_string(r) + ";" + std::to_string(g) + ";" + std::to_string(b) + "m";
            coloured = true;
          }
        }
        i += 7;
        continue;
      }
    }
    if (line.compare(i, 2, ":#") == 0) {
      const std::size_t end = line.find("^#K", i + 2);
      if (end != std::string::npos) {
        out += line.substr(i + 2, end - i - 2);
        i = end + 2;
        continue;
      }
    }
    if (line[i] == '\r') {
      if (i + 1 < line.size() && line[i + 1] == '\n') ++i;
      out += '\n';
      continue;
    }
    out += line[i];
  }
  if (coloured) out += "\x1b[0m";
  return Cp1251ToUtf8(out);
}

}  // namespace plumo
