#include "ui/main_icons.h"

#include <QColor>
#include <QPainter>
#include <QPixmap>

namespace plumo::ui {

// Until the program's image list is part of the build, each index gets a small disc of its own
// colour, so that tabs and states that differ look different. Replacing the body with the image
// list's picture is the only change needed here.
QIcon MainIcon(int index) {
  if (index < 0) return {};
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::darkGray);
  painter.setBrush(QColor::fromHsv((index * 47) % 360, 160, 220));
  painter.drawEllipse(2, 2, 12, 12);
  return QIcon(pixmap);
}

}  // namespace plumo::ui
