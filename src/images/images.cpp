// SPDX-License-Identifier: GPL-3.0-or-later
#include "images/images.h"

#include <QCoreApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <iterator>
#include <map>

namespace plumo {
namespace {

// Every drawing works on a 16 by 16 canvas; strokes of one unit sit on half units so that they
// fall on whole pixels at 16 and 32.
using Painter = void (*)(QPainter&);

const QColor kInk(0x33, 0x33, 0x33);
const QColor kWhite(Qt::white);

QPen Pen(const QColor& color, qreal width = 1.0) {
  QPen pen(color, width);
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  return pen;
}

void Fill(QPainter& p, const QColor& fill, const QColor& outline) {
  p.setPen(Pen(outline));
  p.setBrush(fill);
}

// A round dot with a darker rim filling most of the canvas: the states.
void Dot(QPainter& p, const QColor& fill) {
  Fill(p, fill, fill.darker(160));
  p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
}

void DrawActive(QPainter& p) {
  Dot(p, QColor(0x2E, 0xB8, 0x2E));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 110));
  p.drawEllipse(QPointF(6, 5.5), 2.2, 1.5);
}

// Amber with the hands of a clock: away from the keyboard for a while.
void DrawAway(QPainter& p) {
  Dot(p, QColor(0xF2, 0xB0, 0x1E));
  p.setPen(Pen(kWhite, 1.5));
  p.drawLine(QPointF(8, 8), QPointF(8, 4.5));
  p.drawLine(QPointF(8, 8), QPointF(10.5, 9));
}

// Night blue with a crescent moon: the screen saver runs.
void DrawScreenSaver(QPainter& p) {
  Dot(p, QColor(0x3B, 0x5B, 0xA9));
  QPainterPath moon;
  moon.addEllipse(QPointF(7.5, 8.5), 4, 4);
  QPainterPath bite;
  bite.addEllipse(QPointF(9.8, 6.6), 3.4, 3.4);
  p.setPen(Qt::NoPen);
  p.setBrush(kWhite);
  p.drawPath(moon.subtracted(bite));
}

// Red with a white bar: do not disturb.
void DrawDoNotDisturb(QPainter& p) {
  Dot(p, QColor(0xD9, 0x30, 0x25));
  p.setPen(Qt::NoPen);
  p.setBrush(kWhite);
  p.drawRoundedRect(QRectF(4, 7, 8, 2), 0.8, 0.8);
}

// A grey ring: offline.
void DrawOffline(QPainter& p) {
  Dot(p, QColor(0xB0, 0xB0, 0xB0));
  Fill(p, kWhite, QColor(0x90, 0x90, 0x90));
  p.drawEllipse(QPointF(8, 8), 3, 3);
}

// A speech bubble in the rectangle of its body, the tail below at the left.
void Bubble(QPainter& p, const QRectF& body, const QColor& fill, const QColor& outline) {
  QPainterPath shape;
  shape.addRoundedRect(body, 3, 3);
  QPainterPath tail;
  const qreal bottom = body.bottom();
  tail.moveTo(body.left() + 2.5, bottom - 1);
  tail.lineTo(body.left() + 2, bottom + 3);
  tail.lineTo(body.left() + 6, bottom - 1);
  tail.closeSubpath();
  Fill(p, fill, outline);
  p.drawPath(shape.united(tail));
}

// The channel bubble with two lines of text inside.
void ChannelBubble(QPainter& p, const QColor& fill, const QColor& outline, const QColor& lines) {
  Bubble(p, QRectF(1.5, 2.5, 13, 9), fill, outline);
  p.setPen(Pen(lines));
  p.drawLine(QPointF(4.5, 5.5), QPointF(11.5, 5.5));
  p.drawLine(QPointF(4.5, 8.5), QPointF(9.5, 8.5));
}

void DrawChannelCreated(QPainter& p) {
  ChannelBubble(p, kWhite, QColor(0x8A, 0x8A, 0x8A), QColor(0xB0, 0xB0, 0xB0));
}

void DrawChannelSeen(QPainter& p) {
  const QColor blue(0x4A, 0x8C, 0xD4);
  ChannelBubble(p, blue, blue.darker(150), kWhite);
}

void DrawChannelUnseen(QPainter& p) {
  const QColor orange(0xF2, 0x84, 0x1C);
  ChannelBubble(p, orange, orange.darker(150), kWhite);
}

// A dark screen with a prompt.
void Console(QPainter& p) {
  Fill(p, QColor(0x2B, 0x2B, 0x2B), QColor(0x11, 0x11, 0x11));
  p.drawRoundedRect(QRectF(1.5, 2.5, 13, 11), 1.5, 1.5);
  p.setPen(Pen(QColor(0x7C, 0xE0, 0x7C), 1.3));
  p.setBrush(Qt::NoBrush);
  const QPointF chevron[] = {{4, 5.5}, {6.5, 8}, {4, 10.5}};
  p.drawPolyline(chevron, 3);
  p.setPen(Pen(kWhite, 1.3));
  p.drawLine(QPointF(8, 10.5), QPointF(11, 10.5));
}

// A small round mark at the top right corner, ringed in white to stand off the picture.
void Badge(QPainter& p, const QColor& fill, const QPointF& centre = {12.5, 3.5}) {
  p.setPen(Pen(kWhite, 1.2));
  p.setBrush(fill);
  p.drawEllipse(centre, 3, 3);
}

void DrawConsoleSeen(QPainter& p) {
  Console(p);
}

void DrawConsoleUnseen(QPainter& p) {
  Console(p);
  Badge(p, QColor(0xF2, 0x84, 0x1C));
}

// An envelope with its flap.
void Envelope(QPainter& p, const QRectF& r, const QColor& fill) {
  const QColor outline(0x8C, 0x7B, 0x50);
  Fill(p, fill, outline);
  p.drawRect(r);
  p.setBrush(Qt::NoBrush);
  const QPointF flap[] = {r.topLeft(), {r.center().x(), r.top() + r.height() * 0.6}, r.topRight()};
  p.drawPolyline(flap, 3);
}

const QColor kPaper(0xFA, 0xF3, 0xDC);
const QColor kPaperBehind(0xE6, 0xDA, 0xB4);

void DrawPrivate(QPainter& p) {
  Envelope(p, QRectF(1.5, 3.5, 13, 9), kPaper);
}

// Two envelopes, one behind the other: to everybody.
void DrawMass(QPainter& p) {
  Envelope(p, QRectF(4.5, 1.5, 10, 7), kPaperBehind);
  Envelope(p, QRectF(1.5, 6.5, 10, 7), kPaper);
}

void DrawBell(QPainter& p) {
  const QColor gold(0xF2, 0xC1, 0x2E);
  const QColor outline(0xA0, 0x78, 0x10);
  Fill(p, gold, outline);
  p.drawEllipse(QPointF(8, 13.2), 1.6, 1.6);
  QPainterPath bell;
  bell.moveTo(2.5, 12);
  bell.cubicTo(4, 10.5, 4, 9, 4, 7);
  bell.cubicTo(4, 4.3, 5.8, 2.5, 8, 2.5);
  bell.cubicTo(10.2, 2.5, 12, 4.3, 12, 7);
  bell.cubicTo(12, 9, 12, 10.5, 13.5, 12);
  bell.closeSubpath();
  p.drawPath(bell);
  p.drawEllipse(QPointF(8, 1.8), 0.9, 0.9);
}

// A blue disc with a white "i" made of a dot and a bar.
void DrawUserInfo(QPainter& p) {
  Dot(p, QColor(0x2F, 0x7D, 0xD1));
  p.setPen(Qt::NoPen);
  p.setBrush(kWhite);
  p.drawEllipse(QPointF(8, 4.8), 1.2, 1.2);
  p.drawRoundedRect(QRectF(7, 7, 2, 5.5), 0.6, 0.6);
}

void Speaker(QPainter& p) {
  Fill(p, QColor(0x5A, 0x6B, 0x7D), QColor(0x2E, 0x3A, 0x46));
  const QPointF body[] = {{1.5, 6}, {4.5, 6}, {8, 2.5}, {8, 13.5}, {4.5, 10}, {1.5, 10}};
  p.drawPolygon(body, 6);
}

void DrawSound(QPainter& p) {
  Speaker(p);
  p.setPen(Pen(QColor(0x2F, 0x7D, 0xD1), 1.3));
  p.setBrush(Qt::NoBrush);
  for (qreal r : {3.0, 5.5}) p.drawArc(QRectF(8 - r, 8 - r, 2 * r, 2 * r), -45 * 16, 90 * 16);
}

void DrawMuted(QPainter& p) {
  Speaker(p);
  p.setPen(Pen(QColor(0xD9, 0x30, 0x25), 1.6));
  p.drawLine(QPointF(10, 5.5), QPointF(14.5, 10.5));
  p.drawLine(QPointF(14.5, 5.5), QPointF(10, 10.5));
}

// A green arrow to the right in the top right corner: send.
void SendArrow(QPainter& p) {
  const QColor green(0x2E, 0xA0, 0x43);
  Fill(p, green, green.darker(160));
  const QPointF arrow[] = {{8.5, 2.5},  {11.5, 2.5}, {11.5, 0.8}, {15.2, 3.6},
                           {11.5, 6.4}, {11.5, 4.7}, {8.5, 4.7}};
  p.drawPolygon(arrow, 7);
}

void DrawToolMessage(QPainter& p) {
  Envelope(p, QRectF(1.5, 5.5, 12, 8), kPaper);
  SendArrow(p);
}

void DrawToolMassMessage(QPainter& p) {
  Envelope(p, QRectF(3.5, 5.5, 10, 6), kPaperBehind);
  Envelope(p, QRectF(0.5, 8.5, 10, 6), kPaper);
  SendArrow(p);
}

// A painter's palette with four colours and a thumb hole.
void DrawToolColour(QPainter& p) {
  QPainterPath board;
  board.addEllipse(QRectF(1.5, 2.5, 13, 11));
  QPainterPath hole;
  hole.addEllipse(QPointF(10.3, 10.3), 1.6, 1.6);
  Fill(p, QColor(0xE8, 0xD3, 0xA9), QColor(0x8C, 0x6D, 0x3F));
  p.drawPath(board.subtracted(hole));
  p.setPen(Qt::NoPen);
  const struct {
    QPointF Centre;
    QColor Colour;
  } blobs[] = {{{4.8, 8.2}, QColor(0xE5, 0x39, 0x35)},
               {{6.4, 5.2}, QColor(0xFB, 0xC0, 0x2D)},
               {{9.6, 5}, QColor(0x43, 0xA0, 0x47)},
               {{12, 7.4}, QColor(0x1E, 0x88, 0xE5)}};
  for (const auto& blob : blobs) {
    p.setBrush(blob.Colour);
    p.drawEllipse(blob.Centre, 1.3, 1.3);
  }
}

// A window with a title bar and a command being typed: "/" and the cursor.
void DrawToolConsole(QPainter& p) {
  const QColor frame(0x3F, 0x5F, 0x8F);
  Fill(p, kWhite, frame);
  p.drawRect(QRectF(1.5, 2.5, 13, 11));
  p.setPen(Qt::NoPen);
  p.setBrush(frame);
  p.drawRect(QRectF(1.5, 2.5, 13, 3));
  p.setPen(Pen(kInk, 1.4));
  p.drawLine(QPointF(4.5, 12), QPointF(7, 7));
  p.drawLine(QPointF(8.5, 12), QPointF(11.5, 12));
}

// A person with a green state mark.
void DrawToolState(QPainter& p) {
  const QColor person(0x5A, 0x7F, 0xA8);
  Fill(p, person, person.darker(150));
  p.drawEllipse(QPointF(7, 5), 3, 3);
  QPainterPath shoulders;
  shoulders.moveTo(1.5, 14.5);
  shoulders.cubicTo(1.5, 10.5, 4, 9, 7, 9);
  shoulders.cubicTo(10, 9, 12.5, 10.5, 12.5, 14.5);
  shoulders.closeSubpath();
  p.drawPath(shoulders);
  Badge(p, QColor(0x2E, 0xB8, 0x2E), {12.5, 12});
}

// A white bubble and a pencil writing in it: the channel's topic.
void DrawToolTopic(QPainter& p) {
  Bubble(p, QRectF(0.5, 1.5, 11, 8), kWhite, QColor(0x8A, 0x8A, 0x8A));
  p.save();
  p.translate(10.5, 9);
  p.rotate(45);  // the pencil's tip points down and to the left
  Fill(p, QColor(0xF2, 0xC1, 0x2E), QColor(0x8C, 0x6D, 0x10));
  p.drawRect(QRectF(-1.4, -4.5, 2.8, 6.5));
  Fill(p, QColor(0xE8, 0x8A, 0x8A), QColor(0x8C, 0x6D, 0x10));
  p.drawRect(QRectF(-1.4, -6.3, 2.8, 1.8));
  Fill(p, QColor(0xF5, 0xDE, 0xB3), QColor(0x8C, 0x6D, 0x10));
  const QPointF tip[] = {{-1.4, 2}, {1.4, 2}, {0, 4.8}};
  p.drawPolygon(tip, 3);
  p.restore();
}

// A red power sign.
void DrawToolExit(QPainter& p) {
  p.setPen(Pen(QColor(0xC6, 0x28, 0x28), 2));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(2.8, 3.3, 10.4, 10.4), 120 * 16, 300 * 16);
  p.drawLine(QPointF(8, 1.8), QPointF(8, 8));
}

// A padlock: a body with a keyhole below a shackle, in the rectangle of its body.
void Padlock(QPainter& p, const QRectF& body, const QColor& fill) {
  const qreal shackle = body.width() * 0.3;
  p.setPen(Pen(QColor(0x6E, 0x6E, 0x6E), 1.6));
  p.setBrush(Qt::NoBrush);
  const QRectF arc(body.center().x() - shackle, body.top() - shackle - 1.5, 2 * shackle, 2 * shackle + 3);
  p.drawArc(arc, 0, 180 * 16);
  p.drawLine(QPointF(arc.left(), arc.center().y()), QPointF(arc.left(), body.top()));
  p.drawLine(QPointF(arc.right(), arc.center().y()), QPointF(arc.right(), body.top()));
  Fill(p, fill, fill.darker(170));
  p.drawRoundedRect(body, 1.2, 1.2);
  p.setPen(Qt::NoPen);
  p.setBrush(fill.darker(220));
  p.drawEllipse(QPointF(body.center().x(), body.center().y() - 0.6), 1, 1);
  p.drawRect(QRectF(body.center().x() - 0.45, body.center().y() - 0.4, 0.9, 2));
}

const QColor kLockGold(0xE8, 0xB8, 0x2E);

// A peer with a key: messages to it are encrypted.
void DrawLocked(QPainter& p) {
  Padlock(p, QRectF(3.5, 7.5, 9, 7), kLockGold);
}

// A checked key: the padlock with a green tick in the top right corner.
void DrawLockChecked(QPainter& p) {
  Padlock(p, QRectF(1.5, 7.5, 9, 7), kLockGold);
  const QColor green(0x2E, 0xA0, 0x43);
  Badge(p, green, {12, 4.5});
  p.setPen(Pen(kWhite, 1.2));
  const QPointF tick[] = {{10.6, 4.6}, {11.7, 5.7}, {13.5, 3.4}};
  p.drawPolyline(tick, 3);
}

// A key that changed: a red padlock with a white exclamation mark in a red badge.
void DrawLockChanged(QPainter& p) {
  Padlock(p, QRectF(1.5, 7.5, 9, 7), QColor(0xE5, 0x6B, 0x5D));
  Badge(p, QColor(0xD9, 0x30, 0x25), {12, 4.5});
  p.setPen(Pen(kWhite, 1.2));
  p.drawLine(QPointF(12, 3), QPointF(12, 4.9));
  p.drawPoint(QPointF(12, 6.3));
}

// The reply tab of an encrypted conversation: the envelope with a padlock on it.
void DrawPrivateEncrypted(QPainter& p) {
  Envelope(p, QRectF(0.5, 2.5, 12, 8.5), kPaper);
  Padlock(p, QRectF(8.5, 10.5, 6, 4.5), kLockGold);
}

// Delivery marks: the envelope of a sent message with a badge saying what became of it.
void SentEnvelope(QPainter& p, const QColor& badge, const QPointF& centre = {12, 11.5}) {
  Envelope(p, QRectF(0.5, 2.5, 12, 8.5), kPaper);
  Badge(p, badge, centre);
}

// On its way: a blue badge with a white arrow.
void DrawDeliverySending(QPainter& p) {
  SentEnvelope(p, QColor(0x3A, 0x7B, 0xD5));
  p.setPen(Pen(kWhite, 1.2));
  p.drawLine(QPointF(10.3, 11.5), QPointF(13.6, 11.5));
  const QPointF head[] = {{12.3, 10.2}, {13.6, 11.5}, {12.3, 12.8}};
  p.drawPolyline(head, 3);
}

// Delivered: a green badge with a white tick.
void DrawDelivered(QPainter& p) {
  SentEnvelope(p, QColor(0x2E, 0xA0, 0x43));
  p.setPen(Pen(kWhite, 1.2));
  const QPointF tick[] = {{10.6, 11.6}, {11.7, 12.7}, {13.5, 10.4}};
  p.drawPolyline(tick, 3);
}

// Not delivered: a red badge with a white exclamation mark.
void DrawNotDelivered(QPainter& p) {
  SentEnvelope(p, QColor(0xD9, 0x30, 0x25));
  p.setPen(Pen(kWhite, 1.2));
  p.drawLine(QPointF(12, 10), QPointF(12, 11.9));
  p.drawPoint(QPointF(12, 13.3));
}

// Waiting for the peer to come back: an amber badge with the hands of a clock.
void DrawDeliveryWaiting(QPainter& p) {
  SentEnvelope(p, QColor(0xF2, 0xB0, 0x1E));
  p.setPen(Pen(kWhite, 1.1));
  p.drawLine(QPointF(12, 11.5), QPointF(12, 9.7));
  p.drawLine(QPointF(12, 11.5), QPointF(13.4, 12.2));
}

// The roll-call of a message to everybody: a sheet with ticked and unticked names.
void DrawRollCall(QPainter& p) {
  Fill(p, kWhite, QColor(0x8A, 0x8A, 0x8A));
  p.drawRoundedRect(QRectF(2.5, 1.5, 11, 13), 1, 1);
  const QColor green(0x2E, 0xA0, 0x43);
  for (int row = 0; row < 3; ++row) {
    const qreal y = 4.5 + row * 3.5;
    if (row < 2) {
      p.setPen(Pen(green, 1.2));
      const QPointF tick[] = {{4, y}, {5, y + 1}, {6.6, y - 1}};
      p.drawPolyline(tick, 3);
    } else {
      p.setPen(Pen(QColor(0xD9, 0x30, 0x25), 1.2));
      p.drawLine(QPointF(4.2, y - 0.8), QPointF(6.2, y + 1));
      p.drawLine(QPointF(6.2, y - 0.8), QPointF(4.2, y + 1));
    }
    p.setPen(Pen(QColor(0x8A, 0x8A, 0x8A), 1));
    p.drawLine(QPointF(8, y), QPointF(11.5, y));
  }
}

// The Acknowledge button of a received message: a green seal with a white tick.
void DrawAcknowledge(QPainter& p) {
  Dot(p, QColor(0x2E, 0xA0, 0x43));
  p.setPen(Pen(kWhite, 1.8));
  const QPointF tick[] = {{4.8, 8.3}, {7, 10.5}, {11.2, 5.6}};
  p.drawPolyline(tick, 3);
}

// The program's icon: a blue speech bubble with a white feather. data/icons/plumo.svg has the same
// shapes on the same grid.
void DrawApp(QPainter& p) {
  QLinearGradient sky(0, 1.5, 0, 12);
  sky.setColorAt(0, QColor(0x4A, 0x9B, 0xE8));
  sky.setColorAt(1, QColor(0x23, 0x67, 0xB8));
  // The bubble's outline in one piece: corners of radius 3.5, the tail between the bottom corners.
  QPainterPath bubble;
  bubble.moveTo(4.5, 1.5);
  bubble.lineTo(11.5, 1.5);
  bubble.arcTo(QRectF(8, 1.5, 7, 7), 90, -90);
  bubble.lineTo(15, 8.5);
  bubble.arcTo(QRectF(8, 5, 7, 7), 0, -90);
  bubble.lineTo(8, 12);
  bubble.lineTo(3.5, 15);
  bubble.lineTo(4.5, 12);
  bubble.arcTo(QRectF(1, 5, 7, 7), 270, -90);
  bubble.lineTo(1, 5);
  bubble.arcTo(QRectF(1, 1.5, 7, 7), 180, -90);
  bubble.closeSubpath();
  p.setPen(Pen(QColor(0x1A, 0x4F, 0x8F), 0.6));
  p.setBrush(sky);
  p.drawPath(bubble);
  QPainterPath vane;
  vane.moveTo(5.5, 9.5);
  vane.cubicTo(6, 6, 8.5, 3.8, 12, 3.2);
  vane.cubicTo(11.5, 6.5, 9, 9, 5.5, 9.5);
  vane.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(kWhite);
  p.drawPath(vane);
  p.setPen(Pen(QColor(0x23, 0x67, 0xB8), 0.5));
  p.drawLine(QPointF(6.5, 8.5), QPointF(11, 4.2));
  p.setPen(Pen(kWhite, 0.8));
  p.drawLine(QPointF(4, 11), QPointF(5.8, 9.2));
}

struct Picture {
  int Index;
  Painter Draw;
};

// Ascending by index.
constexpr Picture kPictures[] = {
    {icon::kScreenSaver, DrawScreenSaver},
    {icon::kDoNotDisturb, DrawDoNotDisturb},
    {icon::kOffline, DrawOffline},
    {icon::kActive, DrawActive},
    {icon::kChannelCreated, DrawChannelCreated},
    {icon::kChannelSeen, DrawChannelSeen},
    {icon::kChannelUnseen, DrawChannelUnseen},
    {icon::kConsoleSeen, DrawConsoleSeen},
    {icon::kBell, DrawBell},
    {icon::kPrivate, DrawPrivate},
    {icon::kSound, DrawSound},
    {icon::kMass, DrawMass},
    {icon::kUserInfo, DrawUserInfo},
    {icon::kConsoleUnseen, DrawConsoleUnseen},
    {icon::kAway, DrawAway},
    {icon::kMuted, DrawMuted},
    {icon::kToolMessage, DrawToolMessage},
    {icon::kToolMassMessage, DrawToolMassMessage},
    {icon::kToolColour, DrawToolColour},
    {icon::kToolConsole, DrawToolConsole},
    {icon::kToolState, DrawToolState},
    {icon::kToolTopic, DrawToolTopic},
    {icon::kToolExit, DrawToolExit},
    {icon::kLocked, DrawLocked},
    {icon::kLockChecked, DrawLockChecked},
    {icon::kLockChanged, DrawLockChanged},
    {icon::kPrivateEncrypted, DrawPrivateEncrypted},
    {icon::kDeliverySending, DrawDeliverySending},
    {icon::kDelivered, DrawDelivered},
    {icon::kNotDelivered, DrawNotDelivered},
    {icon::kDeliveryWaiting, DrawDeliveryWaiting},
    {icon::kRollCall, DrawRollCall},
    {icon::kAcknowledge, DrawAcknowledge},
};

static_assert(std::adjacent_find(std::begin(kPictures), std::end(kPictures),
                                 [](const Picture& a, const Picture& b) { return a.Index >= b.Index; }) ==
                  std::end(kPictures),
              "kPictures must be ascending by index without repeats");

Painter FindDraw(int index) {
  const auto it = std::lower_bound(std::begin(kPictures), std::end(kPictures), index,
                                   [](const Picture& p, int i) { return p.Index < i; });
  return it != std::end(kPictures) && it->Index == index ? it->Draw : nullptr;
}

QPixmap Render(Painter draw, int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 16.0, size / 16.0);
  draw(p);
  p.end();
  return QPixmap::fromImage(image);
}

QIcon MakeIcon(Painter draw, std::initializer_list<int> sizes) {
  QIcon icon;
  for (int size : sizes) icon.addPixmap(Render(draw, size));
  return icon;
}

// Icons are asked for on every tab refresh, so each is drawn once. The cache is emptied when the
// application object goes, before Qt's own clean-up, so that no pixmap outlives it.
std::map<int, QIcon>& Cache() {
  static std::map<int, QIcon>* cache = [] {
    auto* c = new std::map<int, QIcon>;
    qAddPostRoutine([] { Cache().clear(); });
    return c;
  }();
  return *cache;
}

constexpr int kAppIndex = -1;  // the program's icon in the cache

}  // namespace

QIcon MainImage(int index) {
  const Painter draw = FindDraw(index);
  if (!draw) return {};
  auto& cache = Cache();
  auto it = cache.find(index);
  if (it == cache.end()) it = cache.emplace(index, MakeIcon(draw, {16, 24, 32, 48})).first;
  return it->second;
}

QPixmap MainPixmap(int index, int size) {
  const Painter draw = FindDraw(index);
  return draw && size > 0 ? Render(draw, size) : QPixmap();
}

std::vector<int> MainImageIndices() {
  std::vector<int> indices;
  for (const auto& picture : kPictures) indices.push_back(picture.Index);
  return indices;
}

QIcon AppIcon() {
  auto& cache = Cache();
  auto it = cache.find(kAppIndex);
  if (it == cache.end())
    it = cache.emplace(kAppIndex, MakeIcon(DrawApp, {16, 24, 32, 48, 64, 128, 256})).first;
  return it->second;
}

}  // namespace plumo
