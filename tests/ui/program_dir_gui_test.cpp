// SPDX-License-Identifier: GPL-3.0-or-later
// A program directory whose name is not ASCII (a home folder named in Cyrillic): the window finds
// its own smiley pictures and sounds there.
#include <QFileInfo>
#include <QImage>
#include <QUrl>

#include <fstream>

#include "app/qt_sound_output.h"
#include "view/smileys.h"
#include "window_fixture.h"

namespace plumo::uitest {
namespace {

TEST_F(WindowTest, ACyrillicProgramDirectoryKeepsItsSmileysAndSounds) {
  // Ten pictures where the program draws at least twenty: a code for picture 15 gets a menu item
  // only when the program's own set is used.
  ASSERT_GE(BuiltInSmileyCount(), 16);
  const auto prepare = [](const fs::path& dir) {
    QImage strip(10 * kSmileySize, kSmileySize, QImage::Format_RGB32);
    strip.fill(QColor(255, 0, 255));
    ASSERT_TRUE(strip.save(QString::fromStdString((dir / "smiles.bmp").string()), "BMP"));
    fs::create_directories(dir / "sounds");
    std::ofstream(dir / "sounds" / "ding.wav") << "RIFF";
  };
  WindowPeer anna(lan, "198.18.0.11", "anna", "[smiles]\n:a=0\n:z=15\n", {}, prepare, "Пользователь/Плюмо");
  ASSERT_TRUE(anna.started);

  QMenu* smileys = anna.Find<QMenu>("N9");
  ASSERT_NE(smileys, nullptr);
  QStringList items;
  for (const QAction* item : smileys->actions()) items << item->text();
  EXPECT_EQ(items, QStringList{QStringLiteral(":a")});

  const std::string wav = (anna.dir / "sounds" / "ding.wav").string();
  anna.system.files.insert(wav);
  anna.core->Settings().BellTable.Add("7", "ding.wav");
  anna.core->Sounds().PlayBell(7);
  ASSERT_EQ(anna.sound.played.size(), 1u);
  const QString opened = QtSoundOutput::Source(FsPath::FromUtf8(anna.sound.played.front())).toLocalFile();
  EXPECT_TRUE(QFileInfo::exists(opened)) << opened.toStdString();
}

}  // namespace
}  // namespace plumo::uitest
