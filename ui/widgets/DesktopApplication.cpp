#include "ui/widgets/DesktopApplication.h"

namespace kavonet::ui {

std::unique_ptr<QApplication> MakeDesktopApplication(int& argc, char** argv) {
  auto application = std::make_unique<QApplication>(argc, argv);
  QGuiApplication::setDesktopFileName(QStringLiteral("kavonet"));
  return application;
}

}  // namespace kavonet::ui
