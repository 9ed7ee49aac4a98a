// SPDX-License-Identifier: GPL-3.0-or-later
// QtSoundOutput: plays WAV files by name through Qt Multimedia without blocking; a new sound
// stops the one still playing. Needs a running Qt event loop.
#pragma once

#include <memory>

#include "core/surfaces.h"

class QSoundEffect;
class QUrl;

namespace plumo {

class QtSoundOutput : public SoundOutput {
 public:
  QtSoundOutput();
  ~QtSoundOutput() override;
  QtSoundOutput(const QtSoundOutput&) = delete;
  QtSoundOutput& operator=(const QtSoundOutput&) = delete;

  // Failures (no audio device, unreadable file) are silent.
  void PlayFile(const FsPath& path) override;
  // The file the sound effect is given for path.
  static QUrl Source(const FsPath& path);

 private:
  std::unique_ptr<QSoundEffect> effect_;
};

}  // namespace plumo
