// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/texts.h"

#include <cstdio>
#include <ctime>

#include "lang/lng.h"

namespace plumo {

namespace {
std::tm Broken(std::int64_t localMs) {
  std::int64_t seconds = localMs / 1000;
  if (localMs < 0 && localMs % 1000 != 0) --seconds;
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  return tm;
}
}  // namespace

std::string TimeText(std::int64_t localMs) {
  const std::tm tm = Broken(localMs);
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
  return text;
}

std::string DateTimeText(std::int64_t localMs) {
  const std::tm tm = Broken(localMs);
  char text[48];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d:%02d", tm.tm_mday, tm.tm_mon + 1,
                tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return text;
}

std::string TrimText(const std::string& text) {
  std::size_t b = 0;
  std::size_t e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
  return text.substr(b, e - b);
}

std::string FormatOptional(const std::string& format, std::vector<std::string> args, std::size_t optional) {
  if (optional >= args.size() || !TrimText(args[optional]).empty()) return FormatText(format, args);
  // A mark no text of the program contains stands in for the blank argument, then goes with its
  // brackets.
  const std::string mark = "\x01";
  args[optional] = mark;
  std::string text = FormatText(format, args);
  for (const std::string& hole : {" (" + mark + ")", "(" + mark + ")", mark}) {
    for (std::size_t at; (at = text.find(hole)) != std::string::npos;) text.erase(at, hole.size());
  }
  return text;
}

TNameValueList ParseNameValues(const std::string& text) {
  TNameValueList list;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    if (!line.empty()) {
      const std::size_t eq = line.find('=');
      if (eq == std::string::npos) {
        list.Add(line, "");
      } else {
        list.Add(line.substr(0, eq), line.substr(eq + 1));
      }
    }
    pos = end + 1;
  }
  return list;
}

}  // namespace plumo
