// SPDX-License-Identifier: GPL-3.0-or-later
// The program's presence on the desktop beside its window: the program menu (PopupMenu1) on a
// toolbar button and on the notification-area icon, the icon itself (the own state's picture; a
// click brings the window back or hides it), hiding the window to the icon, and notifications of
// private and mass messages while the window is hidden or inactive, and of what the core asks to
// notify (a bell, a message not delivered; TForm1::OnNotify).
//
// A desktop without a notification area gets no icon: the window is then minimized instead of
// hidden, so that it can always be brought back, and notifications go to the desktop's notification
// service over D-Bus.
#pragma once

#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <string>

class QMenu;
class QSystemTrayIcon;
class QToolButton;

namespace plumo {

class TChatCore;
class TForm1;
class TPlumoEvents;

// The text of a message as a notification shows it: its plain text (MarkupToPlain) on one line, at
// most 200 characters and "..." when it is longer.
QString NotificationText(const std::string& text);

class TrayIcon : public QObject {
  Q_OBJECT

 public:
  // form and core must outlive this object. trayAvailable: whether the desktop has a notification
  // area (QSystemTrayIcon::isSystemTrayAvailable()).
  TrayIcon(TForm1& form, TChatCore& core, bool trayAvailable);
  ~TrayIcon() override;

  bool Available() const { return icon_ != nullptr; }
  QSystemTrayIcon* Icon() const { return icon_; }
  // The toolbar button that drops down the program menu.
  QToolButton* MenuButton() const { return menuButton_; }

  // To the icon (without one: minimized). OnHide runs first.
  void HideWindow();
  // Shown normal, raised and active; lines queued while hidden are displayed.
  void ShowWindow();
  // The start of a program whose window was inactive when it was last left: with an icon the window
  // is not shown at all; without one it is shown minimized and the console says why.
  void StartHidden();

  // A message arrived (code page 1251): a notification when the setting asks for one and the window
  // is hidden, minimized or inactive.
  void MessageArrived(const std::string& from, const std::string& text);
  // A click on a notification: the window comes back with the newest message tab.
  void NotificationClicked();

  // Listener for the engine's event tap: passes every event on to core and raises notifications.
  std::unique_ptr<TPlumoEvents> Tap(TPlumoEvents& core);

  // Shows a notification (title and text as Qt strings); replaced by tests.
  std::function<void(const QString& title, const QString& text)> Notify;
  // Runs before the window hides (the settings dialog closes).
  std::function<void()> OnHide;

 private:
  void SendNotification(const QString& title, const QString& text);
  void UpdateStateIcon();
  bool eventFilter(QObject* watched, QEvent* event) override;

  // Raised by the notification service (the notifications without a notification area).
 private Q_SLOTS:
  void DBusActionInvoked(uint id, const QString& action);

 private:
  TForm1& form_;
  TChatCore& core_;
  QSystemTrayIcon* icon_ = nullptr;
  QToolButton* menuButton_ = nullptr;
  QMenu* menu_ = nullptr;
  QSet<uint> notificationIds_;  // ours, of the notification service
};

}  // namespace plumo
