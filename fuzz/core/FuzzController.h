#pragma once
// A controller in an entered session for fuzz targets: virtual clock, fake port, boxes that
// answer at once, a private working directory with logging off, and always a message
// waiting so that confirmations and refusals have something to act on.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "core/TSMS_Main.h"
#include "loop/VirtualEventLoop.h"
#include "serial/FakeCommPort.h"

namespace kavonet::fuzzing {

class Silent : public Dialogs, public Shell {
 public:
  void ErrorBox(const std::string&) override {}
  bool WarningYesNo(const std::string&) override { return true; }
  void MessageBeep(BeepType) override {}
  void SetCursor(TCursor) override {}
  void OpenWithShell(const std::string&) override {}
  void Minimize() override {}
  void Restore() override {}
};

class FuzzController {
 public:
  explicit FuzzController(const std::string& interface) {
    std::string pattern = (std::filesystem::temp_directory_path() / "kavonet-fuzz-XXXXXX").string();
    dir_ = mkdtemp(pattern.data());
    std::ofstream(dir_ / "orvsms.ini")
        << "[Configuration]\nInterface=" << interface
        << "\n[Receive Message]\nLog Receive=0\nLog Transmit=0\nStartup Transfer=1\n";
    main = std::make_unique<TSMS_Main>(loop, port, silent_, silent_, dir_);
  }
  ~FuzzController() {
    main.reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  // `feed` hands the input over in a session (entered again after End SMS Mode), then a
  // send tick runs.
  template <typename Feed>
  void Run(Feed feed) {
    if (!main->Connected()) {
      main->ConnectTerminal();
      for (int i = 0; i < 10 && !main->Connected(); ++i) {
        port.Receive("\r\nOK\r\n");
        loop.Advance(std::chrono::milliseconds(350));
      }
    }
    if (main->tx_queue.RowCount() < 4) main->AppendToSendQueue("123", "x");
    port.ClearLog();
    feed(*main);
    main->tx_queue_TimerTimer();
  }

 private:
  std::filesystem::path dir_;
  Silent silent_;

 public:
  VirtualEventLoop loop;
  FakeCommPort port;
  std::unique_ptr<TSMS_Main> main;
};

}  // namespace kavonet::fuzzing
