// SPDX-License-Identifier: GPL-3.0-or-later
// Finding what was said. TFindBar finds text in the conversation a text control shows (Ctrl+F):
// every match highlighted, the current one selected, next and previous. THistorySearch searches all
// stored history (Ctrl+Shift+F) through the core and lists the newest matches with their time,
// conversation and nick, the matching words marked; choosing a result asks the core to open that
// conversation at that line.
#pragma once

#include <QDialog>
#include <QFrame>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/history_store.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTextEdit;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace plumo {

class TChatHistory;

namespace ui {

class TFindBar : public QFrame {
  Q_OBJECT

 public:
  // view must outlive the bar.
  TFindBar(QTextEdit& view, QWidget* parent);

  // Shows the bar with the edit focused and its text selected (Ctrl+F).
  void Open();
  // Hides the bar and drops the highlights (Escape, the close button).
  void Close();
  // Finds the text typed in the bar again (the conversation changed): highlights, count, first
  // match from the end.
  void Refresh();
  // Selects the next (or previous) match, wrapping around; false when there is none.
  bool FindNext(bool backwards = false);
  int MatchCount() const { return static_cast<int>(matches_.size()); }
  int CurrentMatch() const { return current_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Highlight();
  void ShowCount();

  QTextEdit& view_;
  QLineEdit* edit_;
  QLabel* count_;
  // Start and length of every match in the view's document, in document order.
  std::vector<std::pair<int, int>> matches_;
  int current_ = -1;
};

class THistorySearch : public QDialog {
  Q_OBJECT

 public:
  // history must outlive the dialog; text gives the language file's message of a key (code page
  // 1251): "SearchTitle", "SearchColumns" (four captions, comma-separated), "SearchMore",
  // "SearchButton", "SearchCount" (with "%s" for the number of matches), "Everybody" (the
  // conversation of messages to everybody).
  THistorySearch(TChatHistory& history, const std::function<std::string(const char* key)>& text,
                 QWidget* parent);

  // Shows the dialog with the query edit focused.
  void ShowSearch();
  // Searches for the text in the edit (the first page).
  void Search();
  // The next page of older matches; false when there are no more.
  bool More();
  // Opens the conversation of the result at row (double click, Enter).
  bool Choose(int row);
  int ResultCount() const { return static_cast<int>(hits_.size()); }
  // Asked by Choose to open a line: TChatHistory::OpenAt unless a test replaces it.
  std::function<bool(const THistoryLine&)> OnChoose;

 private:
  void AddRows(const std::vector<THistoryHit>& hits);

  TChatHistory& history_;
  QLineEdit* edit_;
  QTreeWidget* results_;
  QPushButton* more_;
  QLabel* status_;
  std::string countFormat_;  // "SearchCount"
  std::string everybody_;    // "Everybody"
  std::vector<THistoryHit> hits_;
  QString query_;
};

}  // namespace ui
}  // namespace plumo
