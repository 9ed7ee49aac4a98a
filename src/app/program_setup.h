// SPDX-License-Identifier: GPL-3.0-or-later
// The start-up steps the window and the headless peer share before they build their core: the
// program's directory, the conversation log, and the engine's host.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/conversation_log.h"
#include "lang/fs_path.h"

namespace plumo {

class QtEngineHost;
class TPlumo;

// Makes the program's directory when it is missing and gives it the shipped language files when it
// has none; false, with the reason on standard error, when the directory cannot be made.
bool PrepareProgramDir(const std::string& dir, const std::string& programPath);
// The folder of the language files shipped with the program at programPath (empty when none).
FsPath ShippedLanguageDir(const std::string& programPath);
// Whether the language file to use (language, else the one chat.ini names, else the default) is in
// dir; when it is not, says so on standard error: a language file is never made up empty.
bool LanguageFileThere(const std::string& dir, const std::string& language);
// The conversation log named by file, in log (left empty when file is); false, with the reason on
// standard error, when the file cannot be opened.
bool OpenConversationLog(const std::string& file, std::unique_ptr<ConversationLog>& log);
// The core's attach function for a host: the host drives each engine the core builds and lets go
// of it before it is destroyed.
std::function<void(TPlumo*)> AttachTo(QtEngineHost& host);

}  // namespace plumo
