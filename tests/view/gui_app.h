// SPDX-License-Identifier: GPL-3.0-or-later
// A QApplication on the offscreen platform for the view tests, created once on first use.
#pragma once

#include <QApplication>

// The font configuration library keeps caches for the life of the process; they are not leaks of
// ours. Each test program includes this header from its one source file.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

namespace plumo::testing {

inline QApplication& GuiApp() {
  static int argc = 1;
  static char name[] = "view_test";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

}  // namespace plumo::testing
