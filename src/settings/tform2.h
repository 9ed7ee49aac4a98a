// SPDX-License-Identifier: GPL-3.0-or-later
// TForm2: the settings dialog. It edits, live, the values the main window and the core hold (the
// core's TSettings, the engine's information text) and writes chat.ini only through the core's full
// save, which runs each time the dialog loses activation. Five tabs: the sounds per mode with the
// chat switches, the information text, the automatic-mode program table, the bell table and the
// conversation history (kept or not, for how many days, how many lines a conversation shows when it
// opens, and deleting all of it).
//
// Questions never run a nested event loop: input boxes go through the window's AskText, the other
// boxes open with open() and answer through a callback. Tests (and scripted runs) answer them through
// DialogAnswers: a file dialog takes a queued answer as the chosen path, the colour dialog as the
// colour in chat.ini's notation, the yes/no question as Yes (an answer) or No (cancelled).
#pragma once

#include <QDialog>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/settings.h"
#include "core/surfaces.h"
#include "lang/lng.h"

class QMenu;
class QString;
class QTableWidget;

namespace Ui {
class TForm2;
}

namespace plumo {

class TChatCore;

// What the dialog needs from the main window.
struct TForm2Window {
  WindowSurface* Window = nullptr;  // input boxes (AskText)
  QMenu* LanguageMenu = nullptr;    // PopupMenu8
  // The hot-nick switches or the own colour changed in TSettings: the views are to follow.
  std::function<void()> ViewSettingsChanged;
};

class TForm2 : public QDialog, public TLanguageForm {
  Q_OBJECT

 public:
  // programPath: the program started by the autostart entry (over the core's program directory);
  // configHome: where that entry goes ($XDG_CONFIG_HOME, see XdgConfigHome).
  TForm2(TChatCore& core, TForm2Window window, std::string programPath, std::filesystem::path configHome,
         QWidget* parent = nullptr);
  ~TForm2() override;

  // Radio index -> state character: 0 -> '1', 1 -> '4', 2 -> '5'.
  static char ModeToStateChar(int index);
  // The radio index of a state, or -1 for a state without a sound set.
  static int StateToMode(char state);

  // The handlers (public so that the window and tests can run them as the controls do).
  void FormShow();
  void FormDeactivate();
  // The autostart box was clicked: the entry follows the setting.
  void ApplyAutoStart();
  void Memo1Exit();
  void RadioGroup1Click(int index);
  void Button1Click();
  void Button2Click();
  void Button3Click();
  void Button4Click();
  void SpeedButton1Click();
  void SpeedButton2Click();
  void SpeedButton3Click();
  void SpeedButton4Click();
  void KeepHistoryClick(bool checked);
  // Asks whether to delete the whole conversation history, and deletes it on Yes.
  void DeleteHistoryClick();
  // The sound mode the editor shows (-1 before the first showing).
  int ShownMode() const { return shownMode_; }

  // TLanguageForm
  std::string FormName() const override { return "Form2"; }
  std::vector<Caption> Captions() const override;
  void SetCaption(const std::string& key, const std::string& text) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ConnectWidgets();
  // The value lists of the three tables.
  std::vector<std::string> PickList(const QTableWidget* table, const std::string& key) const;
  void ValueListEditor1StringsChange();
  void ValueListEditor2StringsChange();
  void ValueListEditor3StringsChange();
  void CheckBoxClick(int box, bool checked);
  // The history controls follow the settings: the numbers are editable while history is kept, the
  // delete button while there is a store to delete from.
  void UpdateHistoryControls();
  // A yes/no question (code page 1251) without a nested event loop; a queued answer is Yes, a
  // cancelled one (or none where nobody can answer) No. defaultYes: Enter says Yes.
  void AskYesNo(const std::string& question, const QString& title, bool defaultYes,
                std::function<void(bool yes)> answered);
  // A message of the language file (code page 1251).
  std::string Message(const char* key);
  // A file dialog's filter: the files of the patterns under the caption of key, then all files.
  QString FileFilter(const char* key, const char* patterns);
  // Asks for a file (a queued answer is the path); chosen receives the path in code page 1251.
  void ChooseFile(const QString& filter, std::function<void(const std::string& path)> chosen);
  // Asks for the bell number until it is one to five digits, then adds the bell.
  void AskBellNumber(const std::string& file);
  void MoveSelected(int by);

  std::unique_ptr<Ui::TForm2> ui_;
  TChatCore& core_;
  TForm2Window window_;
  std::string programPath_;
  std::filesystem::path configHome_;
  std::string openDialogTitle_;  // OpenDialog1
  int shownMode_ = -1;
  bool filling_ = false;  // the tables are being filled by the program, not edited
  bool asking_ = false;   // a question of this dialog is open
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace plumo
