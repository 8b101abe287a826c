#pragma once
// The desktop's side of the controller's Dialogs and Shell: modal message boxes, beeps,
// the busy cursor, opening files, and minimising and restoring the main window.

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <string>
#include <vector>

#include "core/Environment.h"

namespace kavonet::ui {

class GuiFront : public Dialogs, public Shell {
 public:
  GuiFront();
  ~GuiFront() override;
  GuiFront(const GuiFront&) = delete;
  GuiFront& operator=(const GuiFront&) = delete;

  // The window that boxes belong to and that Minimize and Restore act on; may be null.
  void AttachWindow(QWidget* window);

  // ---- Dialogs ----
  // Both boxes run Qt's nested event loop, so timers and port events keep being served.
  // A box whose text is already open is not stacked on it: ErrorBox returns at once and
  // WarningYesNo answers No, the answer that leaves everything as it is.
  // While a client's call is being served, ErrorBox shows its box and returns at once:
  // no client waits for someone at the desktop to close a box.
  void ErrorBox(const std::string& text) override;
  bool WarningYesNo(const std::string& text) override;

  // ---- Shell ----
  void MessageBeep(BeepType type) override;
  // One busy state: the hourglass is set once however often it is asked for.
  void SetCursor(TCursor cursor) override;
  void OpenWithShell(const std::string& fileName) override;
  // Minimises the window unless it already is (with a tray icon it then leaves the taskbar).
  void Minimize() override;
  // Brings a minimised or tray-hidden window back, raised and active; a shown window
  // stays as it is.
  void Restore() override;
  // Raises and activates the window, restoring it first when needed.
  void BringToFront();

  // A client's call is being served between these two (calls may nest).
  void BeginClientCall() { ++clientCalls_; }
  void EndClientCall() { clientCalls_ = clientCalls_ > 0 ? clientCalls_ - 1 : 0; }

  // Boxes of this front open right now.
  int OpenBoxes() const { return static_cast<int>(openTexts_.size()); }
  bool Busy() const { return busy_; }

 private:
  // Runs a modal box unless one with the same text is open (then -1, no button).
  int RunBox(int icon, const std::string& text, int buttons, int defaultButton);
  void ShowWithoutWaiting(int icon, const std::string& text);
  void Closed(const std::string& text);
  bool IsOpen(const std::string& text) const;
  QWidget* BoxParent() const;

  QPointer<QWidget> window_;
  std::vector<std::string> openTexts_;
  bool busy_ = false;
  int clientCalls_ = 0;
  // Ends the connections of boxes that outlive this front.
  QObject lifetime_;
};

}  // namespace kavonet::ui
