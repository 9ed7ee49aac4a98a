// SPDX-License-Identifier: GPL-3.0-or-later
// QtSoundOutput: plays WAV files by name through Qt Multimedia without blocking; a new sound
// stops the one still playing. Needs a running Qt event loop.
#pragma once

#include <memory>

#include "core/surfaces.h"

class QSoundEffect;

namespace plumo {

class QtSoundOutput : public SoundOutput {
 public:
  QtSoundOutput();
  ~QtSoundOutput() override;
  QtSoundOutput(const QtSoundOutput&) = delete;
  QtSoundOutput& operator=(const QtSoundOutput&) = delete;

  // path: code page 1251 file name. Failures (no audio device, unreadable file) are silent.
  void PlayFile(const std::string& path) override;

 private:
  std::unique_ptr<QSoundEffect> effect_;
};

}  // namespace plumo
