#pragma once
// What the controller asks of the world around it: message boxes and the desktop shell.
// The front end implements these; tests fake them.

#include <string>

#include "core/Controls.h"

namespace kavonet {

// Modal boxes. Timers, port events and client calls keep running while one is open.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  virtual void ErrorBox(const std::string& text) = 0;
  // A warning with Yes and No; true for Yes.
  virtual bool WarningYesNo(const std::string& text) = 0;
};

enum BeepType : unsigned { MB_OK = 0x00, MB_ICONHAND = 0x10, MB_ICONQUESTION = 0x20 };

class Shell {
 public:
  virtual ~Shell() = default;
  virtual void MessageBeep(BeepType type) = 0;
  virtual void SetCursor(TCursor cursor) = 0;
  // Opens a file with the desktop's default application; failures are ignored.
  virtual void OpenWithShell(const std::string& fileName) = 0;
  virtual void Minimize() = 0;
  virtual void Restore() = 0;
};

// Told about every change a window has to draw.
class ControllerObserver {
 public:
  virtual ~ControllerObserver() = default;
  virtual void StatusTextChanged(const std::string& text) = 0;
  // A status text that reports a fault the user must act on: a front without a window
  // writes it as an error.
  virtual void ProblemReported(const std::string& text) { StatusTextChanged(text); }
  virtual void ControlsChanged() = 0;
};

}  // namespace kavonet
