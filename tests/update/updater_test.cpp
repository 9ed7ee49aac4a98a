// plumo-update run as the chat runs it, against release folders given as file:// addresses: a good
// release is put in place and the new program started; every failure keeps the old program, leaves
// no partial file and starts the old one.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "../lang/tempdir.h"
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

TEST(Updater, RefusesUnknownSourcesAndArguments) {
  Options options;
  EXPECT_FALSE(ParseArguments({"--program", "/p"}, options));
  EXPECT_FALSE(ParseArguments({"--program", "/p", "--source"}, options));
  EXPECT_FALSE(ParseArguments({"--program", "/p", "--source", "http://h/", "--wait", "x"}, options));
  ASSERT_TRUE(ParseArguments({"--program", "/p", "--source", "scp://h/", "--", "--dir", "d"}, options));
  EXPECT_EQ(options.restart, (std::vector<std::string>{"--dir", "d"}));
  EXPECT_EQ(Update(options), Outcome::BadSource);
}

}  // namespace
}  // namespace plumo::update
