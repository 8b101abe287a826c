#include "ui/widgets/RetrievalLight.h"

#include <QPainter>
#include <algorithm>

namespace kavonet::ui {

RetrievalLight::RetrievalLight(QWidget* parent) : QWidget(parent) {}

void RetrievalLight::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  update();
}

QColor RetrievalLight::Fill(TColor color) {
  return color == TColor::clRed ? QColor(0xff, 0x00, 0x00) : QColor(0x00, 0x80, 0x00);
}

void RetrievalLight::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal penWidth = 1.0;
  painter.setPen(QPen(palette().color(QPalette::Highlight), penWidth));
  painter.setBrush(Fill(color_));
  // Inside the frame: the pen does not reach past the widget's edge.
  const QRectF inside =
      QRectF(rect()).adjusted(penWidth / 2, penWidth / 2, -penWidth / 2, -penWidth / 2);
  const qreal radius = std::min(inside.width(), inside.height()) / 4;
  painter.drawRoundedRect(inside, radius, radius);
}

}  // namespace kavonet::ui
