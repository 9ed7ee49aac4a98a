// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/smileys.h"

#include <QFileInfo>

#include "lang/codepage.h"
#include "lang/smiley_codes.h"

namespace plumo {

std::vector<SmileyCode> ParseSmileyTable(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::vector<SmileyCode> codes;
  for (const SmileyEntry& entry : ParseSmileyEntries(entries)) {
    codes.push_back({QString::fromStdString(Cp1251ToUtf8(entry.Code)), entry.Index});
  }
  return codes;
}

SmileyPictures SmileyPictures::BuiltIn() {
  SmileyPictures set;
  for (int i = 0; i < BuiltInSmileyCount(); ++i) set.Append(DrawBuiltInSmiley(i));
  return set;
}

SmileyPictures SmileyPictures::FromStrip(const QImage& strip) {
  SmileyPictures set;
  if (strip.isNull() || strip.height() <= 0) return set;
  QImage argb = strip.convertToFormat(QImage::Format_ARGB32);
  const QRgb transparent = argb.pixel(0, 0);
  for (int y = 0; y < argb.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(argb.scanLine(y));
    for (int x = 0; x < argb.width(); ++x) {
      if (line[x] == transparent) line[x] = qRgba(0, 0, 0, 0);
    }
  }
  const int count = argb.width() / argb.height();
  // A cell reaching past the strip is transparent there: copy() fills what lies outside with 0.
  for (int i = 0; i < count; ++i) set.Append(argb.copy(kSmileySize * i, 0, kSmileySize, kSmileySize));
  return set;
}

SmileyPictures SmileyPictures::Load(const FsPath& dir) {
  const QString path = QString::fromStdString((dir / "smiles.bmp").Utf8());
  if (QFileInfo::exists(path)) {
    QImage strip(path);
    if (!strip.isNull()) return FromStrip(strip);
  }
  return BuiltIn();
}

std::vector<SmileyMenuItem> SmileyMenuItems(const std::vector<SmileyCode>& codes, int pictureCount) {
  std::vector<SmileyMenuItem> items;
  for (int id = 0; id < pictureCount; ++id) {
    for (const SmileyCode& code : codes) {
      if (code.Index == id) {
        items.push_back({code.Code, id, id % 10 == 0});
        break;
      }
    }
  }
  return items;
}

}  // namespace plumo
