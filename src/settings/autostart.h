// SPDX-License-Identifier: GPL-3.0-or-later
// The autostart switch as an XDG autostart entry: a desktop entry "plumo.desktop" in the autostart
// folder of the user's configuration directory, which desktop sessions start at log-in.
#pragma once

#include <filesystem>
#include <string>

namespace plumo {

// $XDG_CONFIG_HOME when it is set to an absolute path, else $HOME/.config (empty when neither is
// known).
std::filesystem::path XdgConfigHome();
// configHome/autostart/plumo.desktop
std::filesystem::path AutostartEntryPath(const std::filesystem::path& configHome);
// The entry that starts the program at programPath over the program directory programDir
// ("--dir"), each quoted for the Exec key; comment (UTF-8) is what the session's list of startup
// programs says of it, on one line.
std::string AutostartEntry(const std::string& programPath, const std::string& programDir,
                           const std::string& comment);
// Writes the entry (enabled) or removes it (not enabled). False when the folder or the file could
// not be written or removed, or when a path cannot stand in an entry (a line break); then nothing
// changes.
bool ApplyAutoStart(bool enabled, const std::filesystem::path& configHome, const std::string& programPath,
                    const std::string& programDir, const std::string& comment);

}  // namespace plumo
