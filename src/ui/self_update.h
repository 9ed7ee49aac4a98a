// SPDX-License-Identifier: GPL-3.0-or-later
// The program menu's "Update Plumo" (UpdatePlumo1): after the user agrees, the updater carried
// inside the program is written next to the program and started detached, and the chat closes
// (saving its settings); the updater replaces the program with a verified release and restarts it.
// The update source is the [Main] key "UpdateSource" of chat.ini (the address of a release
// folder); without one, or where the program's folder is not writable (a package installed for
// the whole system), the console says why and nothing else happens. When the chat starts after an
// update, ReportLastUpdate tells the user the updater's outcome.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <string>
#include <vector>

namespace plumo {

class TChatCore;
class TForm1;

struct SelfUpdateEnv {
  std::string ProgramPath;               // the running program
  std::vector<std::string> RestartArgs;  // its arguments, for the restart
  QString UpdaterResource = QStringLiteral(":/plumo-update");
  // Starts the updater detached; false when it could not be started. Default: QProcess.
  std::function<bool(const std::string& program, const std::vector<std::string>& args)> Start;
};

class SelfUpdate : public QObject {
  Q_OBJECT

 public:
  // Enables the window's UpdatePlumo1 and runs UpdatePlumo1Click when it is chosen.
  SelfUpdate(TForm1& form, TChatCore& core, SelfUpdateEnv env);

  void UpdatePlumo1Click();
  // Takes the result the updater left beside the program (see update/result.h) and tells it: in the
  // console, and as a notification while the window is away. After a successful update the old
  // program kept beside the new one is removed, since the new one has now started.
  void ReportLastUpdate();

 private:
  void Confirmed();
  // A message of the language file (code page 1251).
  std::string Message(const char* key);

  TForm1& form_;
  TChatCore& core_;
  SelfUpdateEnv env_;
};

}  // namespace plumo
