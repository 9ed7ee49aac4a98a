// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/qt_sound_output.h"

#include <QSoundEffect>
#include <QString>
#include <QUrl>

namespace plumo {

QtSoundOutput::QtSoundOutput() = default;
QtSoundOutput::~QtSoundOutput() = default;

QUrl QtSoundOutput::Source(const FsPath& path) {
  return QUrl::fromLocalFile(QString::fromStdString(path.Utf8()));
}

void QtSoundOutput::PlayFile(const FsPath& path) {
  // Created on first use, so that a program that never plays a sound never opens the audio system.
  if (!effect_) effect_ = std::make_unique<QSoundEffect>();
  effect_->stop();
  effect_->setSource(Source(path));
  effect_->play();
}

}  // namespace plumo
