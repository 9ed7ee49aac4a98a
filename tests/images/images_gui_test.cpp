// SPDX-License-Identifier: GPL-3.0-or-later
#include "images/images.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QXmlStreamReader>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/ownstate.h"
#include "core/surfaces.h"

// The font configuration library keeps caches for the life of the process; they are not leaks of
// ours.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig\n";
}

namespace plumo {
namespace {

QGuiApplication& GuiApp() {
  static int argc = 1;
  static char name[] = "images_test";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static QGuiApplication* app = new QGuiApplication(argc, argv);
  return *app;
}

class ImagesTest : public ::testing::Test {
 protected:
  void SetUp() override { GuiApp(); }
};

bool HasVisiblePixels(const QImage& image) {
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (qAlpha(image.pixel(x, y)) > 0) return true;
  return false;
}

// The indices the core sets, each next to the picture meant for it: a core index that drifts from
// the picture of its meaning, or a meaning without a picture, fails here.
TEST_F(ImagesTest, EveryIndexTheProgramUsesHasItsPictureAtEverySize) {
  struct Use {
    const char* name;
    int used;     // what the core or the window asks for
    int picture;  // the picture drawn for that meaning
  };
  const Use uses[] = {
      {"state active", StateImageIndex(stActive), icon::kActive},
      {"state away", StateImageIndex(stAway), icon::kAway},
      {"state screen saver", StateImageIndex(stScreenSaver), icon::kScreenSaver},
      {"state do not disturb", StateImageIndex(stDoNotDisturb), icon::kDoNotDisturb},
      {"state offline", StateImageIndex(stOffline), icon::kOffline},
      {"channel created", icon::kChannelCreated, icon::kChannelCreated},
      {"channel seen", icon::kChannelSeen, icon::kChannelSeen},
      {"channel unseen", icon::kChannelUnseen, icon::kChannelUnseen},
      {"console seen", icon::kConsoleSeen, icon::kConsoleSeen},
      {"console unseen", icon::kConsoleUnseen, icon::kConsoleUnseen},
      {"private reply", icon::kPrivate, icon::kPrivate},
      {"mass reply", icon::kMass, icon::kMass},
      {"sound on", icon::kSound, icon::kSound},
      {"muted", icon::kMuted, icon::kMuted},
      {"bell menu", 29, icon::kBell},
      {"user info menu", 45, icon::kUserInfo},
      {"peer with a key", 92, icon::kLocked},
      {"checked key", 93, icon::kLockChecked},
      {"changed key", 94, icon::kLockChanged},
      {"encrypted reply", 95, icon::kPrivateEncrypted},
      {"delivery sending", 96, icon::kDeliverySending},
      {"delivered", 97, icon::kDelivered},
      {"not delivered", 98, icon::kNotDelivered},
      {"delivery waiting", 99, icon::kDeliveryWaiting},
      {"roll-call", 100, icon::kRollCall},
      {"acknowledge", 101, icon::kAcknowledge},
  };
  for (const auto& use : uses) {
    SCOPED_TRACE(use.name);
    EXPECT_EQ(use.used, use.picture);
  }
  std::vector<int> all;
  for (const auto& use : uses) all.push_back(use.used);
  for (int tool : {icon::kToolMessage, icon::kToolMassMessage, icon::kToolColour, icon::kToolConsole,
                   icon::kToolState, icon::kToolTopic, icon::kToolExit})
    all.push_back(tool);
  for (int index : all) {
    SCOPED_TRACE(index);
    const QIcon icon = MainImage(index);
    ASSERT_FALSE(icon.isNull());
    for (int size : {16, 24, 32}) {
      EXPECT_EQ(icon.pixmap(size, size).size(), QSize(size, size));
      const QPixmap pixmap = MainPixmap(index, size);
      EXPECT_EQ(pixmap.size(), QSize(size, size));
      EXPECT_TRUE(HasVisiblePixels(pixmap.toImage()));
    }
  }
  EXPECT_EQ(static_cast<std::size_t>(MainImageIndices().size()), all.size());
}

TEST_F(ImagesTest, DistinctPicturesLookDifferent) {
  struct Drawn {
    std::string name;
    QImage image;
  };
  std::vector<Drawn> drawn;
  for (int index : MainImageIndices())
    drawn.push_back({std::to_string(index), MainPixmap(index, 16).toImage()});
  drawn.push_back({"program icon", AppIcon().pixmap(16, 16).toImage()});
  for (std::size_t a = 0; a < drawn.size(); ++a)
    for (std::size_t b = a + 1; b < drawn.size(); ++b)
      EXPECT_NE(drawn[a].image, drawn[b].image) << drawn[a].name << " and " << drawn[b].name;
}

TEST_F(ImagesTest, IndicesWithoutAPictureGiveNothing) {
  for (int index : {-1, 4, 6, 10, 82, 102, 1000}) {
    SCOPED_TRACE(index);
    EXPECT_TRUE(MainImage(index).isNull());
    EXPECT_TRUE(MainPixmap(index).isNull());
  }
  EXPECT_TRUE(MainPixmap(icon::kActive, 0).isNull());
}

// The program's icon at the sizes of a title bar and a launcher, and its file for the desktop.
TEST_F(ImagesTest, ProgramIcon) {
  const QIcon icon = AppIcon();
  for (int size : {16, 48, 256}) {
    SCOPED_TRACE(size);
    const QPixmap pixmap = icon.pixmap(size, size);
    EXPECT_EQ(pixmap.size(), QSize(size, size));
    EXPECT_TRUE(HasVisiblePixels(pixmap.toImage()));
  }

  const char* source = std::getenv("PLUMO_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  QFile file(QString::fromUtf8(source) + QStringLiteral("/data/icons/plumo.svg"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  QXmlStreamReader xml(&file);
  ASSERT_TRUE(xml.readNextStartElement());
  EXPECT_EQ(xml.name(), QStringLiteral("svg"));
  EXPECT_EQ(xml.attributes().value(QStringLiteral("viewBox")), QStringLiteral("0 0 16 16"));
  while (!xml.atEnd()) xml.readNext();
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
}

}  // namespace
}  // namespace plumo
