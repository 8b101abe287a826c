#pragma once
// The application object of the gateway with its window.

#include <QApplication>
#include <memory>

namespace kavonet::ui {

// Names the program to the desktop (its .desktop file) and nothing more: a display name
// would be appended by the platform to every caption ("About — Kavonet").
std::unique_ptr<QApplication> MakeDesktopApplication(int& argc, char** argv);

}  // namespace kavonet::ui
