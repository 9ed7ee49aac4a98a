// SPDX-License-Identifier: GPL-3.0-or-later
// The running programs as the program list of the settings names them: code-page text.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../lang/tempdir.h"
#include "core/surfaces.h"

namespace plumo {
namespace {

namespace fs = std::filesystem;

TEST(RunningPrograms, NamesFromExeCommandLineOrCommComeAsCodePageText) {
  const testing::TempDir temp;
  const fs::path proc = temp.Path();
  // "плеер" in UTF-8, as the system names files, and in code page 1251.
  const std::string utf8 = "\xd0\xbf\xd0\xbb\xd0\xb5\xd0\xb5\xd1\x80";
  const std::string cp1251 = "\xef\xeb\xe5\xe5\xf0";
  fs::create_directories(proc / "12");
  fs::create_symlink("/opt/bin/" + utf8, proc / "12" / "exe");  // the link alone is read
  fs::create_directories(proc / "13");
  std::ofstream(proc / "13" / "cmdline", std::ios::binary) << std::string("/usr/bin/x") + utf8 + '\0' + "--y";
  fs::create_directories(proc / "14");
  std::ofstream(proc / "14" / "comm") << "daemon\n";
  fs::create_directories(proc / "self");  // not a process number
  std::ofstream(proc / "self" / "comm") << "self\n";

  std::vector<std::string> names = ListRunningPrograms(proc.string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"daemon", "x" + cp1251, cp1251}));
}

}  // namespace
}  // namespace plumo
