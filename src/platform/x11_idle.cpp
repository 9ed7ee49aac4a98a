// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11_idle.h"

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

#include <utility>

namespace plumo {

struct X11IdleTime::Connection {
  Display* Dpy = nullptr;
  XScreenSaverInfo* Info = nullptr;

  ~Connection() {
    if (Info != nullptr) XFree(Info);
    if (Dpy != nullptr) XCloseDisplay(Dpy);
  }
};

X11IdleTime::X11IdleTime(std::string display) : display_(std::move(display)) {}
X11IdleTime::~X11IdleTime() = default;

std::optional<std::int64_t> X11IdleTime::IdleMs() {
  if (!tried_) {
    // Asked once: a display that is absent at the first question (Wayland without X, the offscreen
    // platform) stays absent for the program's life.
    tried_ = true;
    auto c = std::make_unique<Connection>();
    c->Dpy = XOpenDisplay(display_.empty() ? nullptr : display_.c_str());
    int eventBase = 0;
    int errorBase = 0;
    if (c->Dpy != nullptr && XScreenSaverQueryExtension(c->Dpy, &eventBase, &errorBase) != 0)
      c->Info = XScreenSaverAllocInfo();
    if (c->Info != nullptr) connection_ = std::move(c);
  }
  if (!connection_) return std::nullopt;
  if (XScreenSaverQueryInfo(connection_->Dpy, DefaultRootWindow(connection_->Dpy), connection_->Info) == 0)
    return std::nullopt;
  return static_cast<std::int64_t>(connection_->Info->idle);
}

}  // namespace plumo
