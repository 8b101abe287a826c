#pragma once
// A controller on a virtual clock with a fake port, fake dialogs and shell, and its own
// working directory: what every controller test starts from.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/TSMS_Main.h"
#include "loop/VirtualEventLoop.h"
#include "serial/FakeCommPort.h"
#include "tests/support/TempDir.h"

namespace kavonet::testing {

class RecordingDialogs : public Dialogs {
 public:
  void ErrorBox(const std::string& text) override {
    errors.push_back(text);
    if (modal) modal->Advance(std::chrono::seconds(40));  // time passes while the user reads
  }
  bool WarningYesNo(const std::string& text) override {
    warnings.push_back(text);
    return true;
  }
  std::vector<std::string> errors;
  std::vector<std::string> warnings;
  VirtualEventLoop* modal = nullptr;  // set: each box is a modal loop on this clock
};

// Only the cursor is looked at.
class RecordingShell : public Shell {
 public:
  void MessageBeep(BeepType) override {}
  void SetCursor(TCursor c) override { cursor = c; }
  void OpenWithShell(const std::string&) override {}
  void Minimize() override {}
  void Restore() override {}
  TCursor cursor = TCursor::crDefault;
};

// Every status text shown, in order.
class StatusHistory : public ControllerObserver {
 public:
  void StatusTextChanged(const std::string& text) override { texts.push_back(text); }
  void ProblemReported(const std::string& text) override {
    problems.push_back(text);
    texts.push_back(text);
  }
  void ControlsChanged() override {}
  bool Shown(const std::string& text) const {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
  }
  std::vector<std::string> texts;
  std::vector<std::string> problems;
};

class ControllerHarness {
 public:
  // `ini` is written as orvsms.ini before the controller starts (empty: no file).
  explicit ControllerHarness(const std::string& ini = "") {
    if (!ini.empty()) std::ofstream(dir.Path() / "orvsms.ini") << ini;
    Start();
  }
  // The process killed and started again: only the store and the files remain.
  void Restart() {
    main.reset();
    port.ClearLog();
    Start();
  }

  // Everything written to the port since the last call, one string per write.
  std::vector<std::string> TakeWritten() {
    std::vector<std::string> written = port.Written();
    port.ClearLog();
    return written;
  }
  // Bytes from the terminal, then enough virtual time for the controller to handle them
  // (one block per 350 ms tick).
  void Receive(const std::string& bytes, int blocks = 1) {
    port.Receive(bytes);
    loop.Advance(std::chrono::milliseconds(350 * blocks));
  }
  void Advance(int ms) { loop.Advance(std::chrono::milliseconds(ms)); }

  TempDir dir;
  // What the terminal received during the last step of a session script.
  std::vector<std::string> lastWritten;
  VirtualEventLoop loop;
  FakeCommPort port;
  RecordingDialogs dialogs;
  RecordingShell shell;
  StatusHistory status;
  MemoryQueueStore store;
  std::unique_ptr<TSMS_Main> main;

 private:
  void Start() {
    main = std::make_unique<TSMS_Main>(loop, port, dialogs, shell, dir.Path());
    main->SetObserver(&status);
    main->UseQueueStore(store);
  }
};

}  // namespace kavonet::testing
