// SPDX-License-Identifier: GPL-3.0-or-later
// "Update Plumo" over a real window: without a source or a writable program folder it only says
// why; agreed, it writes the updater next to the program, starts it with the program, the source
// and the restart arguments, and closes the chat; declined, nothing happens.
#include <sys/stat.h>

#include <QAction>

#include <fstream>

#include "ui/self_update.h"
#include "window_fixture.h"

namespace plumo::uitest {
namespace {

using SelfUpdateTest = WindowTest;

TEST_F(SelfUpdateTest, UpdateRunsOnlyWithASourceAWritableFolderAndConsent) {
  const struct {
    const char* name;
    std::string ini;
    bool writableFolder;
    std::optional<std::string> answer;  // the update question: an answer is Yes
    const char* console;                // what the console says, "" for nothing
    bool started;
  } cases[] = {
      {"no source", "", true, "", "No update source", false},
      {"system-wide install", "UpdateSource=https://example.invalid/plumo/\n", false, "", "package manager",
       false},
      {"declined", "UpdateSource=https://example.invalid/plumo/\n", true, std::nullopt, "", false},
      {"agreed", "UpdateSource=https://example.invalid/plumo/\n", true, "", "", true},
  };
  int host = 10;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ui::DialogAnswers::Reset();
    WindowPeer ann(lan, "198.18.3." + std::to_string(++host), "ann", c.ini);
    const fs::path folder = c.writableFolder ? ann.dir / "bin" : fs::path("/nonexistent-plumo-folder");
    fs::create_directories(ann.dir / "bin");
    const fs::path resource = ann.dir / "updater-resource";
    std::ofstream(resource) << "#!/bin/sh\n";
    std::vector<std::string> startedWith;
    SelfUpdateEnv env;
    env.ProgramPath = (folder / "plumo").string();
    env.RestartArgs = {"--dir", "d"};
    env.UpdaterResource = QString::fromStdString(resource.string());
    env.Start = [&](const std::string& program, const std::vector<std::string>& args) {
      startedWith = args;
      startedWith.insert(startedWith.begin(), program);
      return true;
    };
    auto* update = new SelfUpdate(*ann.form, *ann.core, env);
    ASSERT_TRUE(ann.Find<QAction>("UpdatePlumo1")->isEnabled());
    ui::DialogAnswers::SetNextInputAnswer(c.answer);
    ann.Find<QAction>("UpdatePlumo1")->trigger();

    ann.ClickTab(ann.Channels(), 0);
    if (*c.console) {
      EXPECT_TRUE(ann.DisplayText().contains(QString::fromLatin1(c.console)))
          << ann.DisplayText().toStdString();
    }
    EXPECT_EQ(!startedWith.empty(), c.started);
    EXPECT_EQ(ann.core->HasEngine(), !c.started);
    if (c.started) {
      const std::string updater = (folder / "plumo-update").string();
      EXPECT_EQ(startedWith, (std::vector<std::string>{updater, "--program", env.ProgramPath, "--source",
                                                       "https://example.invalid/plumo/", "--wait",
                                                       std::to_string(getpid()), "--", "--dir", "d"}));
      struct stat info {};
      ASSERT_EQ(stat(updater.c_str(), &info), 0);
      EXPECT_NE(info.st_mode & S_IXUSR, 0U);
    }
    delete update;
  }
}

}  // namespace
}  // namespace plumo::uitest
