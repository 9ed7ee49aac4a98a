// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/tray_icon.h"

#include <QAbstractButton>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QToolButton>

#include "core/chatcore.h"
#include "images/images.h"
#include "lang/markup.h"
#include "net/events.h"
#include "ui/qt_text.h"
#include "ui/tform1.h"

namespace plumo {

namespace {

constexpr const char kNotifyService[] = "org.freedesktop.Notifications";
constexpr const char kNotifyPath[] = "/org/freedesktop/Notifications";

}  // namespace

QString NotificationText(const std::string& text) {
  QString plain = ui::FromCp1251(MarkupToPlain(text));
  plain.replace(QLatin1Char('\r'), QLatin1Char(' '));
  plain.replace(QLatin1Char('\n'), QLatin1Char(' '));
  if (plain.size() > 200) plain = plain.left(200) + QStringLiteral("...");
  return plain;
}

namespace {

class NotifyingTap : public TPlumoEventsForward {
 public:
  NotifyingTap(TPlumoEvents& core, TrayIcon& tray, TChatCore& chat)
      : TPlumoEventsForward(core), tray_(tray), chat_(chat) {}

  void OnPrivateMessage(const TMStigs& f, const std::string& t, const std::string& a) override {
    TPlumoEventsForward::OnPrivateMessage(f, t, a);
    tray_.MessageArrived(f.empty() ? std::string() : f[0], t);
  }
  void OnMassMessage(const TMStigs& f, const std::string& t, const std::string& a) override {
    TPlumoEventsForward::OnMassMessage(f, t, a);
    if (!chat_.Settings().DesableMultiMessage) tray_.MessageArrived(f.empty() ? std::string() : f[0], t);
  }

 private:
  TrayIcon& tray_;
  TChatCore& chat_;
};

}  // namespace

TrayIcon::TrayIcon(TForm1& form, TChatCore& core, bool trayAvailable) : form_(form), core_(core) {
  menu_ = form_.findChild<QMenu*>(QStringLiteral("PopupMenu1"));
  // The window manager owns the title bar's menu: the program menu drops down from the toolbar.
  if (auto* toolbar = form_.findChild<QFrame*>(QStringLiteral("ToolBar1")); toolbar && toolbar->layout()) {
    menuButton_ = new QToolButton(toolbar);
    menuButton_->setObjectName(QStringLiteral("ToolButtonMenu"));
    menuButton_->setText(QStringLiteral("Plumo"));
    menuButton_->setIcon(AppIcon());
    menuButton_->setAutoRaise(true);
    menuButton_->setPopupMode(QToolButton::InstantPopup);
    menuButton_->setMenu(menu_);
    toolbar->layout()->addWidget(menuButton_);
  }
  if (trayAvailable) {
    icon_ = new QSystemTrayIcon(AppIcon(), this);
    icon_->setObjectName(QStringLiteral("CoolTrayIcon1"));
    icon_->setToolTip(QStringLiteral("Plumo"));
    icon_->setContextMenu(menu_);
    connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
      if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::DoubleClick) return;
      if (form_.isVisible() && !form_.isMinimized()) {
        HideWindow();
      } else {
        ShowWindow();
      }
    });
    connect(icon_, &QSystemTrayIcon::messageClicked, this, [this] { NotificationClicked(); });
    icon_->show();
  } else {
    QDBusConnection::sessionBus().connect(
        QString::fromLatin1(kNotifyService), QString::fromLatin1(kNotifyPath),
        QString::fromLatin1(kNotifyService), QStringLiteral("ActionInvoked"), this,
        SLOT(DBusActionInvoked(uint, QString)));
  }
  // The own state's picture follows the state button's.
  if (auto* state = form_.findChild<QToolButton*>(QStringLiteral("ToolButton5")))
    state->installEventFilter(this);
  UpdateStateIcon();
  Notify = [this](const QString& title, const QString& text) { SendNotification(title, text); };
  // What the core asks to notify (a bell, a message not delivered) goes the same way.
  form_.OnNotify = [this](const QString& title, const QString& text) {
    if (Notify) Notify(title, text);
  };
}

TrayIcon::~TrayIcon() {
  form_.OnNotify = nullptr;
}

bool TrayIcon::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::DynamicPropertyChange) UpdateStateIcon();
  return QObject::eventFilter(watched, event);
}

void TrayIcon::UpdateStateIcon() {
  if (!icon_) return;
  const auto* state = form_.findChild<QToolButton*>(QStringLiteral("ToolButton5"));
  const QVariant image = state ? state->property("image") : QVariant();
  icon_->setIcon(image.isValid() ? MainImage(image.toInt()) : AppIcon());
  icon_->setToolTip(QStringLiteral("Plumo - ") + form_.windowTitle());
}

void TrayIcon::HideWindow() {
  if (OnHide) OnHide();
  if (icon_) {
    form_.hide();
  } else {
    form_.showMinimized();
  }
}

void TrayIcon::ShowWindow() {
  form_.showNormal();
  form_.raise();
  form_.activateWindow();
}

void TrayIcon::StartHidden() {
  if (icon_) return;  // the window stays unshown; the icon brings it
  std::string notice;
  {
    const TMessageScope scope(core_.Messages());
    notice = core_.Messages().GetMessage("NoTrayArea");
  }
  core_.ConsoleAdd(notice);
  form_.showMinimized();
}

void TrayIcon::MessageArrived(const std::string& from, const std::string& text) {
  if (!core_.Settings().ShowBallonIfNotFocused) return;
  const bool away = !form_.isVisible() || form_.isMinimized() || !core_.Own().WindowActive();
  if (away && Notify) Notify(ui::FromCp1251(from), NotificationText(text));
}

void TrayIcon::NotificationClicked() {
  ShowWindow();
  const int count = core_.Inputs().Count();
  if (count > 0) core_.Tabs().SelectMessageTab(count - 1);
}

std::unique_ptr<TPlumoEvents> TrayIcon::Tap(TPlumoEvents& core) {
  return std::make_unique<NotifyingTap>(core, *this, core_);
}

void TrayIcon::SendNotification(const QString& title, const QString& text) {
  if (icon_) {
    icon_->showMessage(title, text, QSystemTrayIcon::Information, 10000);
    return;
  }
  std::string open;  // the caption of the notification's action that brings the window
  {
    const TMessageScope scope(core_.Messages());
    open = core_.Messages().GetMessage("ButtonOpen");
  }
  QDBusMessage call =
      QDBusMessage::createMethodCall(QString::fromLatin1(kNotifyService), QString::fromLatin1(kNotifyPath),
                                     QString::fromLatin1(kNotifyService), QStringLiteral("Notify"));
  call << QStringLiteral("Plumo") << 0U << QStringLiteral("plumo") << title << text
       << QStringList{QStringLiteral("default"), ui::FromCp1251(open)} << QVariantMap() << -1;
  auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
    const QDBusPendingReply<uint> reply = *finished;
    if (reply.isValid()) notificationIds_.insert(reply.value());
    finished->deleteLater();
  });
}

void TrayIcon::DBusActionInvoked(uint id, const QString& action) {
  if (notificationIds_.remove(id) && action == QLatin1String("default")) NotificationClicked();
}

}  // namespace plumo
