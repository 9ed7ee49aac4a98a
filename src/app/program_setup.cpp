#include "app/program_setup.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "app/headless.h"
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
  CopyShippedLanguages(dir, programPath);
  return true;
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
