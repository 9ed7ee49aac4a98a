// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/qt_sound_output.h"

#include <QSoundEffect>
#include <QString>
#include <QUrl>

#include "lang/codepage.h"

namespace plumo {

QtSoundOutput::QtSoundOutput() = default;
QtSoundOutput::~QtSoundOutput() = default;

void QtSoundOutput::PlayFile(const std::string& path) {
  // Created on first use, so that a program that never plays a sound never opens the audio system.
  if (!effect_) effect_ = std::make_unique<QSoundEffect>();
  effect_->stop();
  effect_->setSource(QUrl::fromLocalFile(QString::fromStdString(Cp1251ToUtf8(path))));
  effect_->play();
}

}  // namespace plumo
