#include "ui/widgets/TMessage_Settings.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "config/ConfigWriteError.h"
#include "core/TSMS_Main.h"
#include "ui/widgets/RadioGroup.h"

namespace kavonet::ui {

TMessage_Settings::TMessage_Settings(TSMS_Main& controller, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), controller_(controller), dialogs_(dialogs) {
  setObjectName(QStringLiteral("Message_Settings"));
  setWindowTitle(QStringLiteral("Message Settings"));
  setModal(true);

  auto* transferBox = new QGroupBox(QStringLiteral("Startup incoming message transfer mode"), this);
  transferBox->setObjectName(QStringLiteral("TransferRG"));
  transfer_ = FillRadioGroup(
      transferBox,
      {"Do not transfer messages from M.T.", "Transfer incoming messages marked T.E. only.",
       "Transfer all incoming messages"},
      1);
  logTrans_ = new QCheckBox(QStringLiteral("Log sent messages"), this);
  logTrans_->setObjectName(QStringLiteral("Log_Trans"));
  logRecv_ = new QCheckBox(QStringLiteral("Log received messages"), this);
  logRecv_->setObjectName(QStringLiteral("Log_Recv"));
  longMessages_ = new QCheckBox(QStringLiteral("Send long messages in parts"), this);
  longMessages_->setObjectName(QStringLiteral("Long_Messages"));
  fastDispatch_ = new QCheckBox(QStringLiteral("Fast dispatch (do not wait for timer ticks)"), this);
  fastDispatch_->setObjectName(QStringLiteral("Fast_Dispatch"));

  auto* okButton = new QPushButton(QStringLiteral("OK"), this);
  okButton->setObjectName(QStringLiteral("Save_Config"));
  auto* cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
  cancelButton->setObjectName(QStringLiteral("Cancel_Config"));
  okButton->setAutoDefault(false);
  cancelButton->setAutoDefault(false);
  connect(okButton, &QPushButton::clicked, this, &TMessage_Settings::Save_ConfigClick);
  connect(cancelButton, &QPushButton::clicked, this, &TMessage_Settings::Cancel_ConfigClick);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(okButton);
  buttons->addWidget(cancelButton);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(transferBox);
  layout->addWidget(logTrans_);
  layout->addWidget(logRecv_);
  layout->addWidget(longMessages_);
  layout->addWidget(fastDispatch_);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TMessage_Settings::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormActivate();
}

void TMessage_Settings::FormActivate() {
  MessageSettings settings;
  try {
    settings = LoadMessageSettings(controller_.ConfigPath());
  } catch (const ConfigWriteError& error) {
    dialogs_.ErrorBox(error.what());
  }
  SelectRadioItem(transfer_, settings.StartupTransfer);
  logRecv_->setChecked(settings.LogReceive);
  logTrans_->setChecked(settings.LogTransmit);
  longMessages_->setChecked(settings.LongMessages);
  fastDispatch_->setChecked(settings.FastDispatch);
}

MessageSettings TMessage_Settings::Settings() const {
  MessageSettings settings;
  settings.StartupTransfer = transfer_->checkedId();
  settings.LogReceive = logRecv_->isChecked();
  settings.LogTransmit = logTrans_->isChecked();
  settings.LongMessages = longMessages_->isChecked();
  settings.FastDispatch = fastDispatch_->isChecked();
  return settings;
}

void TMessage_Settings::Save_ConfigClick() {
  try {
    SaveMessageSettings(controller_.ConfigPath(), Settings());
  } catch (const ConfigWriteError& error) {
    dialogs_.ErrorBox(error.what());
    return;
  }
  controller_.ReadConfiguration();
  accept();
}

void TMessage_Settings::Cancel_ConfigClick() {
  reject();
}

}  // namespace kavonet::ui
