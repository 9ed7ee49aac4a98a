// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/self_update.h"

#include <unistd.h>

#include <QAction>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>

#include <filesystem>

#include "core/chatcore.h"
#include "core/inifile.h"
#include "core/texts.h"
#include "ui/dialog_answers.h"
#include "ui/qt_text.h"
#include "ui/tform1.h"
#include "update/result.h"

namespace plumo {

namespace fs = std::filesystem;

SelfUpdate::SelfUpdate(TForm1& form, TChatCore& core, SelfUpdateEnv env)
    : QObject(&form), form_(form), core_(core), env_(std::move(env)) {
  if (!env_.Start) {
    env_.Start = [](const std::string& program, const std::vector<std::string>& args) {
      QStringList list;
      for (const std::string& a : args) list << QString::fromStdString(a);
      return QProcess::startDetached(QString::fromStdString(program), list);
    };
  }
  if (auto* item = form_.findChild<QAction*>(QStringLiteral("UpdatePlumo1"))) {
    item->setEnabled(true);
    connect(item, &QAction::triggered, this, [this] { UpdatePlumo1Click(); });
  }
}

std::string SelfUpdate::Message(const char* key) {
  const TMessageScope scope(core_.Messages());
  return core_.Messages().GetMessage(key);
}

void SelfUpdate::UpdatePlumo1Click() {
  const std::string source = TIniFile(core_.IniPath()).ReadString("Main", "UpdateSource", "");
  if (source.empty()) {
    core_.ConsoleError(Message("UpdateNoSource"));
    return;
  }
  const fs::path folder = fs::path(env_.ProgramPath).parent_path();
  if (access(folder.c_str(), W_OK) != 0) {
    core_.ConsoleError(Message("UpdateByPackages"));
    return;
  }
  std::string title;
  std::string question;
  {
    const TMessageScope scope(core_.Messages());
    title = core_.Messages().GetMessage("QUpdate");
    question = core_.Messages().GetMessage("ConfirmUpdate");
  }
  ui::DialogAnswers::RecordShown(question);
  std::optional<std::string> queued;
  if (ui::DialogAnswers::TakeInputAnswer(queued) || !ui::DialogAnswers::CanAsk()) {
    if (queued) Confirmed();
    return;
  }
  auto* box = new QMessageBox(QMessageBox::Question, ui::FromCp1251(title), ui::FromCp1251(question),
                              QMessageBox::Yes | QMessageBox::No, &form_);
  box->setAttribute(Qt::WA_DeleteOnClose);
  const QPointer<SelfUpdate> self(this);
  connect(box, &QDialog::finished, this, [self, box](int) {
    if (self && box->clickedButton() == box->button(QMessageBox::Yes)) self->Confirmed();
  });
  box->open();
}

void SelfUpdate::ReportLastUpdate() {
  const std::optional<update::Result> result = update::TakeResult(fs::path(env_.ProgramPath).parent_path());
  if (!result) return;
  const bool updated = result->What == update::Outcome::Updated;
  std::string text;
  std::string title;
  {
    const TMessageScope scope(core_.Messages());
    TMsgINISupp& messages = core_.Messages();
    title = messages.GetMessage("QUpdate");
    text = updated ? FormatText(messages.GetMessage("UpdateDone"), {result->Version})
                   : FormatText(messages.GetMessage("UpdateFailed"),
                                {messages.GetMessage(update::Describe(result->What).Key), result->Version});
  }
  if (updated) {
    std::error_code ec;
    fs::remove(env_.ProgramPath + update::kOldSuffix, ec);
  }
  core_.Tell(updated ? kOlive : kRed, text, title);
}

void SelfUpdate::Confirmed() {
  const std::string source = TIniFile(core_.IniPath()).ReadString("Main", "UpdateSource", "");
  const fs::path updater = fs::path(env_.ProgramPath).parent_path() / "plumo-update";
  // An updater left by an earlier update is replaced.
  QFile::remove(QString::fromStdString(updater.string()));
  if (!QFile::copy(env_.UpdaterResource, QString::fromStdString(updater.string())) ||
      !QFile::setPermissions(QString::fromStdString(updater.string()),
                             QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                 QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther)) {
    core_.ConsoleError(FormatText(Message("UpdaterNotWritten"), {Utf8ToCp1251(updater.string())}));
    return;
  }
  std::vector<std::string> args{"--program", env_.ProgramPath,         "--source", source,
                                "--wait",    std::to_string(getpid()), "--"};
  args.insert(args.end(), env_.RestartArgs.begin(), env_.RestartArgs.end());
  if (!env_.Start(updater.string(), args)) {
    core_.ConsoleError(Message("UpdaterNotStarted"));
    return;
  }
  form_.close();
}

}  // namespace plumo
