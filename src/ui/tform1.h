// SPDX-License-Identifier: GPL-3.0-or-later
// TForm1: the main window of the windowed chat, a thin face over the client core. It holds the two
// tab strips with the channel display RxRichEdit1 and the input editor RxRichEdit2, the roster panel
// and the toolbar (all from tform1.ui, named as the program's components), and the menus that are
// built at run time. It implements the core's window surface, timers and language seams itself and
// owns the adapters of the conversation, input and roster seams; every user action becomes one call
// of the core. Nothing that can be decided without a display is decided here.
//
// Use: build the window, build the core with Surfaces(), AttachCore, FormCreate, show. Closing the
// window saves and announces the leave (FormClose, FormDestroy); the core must outlive the window's
// close and be destroyed before the window.
#pragma once

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/roster_moves.h"
#include "core/surfaces.h"
#include "lang/lng.h"
#include "platform/keyboard_layouts.h"
#include "ui/conversation_tabs.h"
#include "ui/delivery_face.h"
#include "ui/history_search.h"
#include "ui/key_dialog.h"
#include "ui/roster_model.h"
#include "view/smileys.h"

class QAction;
class QColor;
class QKeySequence;
class QLabel;
class QMenu;
class QPushButton;
class QWheelEvent;
class QTabBar;
class QTextEdit;
class QTranslator;

namespace Ui {
class TForm1;
}

namespace plumo {

class TChatCore;
class TPrivateTalk;
struct CoreSurfaces;
struct RosterRow;

class TForm1 : public QMainWindow, public WindowSurface, public TLanguageHost, public TLanguageForm {
  Q_OBJECT

 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // The seams the core is to be built with; sound, system and timers come from the composition root
  // and must outlive the core.
  CoreSurfaces Surfaces(SoundOutput& sound, SystemInfo& system, CoreTimers& timers);
  // Connects the widgets to a core built with Surfaces().
  void AttachCore(TChatCore& core);
  // The core's creation sequence, then what the window takes from the settings: geometry, editor
  // heights, hot nicks, smileys, own colour. False when the start failed (the program is to end).
  bool FormCreate();

  // The editor's keys (RxRichEdit2KeyDown, RxRichEdit2KeyUp) go to the core's key rules; true when
  // the key was consumed and the control must not see it.
  bool RxRichEdit2KeyDown(int key, Qt::KeyboardModifiers modifiers);
  bool RxRichEdit2KeyUp(int key, Qt::KeyboardModifiers modifiers);

  // The settings dialog's hooks: the button SpeedButton2 calls OnSettingsRequested (without it, it
  // drops down the language menu), and the dialog's captions join through AddLanguageForm.
  std::function<void()> OnSettingsRequested;
  // Shows a desktop notification the core asked for (title and text).
  std::function<void(const QString& title, const QString& text)> OnNotify;
  void AddLanguageForm(TLanguageForm* form);
  // The settings' hot-nick switches and own colour changed: the views follow them.
  void ApplyViewSettings();
  // The language menu (PopupMenu8) and the keyboard-layout submenu of the editor menu (N26).
  QMenu* LanguageMenu() const { return popupMenu8_; }
  QMenu* KeyboardLayoutMenu() const { return n26_; }
  // Ctrl+F: the find bar over the channel display; Ctrl+Shift+F: the search of all history.
  ui::TFindBar& FindBar() { return *findBar_; }
  ui::THistorySearch& HistorySearch();
  // The history of the shown channel (channelStrip) or of the active message tab's peer, written to
  // a text file the user chooses, or deleted after the user agrees.
  void ExportHistory(bool channelStrip);
  void DeleteHistory(bool channelStrip);
  // "Check key…": the key dialog of the peer at nick and address (the open one for another peer
  // closes). The window also opens it, without activating it, when a peer starts the six-digit check.
  void OpenKeyDialog(const std::string& nick, const std::string& address, bool activate = true);
  ui::TKeyDialog* KeyDialog() const { return keyDialog_; }
  // Delivery status: clicks on marks, the roll-call, the acknowledgement check box, the questions.
  ui::TDeliveryFace& Delivery() const { return *delivery_; }

  // WindowSurface
  void SetCaption(const std::string& caption) override;
  void SetTopicLine(const std::string& text) override;
  void SetTopicButtonEnabled(bool enabled) override;
  void SetCommandButtonEnabled(bool enabled) override;
  void SetStateImage(int image) override;
  void SetMuteImage(int image) override;
  void SetNickBox(const std::vector<std::string>& items, const std::string& text) override;
  void Minimize() override;
  void AskText(const std::string& title, const std::string& prompt, const std::string& value,
               TextAnswer answered) override;
  void ConfirmLostCharacters(const std::string& message, const std::vector<TUnencodableChar>& lost,
                             std::function<void(bool send)> answered) override;
  void ShowMessage(const std::string& text) override;
  // Asked in the message tab's question line, without a box and without waiting.
  void AskYesNo(const std::string& question, std::function<void(bool yes)> answered) override;
  // Passed to OnNotify (the tray raises it); nothing without one.
  void Notify(const std::string& title, const std::string& text) override;

  // TLanguageHost
  std::vector<TLanguageForm*> Forms() override;
  bool HasLanguageMenu() const override { return true; }
  void BuildLanguageMenu(const std::vector<TLanguageEntry>& entries) override;

  // TLanguageForm
  std::string FormName() const override { return "Form1"; }
  std::vector<Caption> Captions() const override;
  void SetCaption(const std::string& key, const std::string& text) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // The own state follows whether the user is in the window (UserInWindow).
  bool UserInWindow() const;
  void UpdateActivation();
  void DialogLeft();
  void BuildMenus();
  // A window-wide shortcut, whichever control has the focus.
  void WindowKey(QAction* action, const QKeySequence& key);
  // The function keys of the window's commands and the tab order.
  void BuildKeyboardAccess();
  void ConnectWidgets();
  // The display mode of the active message tab.
  ViewMode CurrentInputMode() const;
  // Line / multi-line toggle of the line editor tab (a reply tab keeps its mode).
  void ToggleLineMode();
  // Tab in the editor: nick completion.
  void CompleteNick();
  // The editor's text before the caret ends in a word (Tab completes it; otherwise Tab moves on).
  bool WordBeforeCaret() const;
  // Ctrl+Backspace and the layout menu N26: the draft typed again in another keyboard layout.
  KeyboardLayouts& Layouts();
  void RetypeInLayout(std::size_t to, bool wholeDraft);
  void RetypeInNextLayout();
  void BuildLayoutMenu();
  // The editor's height from the view manager, given to the splitter.
  void ApplyEditorHeight();
  void UpdateReplyHeight();
  // The user dragged Splitter2: the editor height of the current mode is kept.
  void Splitter2Moved();
  // The roster panel keeps the width it suits (or the user dragged it to), but gives way to the
  // chat in a small window: never more than a third of the window, never less than its panel needs.
  void ApplyRosterWidth();
  // The roster list's selection to the core, and the rows' selection to the list.
  void ReportRosterSelection();
  void RestoreRosterSelection();
  QString RosterTip(const RosterRow& row) const;
  void PopupMenu9Popup();
  void ShowJoinChannelMenu();
  void PopupMenu6Popup();
  void BuildSmileyMenu();
  void InsertIntoEditor(const QString& text);
  void RxRichEdit1LinkClicked(const QString& link);
  void TabMessagesMouseUp(const QPoint& pos);
  void ComboBox1Enter();
  void N17Click();
  void SetTypingColor(const QColor& color);
  void Quit();
  bool WheelOver(QWidget* target, WheelTarget kind, const QWheelEvent& wheel);
  // The conversation of the shown channel or of the active message tab, if it has a history.
  std::optional<TConversationKey> HistoryKey(bool channelStrip) const;
  // A message tab to one peer (or to everybody) shows the stored messages exchanged with it above
  // the editor; other tabs hide them.
  void ShowPeerHistory();
  // The room the peer's messages take above the editor (0 while hidden).
  int PeerHistoryHeight() const;
  // A language text (code page 1251) by its message key.
  std::string Message(const char* key) const;
  // Private conversations: the core's service, the roster's locks and tips, the key check's steps.
  TPrivateTalk* Talk() const;
  int RosterLock(const RosterRow& row) const;
  void KeyCheckProgress(const TKeyCheckState& state);
  // A peer's lock or key status changed (TPrivateTalk::OnLockChanged): the roster's locks, the
  // status line of a tab to that address and the open key dialog are shown again.
  void KeyLockChanged(const std::string& address);
  // The status line of the active message tab to one or more peers: whether it goes encrypted, and
  // the held ("Check key…", "Send anyway") and downgrade (send in clear text?) questions.
  void UpdatePrivateBar();
  void UpdateHeaderMark();
  int PrivateBarHeight() const;
  void SendAnywayClick();
  void SendClearAnswer(bool yes);
  // Whether the user answered the tab's question about sending in clear text.
  bool ClearChosen(const Conversation& tab) const;

  std::unique_ptr<Ui::TForm1> ui_;
  ui::ConversationTabs channels_;
  ui::ConversationTabs inputs_;
  ui::InputEditorAdapter editor_;
  ui::RosterModel roster_;
  TChatCore* core_ = nullptr;
  // The core's timers, from Surfaces().
  CoreTimers* timers_ = nullptr;
  std::vector<TLanguageForm*> otherForms_;
  SmileyPictures smileyPictures_;
  std::vector<SmileyCode> smileyCodes_;
  QMenu* popupMenu1_ = nullptr;  // program menu
  QMenu* popupMenu2_ = nullptr;  // roster
  QMenu* popupMenu3_ = nullptr;  // message tab
  QMenu* popupMenu4_ = nullptr;  // editor
  QMenu* popupMenu5_ = nullptr;  // channel display
  QMenu* popupMenu6_ = nullptr;  // colours
  QMenu* popupMenu7_ = nullptr;  // console commands
  QMenu* popupMenu8_ = nullptr;  // languages
  QMenu* popupMenu9_ = nullptr;  // own state
  QMenu* joinMenu_ = nullptr;    // the "+" of the channel strip
  QMenu* n9_ = nullptr;          // smileys
  QMenu* n26_ = nullptr;         // keyboard layouts
  QAction* n11_ = nullptr;       // multi-line editor
  ui::TFindBar* findBar_ = nullptr;
  QTextEdit* peerHistory_ = nullptr;
  QWidget* privateBar_ = nullptr;
  QLabel* privateIcon_ = nullptr;
  QLabel* privateStatus_ = nullptr;
  QPushButton* checkKey_ = nullptr;
  QPushButton* sendAnyway_ = nullptr;
  QPushButton* sendClear_ = nullptr;
  QPushButton* keepClear_ = nullptr;
  // The peer (nick, address) of the bar's "Check key…".
  std::string barNick_;
  std::string barAddress_;
  QPointer<ui::TKeyDialog> keyDialog_;
  ui::TDeliveryFace* delivery_ = nullptr;
  // The answers to "send in clear text?", by the tab's name and recipients.
  std::map<std::string, bool> clearAnswers_;
  // The core's own check listener, called before the window's.
  std::function<void(const TKeyCheckState&)> coreOnCheck_;
  // The core's own lock listener, called before the window's.
  std::function<void(const std::string&, const std::string&)> coreOnLockChanged_;
  ui::THistorySearch* historySearch_ = nullptr;
  QTranslator* buttonTexts_ = nullptr;  // captions of the standard dialog buttons
  int editorHeight_ = 25;
  int rosterWidth_ = 0;  // dragged by the user; 0: the width that suits the roster
  // The part of a wheel notch not yet turned into a key, per control.
  int channelWheel_ = 0;
  int messageWheel_ = 0;
  int rosterWheel_ = 0;
  bool syncingSelection_ = false;
  bool closed_ = false;
  QMetaObject::Connection focusWatch_;
  QPointer<QWidget> lastOwnWindow_;  // the program's window that was active last
  bool dialogActive_ = false;        // it is one of the window's dialogs
  std::unique_ptr<KeyboardLayouts> layouts_;
  bool layoutsFromDesktop_ = false;
  bool fittingEditor_ = false;
};

}  // namespace plumo
