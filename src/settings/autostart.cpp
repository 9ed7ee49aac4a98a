// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/autostart.h"

#include <cstdlib>
#include <fstream>
#include <system_error>

#include "lang/text_helpers.h"

namespace plumo {

namespace fs = std::filesystem;

fs::path XdgConfigHome() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') return fs::path(xdg);
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0')
    return fs::path(home) / ".config";
  return {};
}

fs::path AutostartEntryPath(const fs::path& configHome) {
  return configHome / "autostart" / "plumo.desktop";
}

namespace {

// An argument of Exec in double quotes: the quote, backquote, dollar sign and backslash are
// escaped with a backslash, and every backslash is doubled once more for the string value itself.
std::string QuotedExecArgument(const std::string& path) {
  std::string quoted = "\"";
  for (const char c : path) {
    if (c == '"' || c == '`' || c == '$') {
      quoted += "\\\\";
    } else if (c == '\\') {
      quoted += "\\\\\\";
    }
    quoted += c;
  }
  return quoted + "\"";
}

// A string value of the entry: a control character (a line break) is a blank, a backslash is
// escaped.
std::string EntryString(const std::string& text) {
  return ReplaceAll(ControlsToBlanks(text), "\\", "\\\\", false);
}

}  // namespace

std::string AutostartEntry(const std::string& programPath, const std::string& programDir,
                           const std::string& comment) {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Plumo\n"
         "Comment=" +
         EntryString(comment) +
         "\n"
         "Exec=" +
         QuotedExecArgument(programPath) + " --dir " + QuotedExecArgument(programDir) +
         "\n"
         "Icon=plumo\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

bool ApplyAutoStart(bool enabled, const fs::path& configHome, const std::string& programPath,
                    const std::string& programDir, const std::string& comment) {
  if (configHome.empty()) return false;
  const fs::path entry = AutostartEntryPath(configHome);
  std::error_code ec;
  if (!enabled) {
    fs::remove(entry, ec);
    return !ec;
  }
  if ((programPath + programDir).find_first_of("\r\n") != std::string::npos) return false;
  fs::create_directories(entry.parent_path(), ec);
  if (ec) return false;
  // Written beside and renamed over, so that a session never reads half an entry.
  const fs::path temp = entry.string() + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << AutostartEntry(programPath, programDir, comment);
    out.flush();
    if (!out) {
      fs::remove(temp, ec);
      return false;
    }
  }
  fs::rename(temp, entry, ec);
  if (ec) fs::remove(temp, ec);
  return !ec && fs::exists(entry);
}

}  // namespace plumo
