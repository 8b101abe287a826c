#pragma once
// The communication settings dialog: port, line speed, initialisation string, automatic
// connection, interface type with the settings of each, and the signal quality. It works
// on orvsms.ini directly (read on every showing, written on OK) and never touches the
// port; the controller reads the file again after a save.

#include <QDialog>
#include <functional>
#include <vector>

#include "core/Environment.h"
#include "serial/SerialDevices.h"
#include "ui/widgets/CommunicationSettings.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace kavonet {
class TSMS_Main;
}

namespace kavonet::ui {

class TCommunication_Settings : public QDialog {
  Q_OBJECT

 public:
  TCommunication_Settings(TSMS_Main& controller, Dialogs& dialogs, Shell& shell,
                          QWidget* parent = nullptr);

  // Where the list of serial devices comes from, asked on every showing (the devices
  // present on this machine unless set).
  using DeviceSource = std::function<std::vector<SerialDevice>()>;
  void SetDeviceSource(DeviceSource source) { deviceSource_ = std::move(source); }

  // Draws the signal quality the controller last received.
  void ShowSignalQuality();

  // The choices the controls hold now, in the file's form.
  CommunicationSettings Settings() const;

  void Save_ConfigClick();
  void Cancel_ConfigClick();
  void sqClick();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();
  void InterfaceRGClick();
  void ShowSettings(const CommunicationSettings& settings);
  QWidget* BuildPortAndLine();
  QWidget* BuildPortDevice(QWidget* parent);
  // The device list and the line saying which device the chosen port is.
  void ShowPortDevice();
  void PortDeviceChosen(int item);
  void ShowPortDeviceLine();
  QGroupBox* BuildBlockGroup();
  QGroupBox* BuildPduGroup();
  QWidget* BuildSignal();

  TSMS_Main& controller_;
  Dialogs& dialogs_;
  Shell& shell_;

  QButtonGroup* port_ = nullptr;
  QLabel* portDeviceLine_ = nullptr;
  QComboBox* portDevice_ = nullptr;
  DeviceSource deviceSource_;
  std::vector<SerialDevice> present_;
  // The device each port stands for, as chosen so far.
  std::array<std::string, kPortCount> devices_;
  QButtonGroup* speed_ = nullptr;
  QLineEdit* initString_ = nullptr;
  QCheckBox* autoConnect_ = nullptr;
  QButtonGroup* interface_ = nullptr;
  QGroupBox* blockGroup_ = nullptr;
  QLabel* bcLabel_ = nullptr;
  QLineEdit* etsiCommand_ = nullptr;
  QCheckBox* waitResponse_ = nullptr;
  QGroupBox* pduGroup_ = nullptr;
  QLabel* pinLabel_ = nullptr;
  QLineEdit* cpin_ = nullptr;
  QLabel* scaLabel_ = nullptr;
  QLineEdit* csca_ = nullptr;
  QCheckBox* ctpdu_ = nullptr;
  QLabel* memLabels_[3] = {};
  QComboBox* mem_[3] = {};
  QPushButton* sq_ = nullptr;
  QProgressBar* rssi_ = nullptr;
  QLabel* rssiVal_ = nullptr;
  QProgressBar* ber_ = nullptr;
  QLabel* berVal_ = nullptr;
};

}  // namespace kavonet::ui
