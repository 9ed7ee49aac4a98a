#include "app/program_setup.h"

#include <cstdio>
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
