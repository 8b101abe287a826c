// Runs the GUI tests without a display: Qt's offscreen platform, and a private runtime
// directory so that nothing of the user's session is touched.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <filesystem>
#include <string>

#include "ui/widgets/DesktopApplication.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  std::string runtime = (std::filesystem::temp_directory_path() / "kavonet-xdg-XXXXXX").string();
  // mkdtemp makes the directory with mode 0700, as Qt wants it.
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
