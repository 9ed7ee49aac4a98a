// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/smileys.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <set>

#include "gui_app.h"
#include "view/links.h"

namespace plumo {
namespace {

TEST(SmileyTableTest, UnderscoreKeysAndNonNumericValues) {
  const auto codes = ParseSmileyTable(
      {{":)", "0"}, {"_;)", "1"}, {"_", "2"}, {"B)", "x"}, {":(", "-1"}, {":D", " 3"}, {"8)", "12"}});
  ASSERT_EQ(codes.size(), 3u);
  EXPECT_EQ(codes[0].Code, QStringLiteral(":)"));
  EXPECT_EQ(codes[1].Code, QStringLiteral(";)"));
  EXPECT_EQ(codes[1].Index, 1);
  EXPECT_EQ(codes[2].Index, 12);
}

TEST(SmileyTableTest, MenuShowsTheFirstCodeOfEachPictureInColumnsOfTen) {
  const auto codes = ParseSmileyTable({{":)", "0"}, {"=)", "3"}, {"_:-)", "3"}, {"x", "10"}, {"y", "25"}});
  const auto items = SmileyMenuItems(codes, 20);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[1].Caption, QStringLiteral("=)"));
  EXPECT_EQ(items[1].Index, 3);
  EXPECT_TRUE(items[0].NewColumn);
  EXPECT_FALSE(items[1].NewColumn);
  EXPECT_TRUE(items[2].NewColumn);
}

TEST(SmileyPicturesTest, AStripGivesOnePicturePerCellWithItsBackgroundTransparent) {
  plumo::testing::GuiApp();
  QImage strip(190, 19, QImage::Format_RGB32);
  strip.fill(QColor(255, 0, 255));
  strip.setPixel(19 * 3 + 5, 7, qRgb(1, 2, 3));
  QTemporaryDir dir;
  ASSERT_TRUE(strip.save(QDir(dir.path()).filePath(QStringLiteral("smiles.bmp"))));
  const SmileyPictures set = SmileyPictures::Load(FsPath::FromUtf8(dir.path().toStdString()));
  ASSERT_EQ(set.Count(), 10);
  EXPECT_EQ(set.At(3).size(), QSize(19, 19));
  EXPECT_EQ(qAlpha(set.At(3).pixel(0, 0)), 0);
  EXPECT_EQ(set.At(3).pixel(5, 7), qRgb(1, 2, 3));
  // Without the file the program's own pictures are used: at least 20, all different.
  const SmileyPictures own = SmileyPictures::Load(FsPath::FromUtf8(dir.path().toStdString()) / "none");
  ASSERT_GE(own.Count(), 20);
  std::set<QByteArray> distinct;
  for (int i = 0; i < own.Count(); ++i) {
    distinct.insert(
        QByteArray(reinterpret_cast<const char*>(own.At(i).constBits()), own.At(i).sizeInBytes()));
  }
  EXPECT_EQ(static_cast<int>(distinct.size()), own.Count());
}

TEST(LinksTest, OnlyWebAndMailAddressesAreOpenable) {
  EXPECT_TRUE(OpenableUrl(QStringLiteral("http://example.com/x")).isValid());
  EXPECT_TRUE(OpenableUrl(QStringLiteral("HTTPS://example.com")).isValid());
  EXPECT_TRUE(OpenableUrl(QStringLiteral("ftp://files.example.com/a")).isValid());
  EXPECT_TRUE(OpenableUrl(QStringLiteral("mailto:ann@example.com")).isValid());
  EXPECT_EQ(OpenableUrl(QStringLiteral("www.example.org")).toString(),
            QStringLiteral("http://www.example.org"));
  for (const char* bad : {"file:///etc/passwd", "/usr/bin/xterm", "C:\\Windows\\system32\\cmd.exe",
                          "javascript:alert(1)", "smb://host/share", ":#guest", "http://", "mailto:", ""}) {
    EXPECT_FALSE(OpenableUrl(QString::fromLatin1(bad)).isValid()) << bad;
    EXPECT_FALSE(OpenLink(QString::fromLatin1(bad))) << bad;
  }
  EXPECT_EQ(HotNickFromLink(QStringLiteral(":#guest")), QStringLiteral("guest"));
  EXPECT_EQ(HotNickFromLink(QStringLiteral("http://x")), QString());
}

}  // namespace
}  // namespace plumo
