// SPDX-License-Identifier: GPL-3.0-or-later
// Two facts that change while the core runs and that several of its parts read: the engine (which
// exists only between start-up and the farewell) and whether the main window is shown. TChatCore
// owns both and alone changes them.
#pragma once

#include "net/plumo.h"

namespace plumo {

// The protocol engine, or nothing before start-up and after the farewell. Reads like a pointer:
// `if (engine_) engine_->SendHello();`.
class TEngineSlot {
 public:
  TPlumo* Get() const { return engine_; }
  TPlumo* operator->() const { return engine_; }
  TPlumo& operator*() const { return *engine_; }
  explicit operator bool() const { return engine_ != nullptr; }
  void Set(TPlumo* engine) { engine_ = engine; }

 private:
  TPlumo* engine_ = nullptr;
};

// Whether the main window is shown: lines are shown, the roster rebuilt and the editor focused
// only then.
class TWindowShown {
 public:
  bool Visible() const { return visible_; }
  void Set(bool visible) { visible_ = visible; }

 private:
  bool visible_ = true;
};

}  // namespace plumo
