#pragma once
// The about box: program icon, product name and version, and OK.

#include <QDialog>

namespace kavonet::ui {

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* parent = nullptr);
};

}  // namespace kavonet::ui
