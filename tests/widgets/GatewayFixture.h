#pragma once
// A controller on a virtual clock with a fake port in its own working directory, as the
// window and the dialogs see it, plus helpers for the modal loops of the GUI.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/TSMS_Main.h"
#include "loop/VirtualEventLoop.h"
#include "serial/FakeCommPort.h"
#include "tests/core/ControllerHarness.h"
#include "ui/widgets/GuiFront.h"

namespace kavonet::testing {

inline std::string PduIni(const std::string& extra = "") {
  return "[Configuration]\nPort=2\nSpeed=9600\nInit String=ZE0&S0\nInterface=PDU Mode\n"
         "Service Centre Address=+4479\n" +
         extra;
}
inline std::string BlockIni(const std::string& extra = "") {
  return "[Configuration]\nPort=2\nSpeed=9600\nInit String=ZE0&S0\nInterface=Block Mode\n"
         "Wait OK=1\n" +
         extra;
}

class Gateway {
 public:
  // Where the controller's boxes and shell calls go.
  enum class Front { Recorded, Gui };

  // `ini` is orvsms.ini before the controller starts (empty: no file).
  explicit Gateway(const std::string& ini = "", Front front = Front::Recorded) {
    if (!ini.empty()) WriteIni(ini);
    main = std::make_unique<TSMS_Main>(loop, port, front == Front::Gui ? static_cast<Dialogs&>(gui) : recorded,
                                       front == Front::Gui ? static_cast<Shell&>(gui) : shell, dir.Path());
  }

  std::filesystem::path IniPath() const { return dir.Path() / "orvsms.ini"; }
  void WriteIni(const std::string& text) const { std::ofstream(IniPath()) << text; }
  std::string Ini() const { return ReadText(IniPath()); }

  // Bytes from the terminal, then the tick that hands them to the controller.
  void Receive(const std::string& bytes) {
    port.Receive(bytes);
    loop.Advance(std::chrono::milliseconds(350));
  }
  // Connects and answers every initialisation command with OK.
  void EnterSession() {
    main->ConnectTerminal();
    for (int i = 0; i < 10 && !main->Connected(); ++i) Receive("\r\nOK\r\n");
    ASSERT_TRUE(main->Connected());
  }
  std::vector<std::string> TakeWritten() {
    std::vector<std::string> written = port.Written();
    port.ClearLog();
    return written;
  }

  TempDir dir;
  VirtualEventLoop loop;
  FakeCommPort port;
  // Boxes, beeps and cursor changes, recorded instead of shown.
  RecordingDialogs recorded;
  RecordingShell shell;
  ui::GuiFront gui;
  std::unique_ptr<TSMS_Main> main;
};

// While alive, hands every modal window that opens to `handler` from inside its own
// event loop once the window is active, and remembers each one's title and text (a message box's
// text).
class ModalHandler {
 public:
  explicit ModalHandler(std::function<void(QWidget*)> handler) : handler_(std::move(handler)) {
    timer_.setInterval(0);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
  }
  ~ModalHandler() { timer_.stop(); }

  struct Seen {
    QString title;
    QString text;
  };
  const std::vector<Seen>& seen() const { return seen_; }
  // The most message boxes seen open at once.
  int deepest() const { return deepest_; }

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    // As a user would: once the window is up and active.
    if (modal == nullptr || !modal->isVisible() || !modal->isActiveWindow()) return;
    for (const QPointer<QWidget>& done : handled_) {
      if (done == modal) return;
    }
    handled_.emplace_back(modal);
    Seen seen{modal->windowTitle(), {}};
    if (auto* box = qobject_cast<QMessageBox*>(modal)) seen.text = box->text();
    seen_.push_back(seen);
    int open = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (w->isVisible() && qobject_cast<QMessageBox*>(w) != nullptr) ++open;
    }
    deepest_ = std::max(deepest_, open);
    // Not from inside this timer's own slot: Qt does not fire a timer again while its
    // slot runs, and the handler may open a box whose loop needs the next poll.
    QMetaObject::invokeMethod(
        &timer_,
        [this, box = QPointer<QWidget>(modal)] {
          if (box) handler_(box);
        },
        Qt::QueuedConnection);
  }

  std::function<void(QWidget*)> handler_;
  QTimer timer_;
  std::vector<QPointer<QWidget>> handled_;
  std::vector<Seen> seen_;
  int deepest_ = 0;
};

// Presses `button` of a message box (any other modal window is rejected).
inline void Press(QWidget* modal, QMessageBox::StandardButton button) {
  if (auto* box = qobject_cast<QMessageBox*>(modal)) {
    if (QAbstractButton* pressed = box->button(button)) {
      pressed->click();
    } else {
      ADD_FAILURE() << "the box has no such button";
      box->reject();
    }
  } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
    dialog->reject();
  }
}

// The named control; fails the test when the form has none.
template <class W = QWidget>
W* Control(const QObject& form, const char* name) {
  W* found = form.findChild<W*>(QString::fromLatin1(name));
  EXPECT_NE(found, nullptr) << "no control " << name;
  return found;
}

// What a control holds, as text: a radio group's chosen item (-1: none), a check box's
// state as 1 or 0, an edit's or a list's text, a label's or button's caption, a group's title.
inline QString Value(const QObject& form, const char* name) {
  if (auto* group = form.findChild<QButtonGroup*>(QString::fromLatin1(name))) {
    return QString::number(group->checkedId());
  }
  QWidget* w = Control(form, name);
  if (auto* box = qobject_cast<QCheckBox*>(w)) return box->isChecked() ? "1" : "0";
  if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
  if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text();
  if (auto* group = qobject_cast<QGroupBox*>(w)) return group->title();
  if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text();
  if (auto* list = qobject_cast<QComboBox*>(w)) return list->currentText();
  return w ? w->windowTitle() : QString();
}

inline void Choose(const QObject& form, const char* name, int item) {
  if (auto* group = Control<QButtonGroup>(form, name)) group->button(item)->click();
}

}  // namespace kavonet::testing
