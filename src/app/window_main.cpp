// SPDX-License-Identifier: GPL-3.0-or-later
// The composition root of the windowed program: the application, the engine's host, the system and
// sound services, the main window with its adapters, the core over them; then the creation sequence
// and the window shown. Declaration order is destruction order reversed: the core goes before the
// conversation log and the window whose adapters it uses, and all before the host and the services.
#include "app/window_main.h"

#include <QApplication>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/conversation_log.h"
#include "app/headless.h"
#include "app/program_setup.h"
#include "app/qt_sound_output.h"
#include "app/single_instance.h"
#include "core/chatcore.h"
#include "host/core_timers.h"
#include "host/qt_engine_host.h"
#include "host/quit_signals.h"
#include "images/images.h"
#include "lang/codepage.h"
#include "platform/screensaver_watch.h"
#include "platform/x11_idle.h"
#include "settings/autostart.h"
#include "settings/tform2.h"
#include "ui/self_update.h"
#include "ui/tform1.h"
#include "ui/tray_icon.h"

namespace plumo {

namespace fs = std::filesystem;

namespace {

// Writes "plumo: first paint" once, when the watched window paints for the first time.
class FirstPaintReport : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !reported_) {
      reported_ = true;
      std::fputs("plumo: first paint\n", stderr);
      std::fflush(stderr);
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  bool reported_ = false;
};

// The desktop's idle time for the core: the X display's, asked only on the xcb platform (elsewhere
// the window's activation decides "away").
class DesktopIdle : public IdleSource {
 public:
  std::optional<std::int64_t> IdleMs() override {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return std::nullopt;
    return x11_.IdleMs();
  }

 private:
  X11IdleTime x11_;
};

}  // namespace

int RunWindow(int argc, char** argv, const WindowOptions& options) {
  if (!PrepareProgramDir(options.Dir, options.ProgramPath)) return 1;
  if (!LanguageFileThere(options.Dir, {})) return 2;

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Plumo"));

  // A window of this user already runs: it comes forward, and this copy ends.
  SingleInstance instance(SingleInstance::SocketName());
  if (instance.AskRunningCopy()) {
    std::fputs("plumo: Plumo already runs here; its window was brought forward\n", stderr);
    return 0;
  }

  QtEngineHost host;
  PosixSystem system;
  QtSoundOutput sound;
  DesktopIdle idle;
  TForm1 form;
  // Children of the window, which outlives the core.
  auto* timers = new QtCoreTimers(&form);
  CoreSurfaces surfaces = form.Surfaces(sound, system, *timers);
  surfaces.Idle = &idle;
  std::unique_ptr<ConversationLog> log;
  // Filled once the core exists; declared before it so that they outlive the engine's last event.
  std::unique_ptr<TrayIcon> tray;
  std::unique_ptr<TPlumoEvents> notifyingTap;
  if (!OpenConversationLog(options.LogFile, log)) return 1;
  TChatCore core(FsPath(fs::absolute(options.Dir).lexically_normal()), log ? log->Wrap(surfaces) : surfaces,
                 host, AttachTo(host));
  if (!options.Language.empty()) core.SetLanguageOverride(fs::path(options.Language).filename().string());
  core.SetShippedLanguages(ShippedLanguageDir(options.ProgramPath));
  timers->Connect(core);
  form.AttachCore(core);
  tray = std::make_unique<TrayIcon>(form, core, QSystemTrayIcon::isSystemTrayAvailable());
  core.SetEventTap([&](TPlumoEvents& handlers) {
    notifyingTap = tray->Tap(handlers);
    return notifyingTap.get();
  });
  QApplication::setWindowIcon(AppIcon());
  // The desktop's screen saver starting sets the own state "3", as the system's screen-saver command
  // does; without a session bus or a screen-saver service nothing happens.
  ScreenSaverWatch screenSaver;
  QObject::connect(&screenSaver, &ScreenSaverWatch::Activated, &form,
                   [&core] { core.Own().ScreenSaverStarted(true); });
  const bool listening = instance.Listen([&form] {
    if (form.isMinimized()) form.showNormal();
    form.show();
    form.raise();
    form.activateWindow();
  });
  // Only another user can hold the name here (a copy of ours would have answered): this window runs
  // all the same, and a later copy will start a second window instead of bringing this one forward.
  if (!listening) std::fputs("plumo: another user holds this user's single-instance name\n", stderr);
  // The settings dialog: created on first use of SpeedButton2, kept between showings, destroyed
  // when the main window hides. Its captions follow the language like the window's.
  std::unique_ptr<TForm2> settingsDialog;
  TForm2Window settingsWindow{&form, form.LanguageMenu(), [&form] { form.ApplyViewSettings(); }};
  const std::string programPath = QCoreApplication::applicationFilePath().toStdString();
  form.OnSettingsRequested = [&] {
    if (!settingsDialog) {
      settingsDialog = std::make_unique<TForm2>(core, settingsWindow, programPath, XdgConfigHome(), &form);
      form.AddLanguageForm(settingsDialog.get());
      core.Captions().ApplyLanguage();
    }
    settingsDialog->setWindowModality(Qt::WindowModal);
    settingsDialog->open();
  };
  // Hiding the window closes the settings dialog (its full save runs then).
  tray->OnHide = [&settingsDialog] {
    if (settingsDialog) settingsDialog->close();
  };
  // "Update Plumo": the updater restarts the program with the arguments it was started with.
  SelfUpdateEnv updateEnv;
  updateEnv.ProgramPath = programPath;
  for (const QString& arg : QCoreApplication::arguments().mid(1))
    updateEnv.RestartArgs.push_back(arg.toStdString());
  SelfUpdate selfUpdate(form, core, updateEnv);
  if (!form.FormCreate()) {
    // The port is taken by a program that is not this user's window: say so instead of running deaf.
    if (!core.StartError().empty()) {
      std::fprintf(stderr, "plumo: %s\n", Cp1251ToUtf8(core.StartError()).c_str());
      QMessageBox::critical(nullptr, QStringLiteral("Plumo"),
                            QString::fromStdString(Cp1251ToUtf8(core.StartError())));
    }
    return 1;
  }
  if (!options.Language.empty()) core.SaveAllSettings();  // --lang is kept for the next runs
  // With PLUMO_REPORT_FIRST_PAINT set, the first paint of the window is announced on standard error,
  // so that a benchmark can time the start-up of the real program.
  FirstPaintReport firstPaint;
  if (std::getenv("PLUMO_REPORT_FIRST_PAINT") != nullptr) form.installEventFilter(&firstPaint);
  // A program whose window was inactive when last left starts to the notification area (or
  // minimized where there is none).
  if (core.Settings().StartHidden) {
    tray->StartHidden();
  } else if (!form.isVisible()) {
    form.show();
  }
  // After an update the restarted chat says how it went.
  selfUpdate.ReportLastUpdate();

  // SIGINT and SIGTERM close the window, so the program leaves the network in order.
  const QuitSignals quitSignals([&form] { form.close(); });
  return QApplication::exec();
}

}  // namespace plumo
