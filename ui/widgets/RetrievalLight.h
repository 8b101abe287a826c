#pragma once
// The retrieval activity light: a rounded rectangle filled green or red and edged in the
// highlight colour.

#include <QWidget>

#include "core/Controls.h"

namespace kavonet::ui {

class RetrievalLight : public QWidget {
  Q_OBJECT

 public:
  explicit RetrievalLight(QWidget* parent);

  void SetColor(TColor color);
  TColor Color() const { return color_; }
  // The fill a colour is drawn with.
  static QColor Fill(TColor color);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TColor color_ = TColor::clGreen;
};

}  // namespace kavonet::ui
