#pragma once
// The controller harness as the window and the dialogs see it, plus helpers for the modal
// loops of the GUI.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <functional>

#include "tests/core/ControllerHarness.h"
#include "ui/widgets/GuiFront.h"

namespace kavonet::testing {

inline std::string PduIni(const std::string& extra = "") {
  return "[Configuration]\nPort=2\nSpeed=9600\nInit String=ZE0&S0\nInterface=PDU Mode\n"
         "Service Centre Address=+4479\n" + extra;
}
inline std::string BlockIni() {
  return "[Configuration]\nPort=2\nSpeed=9600\nInit String=ZE0&S0\nInterface=Block Mode\nWait OK=1\n";
}

class Gateway : public ControllerHarness {
 public:
  // Where the controller's boxes and shell calls go: recorded, or the desktop front's.
  enum class Front { Recorded, Gui };

  explicit Gateway(const std::string& ini = "", Front front = Front::Recorded) : ControllerHarness(ini) {
    if (front == Front::Gui) main = std::make_unique<TSMS_Main>(loop, port, gui, gui, dir.Path());
  }
  ~Gateway() { main.reset(); }  // before the front it may use

  std::filesystem::path IniPath() const { return dir.Path() / "orvsms.ini"; }
  void WriteIni(const std::string& text) const { WriteText(IniPath(), text); }
  // Connects and answers every initialisation command with OK.
  void EnterSession() {
    main->ConnectTerminal();
    for (int i = 0; i < 10 && !main->Connected(); ++i) Receive("\r\nOK\r\n");
    ASSERT_TRUE(main->Connected());
  }

  ui::GuiFront gui;
};

// While alive, hands every modal window that opens to `handler` from inside its own event
// loop once the window is active, and remembers each one's text (empty: not a box).
class ModalHandler {
 public:
  explicit ModalHandler(std::function<void(QWidget*)> handler) : handler_(std::move(handler)) {
    timer_.setInterval(0);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
  }

  const std::vector<QString>& texts() const { return texts_; }

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    // As a user would: once the window is up and active.
    if (modal == nullptr || !modal->isVisible() || !modal->isActiveWindow()) return;
    for (const QPointer<QWidget>& done : handled_) {
      if (done == modal) return;
    }
    handled_.emplace_back(modal);
    auto* box = qobject_cast<QMessageBox*>(modal);
    texts_.push_back(box ? box->text() : QString());
    // Not from inside this timer's own slot: Qt does not fire a timer again while its
    // slot runs, and the handler may open a box whose loop needs the next poll.
    QMetaObject::invokeMethod(
        &timer_, [this, box = QPointer<QWidget>(modal)] {
          if (box) handler_(box);
        }, Qt::QueuedConnection);
  }

  std::function<void(QWidget*)> handler_;
  QTimer timer_;
  std::vector<QPointer<QWidget>> handled_;
  std::vector<QString> texts_;
};

// Presses `button` of a message box (any other modal window is rejected).
inline void Press(QWidget* modal, QMessageBox::StandardButton button) {
  if (auto* box = qobject_cast<QMessageBox*>(modal)) {
    QAbstractButton* pressed = box->button(button);
    EXPECT_NE(pressed, nullptr) << "the box has no such button";
    pressed ? pressed->click() : box->reject();
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
// state as 1 or 0, an edit's, a list's or a label's text.
inline QString Value(const QObject& form, const char* name) {
  if (auto* group = form.findChild<QButtonGroup*>(QString::fromLatin1(name))) {
    return QString::number(group->checkedId());
  }
  QWidget* w = Control(form, name);
  if (auto* box = qobject_cast<QCheckBox*>(w)) return box->isChecked() ? "1" : "0";
  if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
  if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text();
  auto* list = qobject_cast<QComboBox*>(w);
  return list ? list->currentText() : QString();
}

inline void Choose(const QObject& form, const char* name, int item) {
  if (auto* group = Control<QButtonGroup>(form, name)) group->button(item)->click();
}

}  // namespace kavonet::testing
