// Runs the GUI tests that need a real window system on the X server in DISPLAY (the
// test runs them under xvfb-run: no window manager), with the application object the
// program makes, and a private runtime directory.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "ui/widgets/DesktopApplication.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  std::string runtime = (std::filesystem::temp_directory_path() / "kavonet-xdg-XXXXXX").string();
  if (mkdtemp(runtime.data()) == nullptr) return 2;
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  int result = 0;
  {
    const auto app = kavonet::ui::MakeDesktopApplication(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    result = RUN_ALL_TESTS();
  }
  std::error_code ignored;
  std::filesystem::remove_all(runtime, ignored);
  return result;
}
