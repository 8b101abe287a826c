#pragma once
// A controller in an entered session for fuzz targets: virtual clock, fake port, boxes that
// answer at once, and a private working directory with logging off.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "core/TSMS_Main.h"
#include "loop/VirtualEventLoop.h"
#include "serial/FakeCommPort.h"

namespace kavonet::fuzzing {

class SilentDialogs : public Dialogs {
 public:
  void ErrorBox(const std::string&) override {}
  bool WarningYesNo(const std::string&) override { return true; }
};

class SilentShell : public Shell {
 public:
  void MessageBeep(BeepType) override {}
  void SetCursor(TCursor) override {}
  void OpenWithShell(const std::string&) override {}
  void Minimize() override {}
  void Restore() override {}
};

inline std::filesystem::path FuzzWorkDir(const std::string& interface) {
  std::string pattern = (std::filesystem::temp_directory_path() / "kavonet-fuzz-XXXXXX").string();
  std::filesystem::path dir = mkdtemp(pattern.data());
  std::ofstream(dir / "orvsms.ini")
      << "[Configuration]\nInterface=" << interface
      << "\n[Receive Message]\nLog Receive=0\nLog Transmit=0\nStartup Transfer=1\n";
  return dir;
}

class FuzzController {
 public:
  explicit FuzzController(const std::string& interface)
      : dir_(FuzzWorkDir(interface)),
        main(std::make_unique<TSMS_Main>(loop, port, dialogs_, shell_, dir_)) {}
  ~FuzzController() {
    main.reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  // Connects and acknowledges every init command until the session is entered.
  void EnterSession() {
    main->ConnectTerminal();
    for (int i = 0; i < 10 && !main->Connected(); ++i) {
      port.Receive("\r\nOK\r\n");
      loop.Advance(std::chrono::milliseconds(350));
    }
    port.ClearLog();
  }

 private:
  std::filesystem::path dir_;
  SilentDialogs dialogs_;
  SilentShell shell_;

 public:
  VirtualEventLoop loop;
  FakeCommPort port;
  std::unique_ptr<TSMS_Main> main;
};

}  // namespace kavonet::fuzzing
