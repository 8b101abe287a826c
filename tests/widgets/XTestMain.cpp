// Runs the GUI tests that need a real window system, on the X server in DISPLAY (under
// xvfb-run: no window manager), with the application object the program makes.

#include <gtest/gtest.h>
#include <stdlib.h>

#include "ui/widgets/DesktopApplication.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  const auto app = kavonet::ui::MakeDesktopApplication(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
