// SPDX-License-Identifier: GPL-3.0-or-later
// The updater against release folders given as file:// addresses and over HTTP: only a release
// signed with the trusted key, newer than the running version and arriving whole replaces the
// program; every refusal keeps the old program in place, leaves no partial file and says why in the
// result file the restarted chat reads.
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
#include <functional>
#include <set>
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

std::set<std::string> Names(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
  return names;
}

// A release of program in folder, version given, signed with secretKey.
void Publish(const fs::path& folder, const std::string& program, const std::string& version,
             const std::string& secretKey) {
  fs::create_directories(folder);
  Write(folder / "plumo", program);
  Manifest manifest = *DescribeFile((folder / "plumo").string());
  manifest.Version = version;
  manifest.Date = "2026-12-07";
  const std::string text = ManifestText(manifest);
  Write(folder / "plumo.manifest", text);
  Write(folder / "plumo.sig", Sign(text, secretKey) + "\n");
}

struct Keys {
  std::string Public, Secret;
  Keys() { MakeKeyPair(Public, Secret); }
};

TEST(Updater, InstallsOnlyASignedNewerCompleteRelease) {
  const Keys ours;
  const Keys theirs;
  const auto flip = [](const fs::path& file, std::size_t at) {
    std::string text = Read(file);
    text[at] = static_cast<char>(text[at] == '0' ? '1' : '0');
    Write(file, text);
  };
  const struct {
    const char* name;
    const char* version;
    bool signedByUs;
    std::function<void(const fs::path& release, const fs::path& install)> spoil;
    Outcome outcome;
  } cases[] = {
      {"good release", "0.6.0", true, nullptr, Outcome::Updated},
      {"signed with another key", "0.6.0", false, nullptr, Outcome::BadSignature},
      {"forged signature", "0.6.0", true,
       [&](const fs::path& r, const fs::path&) { flip(r / "plumo.sig", 5); }, Outcome::BadSignature},
      {"manifest changed after signing", "0.6.0", true,
       [&](const fs::path& r, const fs::path&) {
         Write(r / "plumo.manifest", "version=0.7.0\n" + Read(r / "plumo.manifest"));
       },
       Outcome::BadSignature},
      {"no signature", "0.6.0", true, [](const fs::path& r, const fs::path&) { fs::remove(r / "plumo.sig"); },
       Outcome::BadSignature},
      {"signed but unreadable manifest", "0.6.x", true, nullptr, Outcome::BadManifest},
      {"replay of the running version", "0.5.1", true, nullptr, Outcome::NotNewer},
      {"replay of an older version", "0.4.9", true, nullptr, Outcome::NotNewer},
      {"tampered program byte", "0.6.0", true,
       [&](const fs::path& r, const fs::path&) { flip(r / "plumo", 12); }, Outcome::Mismatch},
      {"truncated download", "0.6.0", true,
       [](const fs::path& r, const fs::path&) { Write(r / "plumo", Read(r / "plumo").substr(0, 10)); },
       Outcome::Mismatch},
      {"program longer than signed", "0.6.0", true,
       [](const fs::path& r, const fs::path&) { Write(r / "plumo", Read(r / "plumo") + "rm -rf ~\n"); },
       Outcome::Mismatch},
      {"no program", "0.6.0", true, [](const fs::path& r, const fs::path&) { fs::remove(r / "plumo"); },
       Outcome::FetchFailed},
      {"new program cannot be written", "0.6.0", true,
       [](const fs::path&, const fs::path& i) { fs::create_directories(i / ".plumo-update.new" / "x"); },
       Outcome::ReplaceFailed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir temp;
    const fs::path install = fs::path(temp.Path()) / "install";
    const fs::path release = fs::path(temp.Path()) / "release";
    fs::create_directories(install);
    Write(install / "plumo", Program("old"), true);
    Publish(release, Program("new"), c.version, c.signedByUs ? ours.Secret : theirs.Secret);
    if (c.spoil) c.spoil(release, install);
    const std::set<std::string> before = Names(install);

    Options options;
    options.Program = (install / "plumo").string();
    options.Source = "file://" + release.string();
    options.CurrentVersion = "0.5.1";
    options.PublicKey = ours.Public;
    const Outcome outcome = UpdateAndReport(options);
    EXPECT_EQ(outcome, c.outcome) << Describe(outcome).Name;

    const bool updated = c.outcome == Outcome::Updated;
    EXPECT_EQ(Read(install / "plumo"), Program(updated ? "new" : "old"));
    const std::optional<Result> result = TakeResult(install);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->What, c.outcome);
    EXPECT_EQ(result->Version, updated ? "0.6.0" : "0.5.1");
    if (updated) {
      // The old program stays beside the new one until the new one has started.
      EXPECT_EQ(Read(install / "plumo.old"), Program("old"));
      fs::remove(install / "plumo.old");
      struct stat info {};
      ASSERT_EQ(stat((install / "plumo").c_str(), &info), 0);
      EXPECT_NE(info.st_mode & S_IXUSR, 0U);
    }
    EXPECT_EQ(Names(install), before) << "files left behind";
  }
}

TEST(Updater, TheProgramRefusesAReleaseNotSignedWithItsKeyAndRestartsTheOldOne) {
  const Keys stranger;
  ASSERT_NE(stranger.Public, BuiltInPublicKey());
  testing::TempDir temp;
  const fs::path install = fs::path(temp.Path()) / "install";
  const fs::path release = fs::path(temp.Path()) / "release";
  fs::create_directories(install);
  Write(install / "plumo", Program("old"), true);
  Publish(release, Program("new"), "999.0", stranger.Secret);
  const fs::path marker = fs::path(temp.Path()) / "started";
  const std::string command = std::string(PLUMO_UPDATER) + " --program " + (install / "plumo").string() +
                              " --source file://" + release.string() + " --wait 0 -- " + marker.string() +
                              " 2>/dev/null";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(WaitForFile(marker), "old\n");
  EXPECT_EQ(Read(install / kResultFile), "outcome=signature\nversion=" + std::string(BuildVersion()) + "\n");
}

TEST(Updater, VersionsCompareByNumbers) {
  const struct {
    const char* a;
    const char* b;
    int sign;
  } cases[] = {
      {"0.10", "0.9", 1}, {"1.0", "1", 0}, {"0.5.1.1", "0.5.1", 1}, {"0.5.1", "0.6.0", -1}, {"2", "10", -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
    const int got = CompareVersions(c.a, c.b);
    EXPECT_EQ((got > 0) - (got < 0), c.sign);
    EXPECT_EQ(-((got > 0) - (got < 0)), (CompareVersions(c.b, c.a) > 0) - (CompareVersions(c.b, c.a) < 0));
  }
}

// A release server on the loopback of a private network namespace: it serves the release, answers
// 404 for a missing program, or cuts the program's transfer in half.
constexpr const char kServer[] = R"(import http.server, sys, os
folder = sys.argv[2]
mode = sys.argv[3]
class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        name = os.path.basename(self.path)
        path = os.path.join(folder, name)
        if name not in ('plumo', 'plumo.manifest', 'plumo.sig') or (name == 'plumo' and mode == 'missing'):
            self.send_error(404)
            return
        data = open(path, 'rb').read()
        self.send_response(200)
        self.send_header('Content-Length', str(len(data)))
        self.end_headers()
        self.wfile.write(data[:len(data) // 2] if name == 'plumo' and mode == 'interrupt' else data)
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

TEST(Updater, OverHttpATransferCutInHalfOrMissingKeepsTheOldProgram) {
  if (const std::string why = ::plumo::testing::EnterPrivateNetwork(); !why.empty()) GTEST_SKIP() << why;
  const Keys keys;
  const struct {
    const char* mode;
    Outcome outcome;
  } cases[] = {
      {"good", Outcome::Updated}, {"interrupt", Outcome::FetchFailed}, {"missing", Outcome::FetchFailed}};
  int port = 18080;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    testing::TempDir temp;
    const fs::path root = temp.Path();
    fs::create_directories(root / "install");
    Write(root / "install" / "plumo", Program("old"), true);
    // Large enough that half of it is a transfer really cut short, not one write.
    Publish(root / "release", Program("new") + "#" + std::string(200000, 'x') + "\n", "0.6.0", keys.Secret);
    Write(root / "server.py", kServer);
    const std::string portText = std::to_string(++port);
    const pid_t server = fork();
    if (server == 0) {
      execlp("python3", "python3", (root / "server.py").c_str(), portText.c_str(), (root / "release").c_str(),
             c.mode, static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 100 && !Listening(port); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(Listening(port)) << "no release server";
    Options options;
    options.Program = (root / "install" / "plumo").string();
    options.Source = "http://127.0.0.1:" + portText + "/release/";
    options.CurrentVersion = "0.5.1";
    options.PublicKey = keys.Public;
    const Outcome outcome = UpdateAndReport(options);
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    EXPECT_EQ(outcome, c.outcome);
    EXPECT_EQ(Read(root / "install" / "plumo").substr(0, 20),
              Program(c.outcome == Outcome::Updated ? "new" : "old").substr(0, 20));
    EXPECT_FALSE(fs::exists(root / "install" / ".plumo-update.new"));
    EXPECT_EQ(fs::exists(root / "install" / "plumo.old"), c.outcome == Outcome::Updated);
  }
}

TEST(Updater, RefusesUnknownSourcesAndArguments) {
  Options options;
  EXPECT_FALSE(ParseArguments({"--program", "/p"}, options));
  EXPECT_FALSE(ParseArguments({"--program", "/p", "--source"}, options));
  EXPECT_FALSE(ParseArguments({"--program", "/p", "--source", "http://h/", "--wait", "x"}, options));
  ASSERT_TRUE(ParseArguments({"--program", "/p", "--source", "scp://h/", "--", "--dir", "d"}, options));
  EXPECT_EQ(options.Restart, (std::vector<std::string>{"--dir", "d"}));
  std::string version;
  EXPECT_EQ(Update(options, version), Outcome::BadSource);
  EXPECT_EQ(version, BuildVersion());
}

}  // namespace
}  // namespace plumo::update
