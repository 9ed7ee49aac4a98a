// SPDX-License-Identifier: GPL-3.0-or-later
// plumo-update run as the chat runs it, against release folders given as file:// addresses: a good
// release is put in place and the new program started; every failure keeps the old program, leaves
// no partial file and starts the old one.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "../lang/tempdir.h"
#include "netns_support.h"
#include "update/updater.h"

namespace plumo::update {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void Write(const fs::path& path, const std::string& text, bool executable = false) {
  std::ofstream(path, std::ios::binary) << text;
  if (executable) chmod(path.c_str(), 0755);
}

// A program that writes its name into the file named by its first argument when started.
std::string Program(const char* name) {
  return std::string("#!/bin/sh\necho ") + name + " > \"$1\"\n";
}

std::string WaitForFile(const fs::path& path) {
  for (int i = 0; i < 100 && Read(path).empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return Read(path);
}

TEST(Updater, ReplacesOnlyWithAVerifiedReleaseAndAlwaysRestarts) {
  struct Case {
    const char* name;
    bool publishProgram;
    const char* checksum;  // nullptr: no checksum file; "good": the new program's
    bool truncate;         // the published program is cut short (an interrupted transfer)
    std::string expected;  // the program that runs afterwards
  };
  const Case cases[] = {
      {"good release", true, "good", false, "new"},
      {"wrong checksum", true, "00000000000000000000000000000000000000000000000000000000000000ff", false,
       "old"},
      {"checksum file without a checksum", true, "<html>not found</html>", false, "old"},
      {"no checksum file", true, nullptr, false, "old"},
      {"no program file", false, "good", false, "old"},
      {"interrupted download", true, "good", true, "old"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir temp;
    const fs::path dir = fs::path(temp.Path()) / "install";
    const fs::path release = fs::path(temp.Path()) / "release";
    fs::create_directories(dir);
    fs::create_directories(release);
    Write(dir / "plumo", Program("old"), true);
    const std::string fresh = Program("new");
    Write(release / "plumo.full", fresh);
    const std::string good = FileSha256((release / "plumo.full").string());
    ASSERT_EQ(good.size(), 64U);
    if (c.publishProgram) Write(release / "plumo", c.truncate ? fresh.substr(0, fresh.size() / 2) : fresh);
    if (c.checksum) {
      Write(release / "plumo.sha256",
            std::string(c.checksum) == "good" ? good + "  plumo\n" : std::string(c.checksum) + "\n");
    }
    const fs::path marker = fs::path(temp.Path()) / "started";
    const std::string command = std::string(PLUMO_UPDATER) + " --program " + (dir / "plumo").string() +
                                " --source file://" + release.string() + " --wait 0 -- " + marker.string() +
                                " 2>/dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), c.expected == "new" ? 0 : 1);
    EXPECT_EQ(WaitForFile(marker), c.expected + "\n");
    EXPECT_EQ(Read(dir / "plumo"), Program(c.expected.c_str()));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1) << "files left behind";
  }
}

// A release server on the loopback of a private network namespace: it serves the checksum and the
// program, answers 404 for a missing program, or cuts the program's transfer in half.
constexpr const char kServer[] = R"(import http.server, sys
body = open(sys.argv[2], 'rb').read()
checksum = open(sys.argv[3], 'rb').read()
mode = sys.argv[4]
class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        program = self.path.endswith('/plumo')
        if program and mode == 'missing':
            self.send_error(404)
            return
        data = body if program else checksum if self.path.endswith('/plumo.sha256') else None
        if data is None:
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header('Content-Length', str(len(data)))
        self.end_headers()
        self.wfile.write(data[:len(data) // 2] if program and mode == 'interrupt' else data)
        self.wfile.flush()
        self.close_connection = True
    def log_message(self, *args):
        pass
http.server.HTTPServer(('127.0.0.1', int(sys.argv[1])), Handler).serve_forever()
)";

bool Listening(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

TEST(Updater, OverHttpAnInterruptedOrMissingDownloadKeepsTheOldProgram) {
  if (const std::string why = ::plumo::testing::EnterPrivateNetwork(); !why.empty()) GTEST_SKIP() << why;
  const struct {
    const char* mode;
    std::string expected;
  } cases[] = {{"good", "new"}, {"interrupt", "old"}, {"missing", "old"}};
  int port = 18080;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    testing::TempDir temp;
    const fs::path root = temp.Path();
    fs::create_directories(root / "install");
    Write(root / "install" / "plumo", Program("old"), true);
    Write(root / "new", Program("new"));
    Write(root / "sha", FileSha256((root / "new").string()) + "  plumo\n");
    Write(root / "server.py", kServer);
    const std::string portText = std::to_string(++port);
    const pid_t server = fork();
    if (server == 0) {
      execlp("python3", "python3", (root / "server.py").c_str(), portText.c_str(), (root / "new").c_str(),
             (root / "sha").c_str(), c.mode, static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 100 && !Listening(port); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(Listening(port)) << "no release server";
    const fs::path marker = root / "started";
    const std::string command =
        std::string(PLUMO_UPDATER) + " --program " + (root / "install" / "plumo").string() +
        " --source http://127.0.0.1:" + portText + "/release/ -- " + marker.string() + " 2>/dev/null";
    const int status = std::system(command.c_str());
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), c.expected == "new" ? 0 : 1);
    EXPECT_EQ(WaitForFile(marker), c.expected + "\n");
    EXPECT_EQ(Read(root / "install" / "plumo"), Program(c.expected.c_str()));
  }
}

TEST(Updater, RefusesUnknownSourcesAndArguments) {
  Options options;
  EXPECT_FALSE(ParseArguments({"--program", "/p"}, options));
  EXPECT_FALSE(ParseArguments({"--program", "/p", "--source"}, options));
  EXPECT_FALSE(ParseArguments({"--program", "/p", "--source", "http://h/", "--wait", "x"}, options));
  ASSERT_TRUE(ParseArguments({"--program", "/p", "--source", "scp://h/", "--", "--dir", "d"}, options));
  EXPECT_EQ(options.Restart, (std::vector<std::string>{"--dir", "d"}));
  EXPECT_EQ(Update(options), Outcome::BadSource);
}

}  // namespace
}  // namespace plumo::update
