#include "ui/widgets/Glyphs.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <functional>

namespace kavonet::ui::glyphs {

namespace {

using Drawing = std::function<void(QPainter&)>;

// Draws on a transparent square of `size` pixels whose coordinates run 0..16 in both
// directions, so every glyph is written once for any size.
QPixmap Draw(int size, const Drawing& drawing) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 16.0, size / 16.0);
  drawing(painter);
  painter.end();
  return QPixmap::fromImage(image);
}

QIcon IconAt(std::initializer_list<int> sizes, const Drawing& drawing) {
  QIcon icon;
  for (int size : sizes) icon.addPixmap(Draw(size, drawing));
  return icon;
}

QPen Outline(const QColor& color, double width = 1.0) {
  return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A hand-held terminal: body, screen and antenna.
void Terminal(QPainter& p, const QColor& body) {
  p.setPen(Outline(Qt::black, 0.7));
  p.setBrush(body);
  p.drawRoundedRect(QRectF(3.5, 4, 6, 11), 1, 1);
  p.setBrush(QColor(0xc8, 0xe6, 0xc9));
  p.drawRect(QRectF(4.5, 5.2, 4, 3));
  p.setPen(Outline(Qt::black, 0.9));
  p.drawLine(QPointF(8.3, 4), QPointF(8.3, 1.2));
}

void Arrow(QPainter& p, double y, const QColor& color) {
  p.setPen(Outline(color, 1.4));
  p.drawLine(QPointF(10, y), QPointF(15, y));
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  p.drawPolygon(QPolygonF({QPointF(15.8, y), QPointF(13, y - 2.2), QPointF(13, y + 2.2)}));
}

void Plug(QPainter& p, bool joined) {
  const double gap = joined ? 0.0 : 2.5;
  p.setPen(Outline(Qt::black, 0.7));
  // The plug with its two pins, from the left.
  p.setBrush(QColor(0x30, 0x30, 0x30));
  p.drawRoundedRect(QRectF(2.5 - gap, 5.5, 4, 5), 1, 1);
  p.setPen(Outline(QColor(0xb0, 0x90, 0x20), 1.0));
  p.drawLine(QPointF(6.5 - gap, 6.8), QPointF(8.5 - gap, 6.8));
  p.drawLine(QPointF(6.5 - gap, 9.2), QPointF(8.5 - gap, 9.2));
  p.setPen(Outline(Qt::black, 1.2));
  p.drawLine(QPointF(0, 8), QPointF(2.5 - gap, 8));
  // The socket, from the right.
  p.setPen(Outline(Qt::black, 0.7));
  p.setBrush(joined ? QColor(0x2e, 0x9d, 0x3a) : QColor(0x9e, 0x9e, 0x9e));
  p.drawRoundedRect(QRectF(8.5 + gap, 5, 5, 6), 1, 1);
  p.setPen(Outline(Qt::black, 1.2));
  p.drawLine(QPointF(13.5 + gap, 8), QPointF(16, 8));
}

void Letter(QPainter& p, const QRectF& r, const QColor& paper) {
  p.setPen(Outline(QColor(0x50, 0x50, 0x50), 0.6));
  p.setBrush(paper);
  p.drawRect(r);
  p.drawLine(r.topLeft(), QPointF(r.center().x(), r.center().y() + 0.5));
  p.drawLine(r.topRight(), QPointF(r.center().x(), r.center().y() + 0.5));
}

void StageIdle(QPainter& p) {
  p.setPen(Outline(QColor(0x40, 0x40, 0x40), 0.7));
  p.setBrush(QColor(0xd7, 0xcc, 0xc8));
  QPainterPath tray;
  tray.moveTo(2, 9);
  tray.lineTo(4.5, 13.5);
  tray.lineTo(11.5, 13.5);
  tray.lineTo(14, 9);
  tray.lineTo(10.5, 9);
  tray.lineTo(9.5, 10.5);
  tray.lineTo(6.5, 10.5);
  tray.lineTo(5.5, 9);
  tray.closeSubpath();
  p.drawPath(tray);
  p.setPen(Outline(QColor(0x2e, 0x7d, 0x32), 1.3));
  p.drawLine(QPointF(5.5, 5), QPointF(7.5, 7));
  p.drawLine(QPointF(7.5, 7), QPointF(11, 2.5));
}

void StageQueued(QPainter& p) {
  Letter(p, QRectF(1.5, 5, 10, 7), QColor(0xff, 0xf3, 0xc4));
  // A clock: waiting for its turn.
  p.setPen(Outline(Qt::black, 0.6));
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(12, 11.5), 3.2, 3.2);
  p.drawLine(QPointF(12, 11.5), QPointF(12, 9.4));
  p.drawLine(QPointF(12, 11.5), QPointF(13.6, 11.5));
}

void StageSending(QPainter& p) {
  Letter(p, QRectF(1, 7, 9, 6.5), QColor(0xc8, 0xe6, 0xc9));
  p.setPen(Outline(QColor(0xc6, 0x28, 0x28), 0.9));
  p.setBrush(Qt::NoBrush);
  for (double r : {2.5, 4.5, 6.5}) {
    p.drawArc(QRectF(10 - r, 6 - r, 2 * r, 2 * r), 0 * 16, 90 * 16);
  }
}

void Program(QPainter& p, bool colour) {
  Terminal(p, colour ? QColor(0x1e, 0x63, 0xb4) : QColor(0x9e, 0x9e, 0x9e));
  Letter(p, QRectF(8.5, 9, 7, 5), colour ? QColor(0xff, 0xf3, 0xc4) : QColor(0xe0, 0xe0, 0xe0));
}

}  // namespace

QIcon ConnectGlyph() {
  QIcon icon;
  for (int size : {16, 24}) {
    icon.addPixmap(Draw(size, [](QPainter& p) { Plug(p, false); }), QIcon::Normal, QIcon::Off);
    icon.addPixmap(Draw(size, [](QPainter& p) { Plug(p, true); }), QIcon::Normal, QIcon::On);
  }
  return icon;
}

QIcon NoTransferGlyph() {
  return IconAt({16, 20}, [](QPainter& p) {
    Terminal(p, QColor(0x60, 0x7d, 0x8b));
    p.setPen(Outline(QColor(0xc6, 0x28, 0x28), 1.6));
    p.drawLine(QPointF(10.5, 6), QPointF(15, 12));
    p.drawLine(QPointF(15, 6), QPointF(10.5, 12));
  });
}

QIcon TransferTEGlyph() {
  return IconAt({16, 20}, [](QPainter& p) {
    Terminal(p, QColor(0x60, 0x7d, 0x8b));
    Arrow(p, 12.5, QColor(0x2e, 0x7d, 0x32));
    QFont font;
    font.setPixelSize(5);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QRectF(9.5, 3, 7, 6), Qt::AlignCenter, QStringLiteral("TE"));
  });
}

QIcon TransferAllGlyph() {
  return IconAt({16, 20}, [](QPainter& p) {
    Terminal(p, QColor(0x60, 0x7d, 0x8b));
    Arrow(p, 6.5, QColor(0x2e, 0x7d, 0x32));
    Arrow(p, 11.5, QColor(0x2e, 0x7d, 0x32));
  });
}

QPixmap SendStageIcon(int stage) {
  switch (stage) {
    case 2:
      return Draw(kStageIconSize, StageQueued);
    case 3:
      return Draw(kStageIconSize, StageSending);
    default:
      return Draw(kStageIconSize, StageIdle);
  }
}

QIcon ProgramIcon() {
  return IconAt({16, 32, 48}, [](QPainter& p) { Program(p, true); });
}

QIcon TrayIcon(bool connected) {
  return IconAt({16, 22, 32}, [connected](QPainter& p) { Program(p, connected); });
}

}  // namespace kavonet::ui::glyphs
