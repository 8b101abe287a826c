#pragma once
// The front of a gateway without a window: status texts and errors become timestamped
// lines on a stream (stderr), the Auto Connect warning is answered Yes, and the shell's
// window operations have nothing to act on. The lines are UTF-8, as the gateway's
// texts are.

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

#include "core/Environment.h"

namespace kavonet::app {

// "2026-12-06 11:10:05.123": local time with milliseconds.
std::string LogTimestamp();

class LogWriter {
 public:
  using Clock = std::function<std::string()>;
  explicit LogWriter(std::ostream& out, Clock clock = LogTimestamp) : out_(out), clock_(std::move(clock)) {}
  // One line: timestamp, `kind` when not empty, and `text` (UTF-8) with its line breaks
  // turned into spaces.
  void Line(std::string_view kind, std::string_view text);

 private:
  std::ostream& out_;
  Clock clock_;
};

class HeadlessFront : public Dialogs, public Shell, public ControllerObserver {
 public:
  explicit HeadlessFront(LogWriter& log) : log_(log) {}

  void ErrorBox(const std::string& text) override;
  bool WarningYesNo(const std::string& text) override;

  void MessageBeep(BeepType) override {}
  void SetCursor(TCursor) override {}
  void OpenWithShell(const std::string& fileName) override;
  void Minimize() override {}
  void Restore() override {}

  void StatusTextChanged(const std::string& text) override;
  void ProblemReported(const std::string& text) override;
  void ControlsChanged() override {}

 private:
  LogWriter& log_;
};

}  // namespace kavonet::app
