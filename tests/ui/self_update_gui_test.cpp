// SPDX-License-Identifier: GPL-3.0-or-later
// "Update Plumo" over a real window: without a source or a writable program folder it only says
// why; agreed, it writes the updater next to the program, starts it with the program, the source
// and the restart arguments, and closes the chat; declined, nothing happens.
#include <sys/stat.h>

#include <QAction>

#include <fstream>

#include "ui/self_update.h"
#include "ui/tray_icon.h"
#include "update/result.h"
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

TEST_F(SelfUpdateTest, TheRestartedChatTellsTheUpdatersOutcomeOnce) {
  const struct {
    const char* name;
    std::string resultFile;  // "" for none
    bool away;               // the window is hidden when the chat starts
    const char* console;     // what the console says, "" for nothing
    bool oldProgramRemoved;  // the kept old program is gone
  } cases[] = {
      {"updated", "outcome=updated\nversion=0.6.0\n", false, "Updated to 0.6.0.", true},
      {"refused while away", "outcome=signature\nversion=0.5.1\n", true,
       "The update failed: signature does not match; you still have 0.5.1.", false},
      {"replayed release", "outcome=not-newer\nversion=0.5.1\n", false,
       "The update failed: the release is not newer than this version; you still have 0.5.1.", false},
      {"no update", "", false, "", false},
      {"unreadable result", "outcome=whatever\n", false, "", false},
  };
  int host = 20;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WindowPeer ann(lan, "198.18.3." + std::to_string(++host), "ann");
    const fs::path folder = ann.dir / "bin";
    fs::create_directories(folder);
    std::ofstream(folder / "plumo.old") << "old";
    if (!c.resultFile.empty()) std::ofstream(folder / update::kResultFile) << c.resultFile;
    TrayIcon tray(*ann.form, *ann.core, true);
    QStringList notified;
    tray.Notify = [&](const QString& title, const QString& text) {
      notified << title + QStringLiteral(": ") + text;
    };
    if (c.away) {
      ann.form->hide();  // started hidden, to the notification area
    } else {
      QApplication::setActiveWindow(ann.form.get());
    }
    SelfUpdateEnv env;
    env.ProgramPath = (folder / "plumo").string();
    SelfUpdate update(*ann.form, *ann.core, env);
    update.ReportLastUpdate();
    update.ReportLastUpdate();  // told once: the result file is taken

    ann.form->show();
    ann.ClickTab(ann.Channels(), 0);
    const QString added = ann.DisplayText();
    if (*c.console) {
      EXPECT_EQ(added.count(QString::fromLatin1(c.console)), 1) << added.toStdString();
    } else {
      EXPECT_FALSE(added.contains(QStringLiteral("pdate"))) << added.toStdString();
    }
    EXPECT_EQ(notified.size(), c.away ? 1 : 0) << notified.join(QStringLiteral("|")).toStdString();
    if (c.away && !notified.isEmpty()) {
      EXPECT_TRUE(notified.first().contains(QString::fromLatin1(c.console)));
    }
    EXPECT_FALSE(fs::exists(folder / update::kResultFile));
    EXPECT_EQ(!fs::exists(folder / "plumo.old"), c.oldProgramRemoved);
  }
}

}  // namespace
}  // namespace plumo::uitest
