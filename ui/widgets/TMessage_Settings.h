#pragma once
// The message settings dialog: the transfer mode set after connecting, and the two logs.
// It shows section "Receive Message" of orvsms.ini as saved each time it opens, and on
// OK writes it and has the controller read the file again.

#include <QDialog>

#include "core/Environment.h"
#include "ui/widgets/MessageSettings.h"

class QButtonGroup;
class QCheckBox;

namespace kavonet {
class TSMS_Main;
}

namespace kavonet::ui {

class TMessage_Settings : public QDialog {
  Q_OBJECT

 public:
  TMessage_Settings(TSMS_Main& controller, Dialogs& dialogs, QWidget* parent = nullptr);

  MessageSettings Settings() const;

  void Save_ConfigClick();
  void Cancel_ConfigClick();

 protected:
  // Loads on showing rather than on every activation: a box that pops up over the dialog
  // (a timer's connection error) would otherwise throw away what the user had changed.
  void showEvent(QShowEvent* event) override;

 private:
  void FormActivate();

  TSMS_Main& controller_;
  Dialogs& dialogs_;
  QButtonGroup* transfer_ = nullptr;
  QCheckBox* logTrans_ = nullptr;
  QCheckBox* logRecv_ = nullptr;
  QCheckBox* longMessages_ = nullptr;
  QCheckBox* fastDispatch_ = nullptr;
};

}  // namespace kavonet::ui
