// SPDX-License-Identifier: GPL-3.0-or-later
// The program's own smiley pictures, drawn with QPainter on 19-pixel transparent cells: a face of one
// colour with eyes, a mouth and sometimes an extra (tear, halo, horns, glasses, heart, ...).
#include <QPainter>
#include <QPainterPath>

#include <array>
#include <cmath>

#include "view/smileys.h"

namespace plumo {
namespace {

enum class EyeShape { Dots, Wink, Closed, Wide, Glasses, Hearts, Angry, Sad };
enum class MouthShape { Smile, Grin, Sad, Flat, Open, Tongue, Kiss, Wavy, Teeth, Small };
enum class ExtraMark { None, Tear, Halo, Horns, Blush, Sweat, Sleep, Star };

struct Face {
  QRgb Skin;
  EyeShape Eyes;
  MouthShape Mouth;
  ExtraMark Extra;
};

constexpr QRgb kYellow = 0xFFFFD23C;
constexpr QRgb kGreen = 0xFF9BD75A;
constexpr QRgb kRed = 0xFFF06446;
constexpr QRgb kBlue = 0xFF8CB4F0;
constexpr QRgb kPink = 0xFFFFAAC8;

constexpr std::array<Face, 24> kFaces{{
    {kYellow, EyeShape::Dots, MouthShape::Smile, ExtraMark::None},     // 0 smile
    {kYellow, EyeShape::Wink, MouthShape::Smile, ExtraMark::None},     // 1 wink
    {kYellow, EyeShape::Sad, MouthShape::Sad, ExtraMark::None},        // 2 sad
    {kYellow, EyeShape::Closed, MouthShape::Grin, ExtraMark::None},    // 3 laugh
    {kYellow, EyeShape::Dots, MouthShape::Tongue, ExtraMark::None},    // 4 tongue
    {kYellow, EyeShape::Wide, MouthShape::Open, ExtraMark::None},      // 5 surprise
    {kYellow, EyeShape::Dots, MouthShape::Flat, ExtraMark::None},      // 6 neutral
    {kYellow, EyeShape::Glasses, MouthShape::Smile, ExtraMark::None},  // 7 cool
    {kRed, EyeShape::Angry, MouthShape::Sad, ExtraMark::None},         // 8 angry
    {kYellow, EyeShape::Sad, MouthShape::Sad, ExtraMark::Tear},        // 9 cry
    {kYellow, EyeShape::Closed, MouthShape::Kiss, ExtraMark::Blush},   // 10 kiss
    {kYellow, EyeShape::Dots, MouthShape::Wavy, ExtraMark::None},      // 11 confused
    {kYellow, EyeShape::Closed, MouthShape::Small, ExtraMark::Sleep},  // 12 sleep
    {kYellow, EyeShape::Dots, MouthShape::Smile, ExtraMark::Blush},    // 13 blush
    {kRed, EyeShape::Angry, MouthShape::Grin, ExtraMark::Horns},       // 14 devil
    {kYellow, EyeShape::Closed, MouthShape::Smile, ExtraMark::Halo},   // 15 angel
    {kYellow, EyeShape::Hearts, MouthShape::Smile, ExtraMark::None},   // 16 in love
    {kGreen, EyeShape::Closed, MouthShape::Wavy, ExtraMark::None},     // 17 sick
    {kYellow, EyeShape::Dots, MouthShape::Teeth, ExtraMark::Sweat},    // 18 nervous
    {kBlue, EyeShape::Wide, MouthShape::Small, ExtraMark::None},       // 19 cold
    {kYellow, EyeShape::Wide, MouthShape::Grin, ExtraMark::Star},      // 20 excited
    {kPink, EyeShape::Wink, MouthShape::Kiss, ExtraMark::None},        // 21 flirt
    {kYellow, EyeShape::Glasses, MouthShape::Flat, ExtraMark::Sweat},  // 22 unimpressed
    {kGreen, EyeShape::Wide, MouthShape::Open, ExtraMark::None},       // 23 shocked
}};

void DrawHeart(QPainter& p, QPointF c, qreal r) {
  QPainterPath path;
  path.moveTo(c.x(), c.y() + r);
  path.cubicTo(c.x() - 2 * r, c.y() - 0.2 * r, c.x() - 0.8 * r, c.y() - 1.6 * r, c.x(), c.y() - 0.4 * r);
  path.cubicTo(c.x() + 0.8 * r, c.y() - 1.6 * r, c.x() + 2 * r, c.y() - 0.2 * r, c.x(), c.y() + r);
  p.fillPath(path, QColor(220, 20, 60));
}

void DrawEyes(QPainter& p, EyeShape eyes) {
  const QColor ink(40, 30, 20);
  p.setPen(QPen(ink, 1.2, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(ink);
  switch (eyes) {
    case EyeShape::Dots:
      p.drawEllipse(QPointF(6.5, 7.5), 1.1, 1.5);
      p.drawEllipse(QPointF(12.5, 7.5), 1.1, 1.5);
      break;
    case EyeShape::Wink:
      p.drawEllipse(QPointF(6.5, 7.5), 1.1, 1.5);
      p.drawLine(QPointF(11, 8), QPointF(14, 7.5));
      break;
    case EyeShape::Closed:
      p.setBrush(Qt::NoBrush);
      p.drawArc(QRectF(5, 6.5, 3, 2.5), 0, 180 * 16);
      p.drawArc(QRectF(11, 6.5, 3, 2.5), 0, 180 * 16);
      break;
    case EyeShape::Wide:
      p.setBrush(Qt::white);
      p.drawEllipse(QPointF(6.5, 7.5), 2, 2.3);
      p.drawEllipse(QPointF(12.5, 7.5), 2, 2.3);
      p.setBrush(ink);
      p.drawEllipse(QPointF(6.5, 7.8), 0.7, 0.7);
      p.drawEllipse(QPointF(12.5, 7.8), 0.7, 0.7);
      break;
    case EyeShape::Glasses:
      p.drawRoundedRect(QRectF(3.5, 6, 5, 3), 1, 1);
      p.drawRoundedRect(QRectF(10.5, 6, 5, 3), 1, 1);
      p.drawLine(QPointF(8.5, 7), QPointF(10.5, 7));
      break;
    case EyeShape::Hearts:
      DrawHeart(p, QPointF(6.5, 7.5), 1.8);
      DrawHeart(p, QPointF(12.5, 7.5), 1.8);
      break;
    case EyeShape::Angry:
      p.drawLine(QPointF(4.5, 5), QPointF(8, 6.5));
      p.drawLine(QPointF(14.5, 5), QPointF(11, 6.5));
      p.drawEllipse(QPointF(6.5, 8), 1, 1);
      p.drawEllipse(QPointF(12.5, 8), 1, 1);
      break;
    case EyeShape::Sad:
      p.drawLine(QPointF(4.5, 6.5), QPointF(8, 5));
      p.drawLine(QPointF(14.5, 6.5), QPointF(11, 5));
      p.drawEllipse(QPointF(6.5, 8), 1, 1.3);
      p.drawEllipse(QPointF(12.5, 8), 1, 1.3);
      break;
  }
}

void DrawMouth(QPainter& p, MouthShape mouth) {
  const QColor ink(40, 30, 20);
  p.setPen(QPen(ink, 1.2, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  switch (mouth) {
    case MouthShape::Smile:
      p.drawArc(QRectF(5, 7, 9, 7), 200 * 16, 140 * 16);
      break;
    case MouthShape::Grin: {
      QPainterPath path;
      path.moveTo(5, 11);
      path.lineTo(14, 11);
      path.quadTo(9.5, 18, 5, 11);
      p.setBrush(QColor(120, 20, 20));
      p.drawPath(path);
      break;
    }
    case MouthShape::Sad:
      p.drawArc(QRectF(5.5, 12, 8, 6), 30 * 16, 120 * 16);
      break;
    case MouthShape::Flat:
      p.drawLine(QPointF(6, 13), QPointF(13, 13));
      break;
    case MouthShape::Open:
      p.setBrush(QColor(120, 20, 20));
      p.drawEllipse(QPointF(9.5, 13), 2, 2.5);
      break;
    case MouthShape::Tongue:
      p.drawArc(QRectF(5, 7, 9, 7), 200 * 16, 140 * 16);
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(230, 80, 100));
      p.drawEllipse(QPointF(10.5, 14.5), 1.8, 1.8);
      break;
    case MouthShape::Kiss:
      p.setBrush(QColor(220, 40, 80));
      p.setPen(Qt::NoPen);
      p.drawEllipse(QPointF(9.5, 13), 1.6, 1.3);
      break;
    case MouthShape::Wavy: {
      QPainterPath path;
      path.moveTo(5.5, 13);
      path.quadTo(7.5, 11, 9.5, 13);
      path.quadTo(11.5, 15, 13.5, 13);
      p.drawPath(path);
      break;
    }
    case MouthShape::Teeth:
      p.setBrush(Qt::white);
      p.drawRect(QRectF(5.5, 11.5, 8, 3));
      p.drawLine(QPointF(5.5, 13), QPointF(13.5, 13));
      break;
    case MouthShape::Small:
      p.drawEllipse(QPointF(9.5, 13.5), 0.8, 0.8);
      break;
  }
}

void DrawExtra(QPainter& p, ExtraMark extra) {
  switch (extra) {
    case ExtraMark::None:
      break;
    case ExtraMark::Tear:
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(70, 140, 240));
      p.drawEllipse(QPointF(5.5, 11), 1.2, 1.8);
      break;
    case ExtraMark::Halo:
      p.setPen(QPen(QColor(250, 220, 60), 1.2));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(QRectF(4.5, 0.3, 10, 2.6));
      break;
    case ExtraMark::Horns: {
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(120, 10, 10));
      QPolygonF left({QPointF(3, 0.5), QPointF(3.5, 5), QPointF(6.5, 3)});
      QPolygonF right({QPointF(16, 0.5), QPointF(15.5, 5), QPointF(12.5, 3)});
      p.drawPolygon(left);
      p.drawPolygon(right);
      break;
    }
    case ExtraMark::Blush:
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(240, 120, 120, 170));
      p.drawEllipse(QPointF(4.5, 11), 1.6, 1.1);
      p.drawEllipse(QPointF(14.5, 11), 1.6, 1.1);
      break;
    case ExtraMark::Sweat:
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(90, 170, 250));
      p.drawEllipse(QPointF(15.5, 4.5), 1.2, 1.8);
      break;
    case ExtraMark::Sleep:
      p.setPen(QPen(QColor(60, 60, 160), 1));
      p.drawLine(QPointF(13, 1), QPointF(17, 1));
      p.drawLine(QPointF(17, 1), QPointF(13, 5));
      p.drawLine(QPointF(13, 5), QPointF(17, 5));
      break;
    case ExtraMark::Star: {
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(255, 160, 0));
      QPolygonF star;
      for (int k = 0; k < 10; ++k) {
        const qreal r = k % 2 == 0 ? 3.0 : 1.3;
        const qreal a = 3.14159265 / 5 * k - 3.14159265 / 2;
        star << QPointF(15.5 + r * std::cos(a), 3.5 + r * std::sin(a));
      }
      p.drawPolygon(star);
      break;
    }
  }
}

}  // namespace

int BuiltInSmileyCount() {
  return static_cast<int>(kFaces.size());
}

QImage DrawBuiltInSmiley(int index) {
  QImage image(kSmileySize, kSmileySize, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  if (index < 0 || index >= BuiltInSmileyCount()) return image;
  const Face& face = kFaces[static_cast<std::size_t>(index)];
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QRadialGradient shade(QPointF(7, 6), 11);
  shade.setColorAt(0, QColor::fromRgb(face.Skin).lighter(125));
  shade.setColorAt(1, QColor::fromRgb(face.Skin));
  p.setPen(QPen(QColor::fromRgb(face.Skin).darker(170), 1));
  p.setBrush(shade);
  p.drawEllipse(QRectF(1.5, 1.5, 16, 16));
  DrawEyes(p, face.Eyes);
  DrawMouth(p, face.Mouth);
  DrawExtra(p, face.Extra);
  return image;
}

}  // namespace plumo
