// Runs the GUI tests without a display: Qt's offscreen platform, and a private runtime
// directory so that nothing of the user's session is touched.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <cstdio>
#include <filesystem>
#include <string>

#include "ui/widgets/DesktopApplication.h"

namespace {

// The offscreen platform says for every fixed-size window that it cannot pass size hints
// on; that is no news in a test log.
void QuietOffscreenLog(QtMsgType /*type*/, const QMessageLogContext& /*context*/,
                       const QString& message) {
  if (message.contains(QLatin1String("propagateSizeHints"))) return;
  std::fprintf(stderr, "%s\n", qPrintable(message));
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  std::string runtime = (std::filesystem::temp_directory_path() / "kavonet-xdg-XXXXXX").string();
  // mkdtemp makes the directory with mode 0700, as Qt wants it.
  if (mkdtemp(runtime.data()) == nullptr) return 2;
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);

  int result = 0;
  {
    qInstallMessageHandler(QuietOffscreenLog);
    const auto app = kavonet::ui::MakeDesktopApplication(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    result = RUN_ALL_TESTS();
  }
  std::error_code ignored;
  std::filesystem::remove_all(runtime, ignored);
  return result;
}
