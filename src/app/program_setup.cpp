// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/program_setup.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "app/headless.h"
#include "core/settings.h"
#include "host/qt_engine_host.h"

namespace plumo {

bool PrepareProgramDir(const std::string& dir, const std::string& programPath) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (!std::filesystem::is_directory(dir)) {
    std::fprintf(stderr, "plumo: cannot create the program directory %s\n", dir.c_str());
    return false;
  }
  // Settings, topics and the history are written here: a directory that cannot take a file would
  // lose them all silently.
  const std::filesystem::path probe = std::filesystem::path(dir) / ".plumo-write-test";
  const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) {
    std::fprintf(stderr, "plumo: the program directory %s cannot be written: %s\n", dir.c_str(),
                 std::strerror(errno));
    return false;
  }
  ::close(fd);
  std::filesystem::remove(probe, ec);
  CopyShippedFiles(dir, programPath);
  return true;
}

FsPath ShippedLanguageDir(const std::string& programPath) {
  const std::string data = ShippedDataDir(programPath);
  return data.empty() ? FsPath() : FsPath::FromUtf8(data) / "lang";
}

bool LanguageFileThere(const std::string& dir, const std::string& language) {
  namespace fs = std::filesystem;
  std::string file = language;
  if (file.empty()) {
    const TIniFile ini((fs::path(dir) / "chat.ini").string());
    file = ReadLanguageSetting(ini);
  }
  file = fs::path(file).filename().string();
  std::error_code ec;
  if (!file.empty() && fs::is_regular_file(fs::path(dir) / file, ec)) return true;
  std::fprintf(stderr, "plumo: no language file %s in %s or among the shipped ones\n", file.c_str(),
               dir.c_str());
  return false;
}

bool OpenConversationLog(const std::string& file, std::unique_ptr<ConversationLog>& log) {
  if (file.empty()) return true;
  std::string error;
  log = ConversationLog::Open(file, &error);
  if (!log) std::fprintf(stderr, "plumo: cannot open the log file %s: %s\n", file.c_str(), error.c_str());
  return log != nullptr;
}

std::function<void(TPlumo*)> AttachTo(QtEngineHost& host) {
  return [&host](TPlumo* engine) {
    if (engine) {
      host.Attach(*engine);
    } else {
      host.Detach();
    }
  };
}

}  // namespace plumo
