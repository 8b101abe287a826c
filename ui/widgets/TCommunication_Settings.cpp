#include "ui/widgets/TCommunication_Settings.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "config/GatewayConfig.h"
#include "clients/SystemSerialPorts.h"
#include "core/TSMS_Main.h"
#include "sms/Utf8.h"
#include "ui/widgets/RadioGroup.h"
#include "ui/widgets/UpperCaseValidator.h"

namespace kavonet::ui {

namespace {

constexpr const char* kScaMissingText =
    "You must enter an SMS Service Centre Address (SCA) when using PDU mode. The SCA number is "
    "given to you by your GSM service provider.";
constexpr const char* kNotConnectedText =
    "Kavonet is not currenty connected to the Mobile Terminal. Please exit this screen, and "
    "press the connect button, then try again.";

QString FromGateway(const std::string& text) {
  return QString::fromStdString(sms::ValidUtf8(text));
}
std::string ToGateway(const QString& text) {
  return sms::ValidUtf8(text.toStdString());
}

template <class W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QLineEdit* UpperCaseEdit(QWidget* parent, const char* name) {
  auto* edit = Named(new QLineEdit(parent), name);
  edit->setValidator(new UpperCaseValidator(edit));
  return edit;
}

QComboBox* MemoryList(QWidget* parent, const char* name) {
  auto* list = Named(new QComboBox(parent), name);
  list->setEditable(true);
  list->setInsertPolicy(QComboBox::NoInsert);
  list->addItems({QString(), "BM", "ME", "MT", "SM", "TA"});
  return list;
}

}  // namespace

TCommunication_Settings::TCommunication_Settings(TSMS_Main& controller, Dialogs& dialogs,
                                                 Shell& shell, QWidget* parent)
    : QDialog(parent),
      controller_(controller),
      dialogs_(dialogs),
      shell_(shell),
      deviceSource_(clients::SerialDevicesPresent) {
  setObjectName(QStringLiteral("Communication_Settings"));
  setWindowTitle(QStringLiteral("Communication Settings"));
  setModal(true);

  auto* columns = new QHBoxLayout;
  columns->addWidget(BuildPortAndLine());
  auto* right = new QVBoxLayout;
  right->addWidget(BuildBlockGroup());
  right->addWidget(BuildPduGroup());
  right->addWidget(BuildSignal());
  right->addStretch();
  columns->addLayout(right);

  auto* okButton = Named(new QPushButton(QStringLiteral("OK"), this), "Save_Config");
  auto* cancelButton = Named(new QPushButton(QStringLiteral("Cancel"), this), "Cancel_Config");
  // Return does not save behind the user's back; Escape cancels (QDialog's own rule).
  okButton->setAutoDefault(false);
  cancelButton->setAutoDefault(false);
  connect(okButton, &QPushButton::clicked, this, &TCommunication_Settings::Save_ConfigClick);
  connect(cancelButton, &QPushButton::clicked, this, &TCommunication_Settings::Cancel_ConfigClick);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(okButton);
  buttons->addWidget(cancelButton);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(columns);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(interface_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
    if (checked) InterfaceRGClick();
  });
  // Until the file says otherwise: Block Mode, its group usable, the PDU group not.
  SelectRadioItem(interface_, kBlockModeChoice);
  InterfaceRGClick();
  ShowSignalQuality();
}

QWidget* TCommunication_Settings::BuildPortAndLine() {
  auto* column = new QWidget(this);
  auto* layout = new QVBoxLayout(column);
  layout->setContentsMargins(0, 0, 0, 0);

  auto* portBox = Named(new QGroupBox(QStringLiteral(" Communications Port "), column), "PortRG");
  port_ = FillRadioGroup(portBox, {"COM1", "COM2", "COM3", "COM4"}, 2);
  layout->addWidget(portBox);
  layout->addWidget(BuildPortDevice(column));
  connect(port_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
    if (checked) ShowPortDevice();
  });

  auto* speedBox = Named(new QGroupBox(QStringLiteral("Speed"), column), "SpeedRG");
  QStringList speeds;
  for (std::int32_t speed : kLineSpeeds) speeds << QString::number(speed);
  speed_ = FillRadioGroup(speedBox, speeds, 3);
  layout->addWidget(speedBox);

  layout->addWidget(
      Named(new QLabel(QStringLiteral("Interface Initialization string"), column), "Label1"));
  initString_ = UpperCaseEdit(column, "initString");
  layout->addWidget(initString_);
  autoConnect_ = Named(new QCheckBox(QStringLiteral("Auto Connect to Mobile Terminal"), column),
                       "Auto_Connect");
  layout->addWidget(autoConnect_);

  auto* interfaceBox =
      Named(new QGroupBox(QStringLiteral("Network Interface Type"), column), "InterfaceRG");
  interface_ = FillRadioGroup(interfaceBox, {"ETSI 07.05 Block Mode", "ETSI 07.05 PDU Mode"}, 1);
  layout->addWidget(interfaceBox);
  layout->addStretch();
  return column;
}

QWidget* TCommunication_Settings::BuildPortDevice(QWidget* parent) {
  auto* panel = new QWidget(parent);
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  portDeviceLine_ = Named(new QLabel(panel), "PortDeviceLine");
  portDeviceLine_->setWordWrap(true);
  portDeviceLine_->setTextFormat(Qt::PlainText);
  portDeviceLine_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  portDevice_ = Named(new QComboBox(panel), "PortDevice");
  portDevice_->setToolTip(QStringLiteral("The serial devices present: choose the one the port stands for"));
  portDevice_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  portDevice_->setMinimumContentsLength(24);
  connect(portDevice_, &QComboBox::activated, this, &TCommunication_Settings::PortDeviceChosen);
  layout->addWidget(portDeviceLine_);
  layout->addWidget(portDevice_);
  return panel;
}

void TCommunication_Settings::ShowPortDevice() {
  const int port = port_->checkedId();
  portDevice_->clear();
  portDevice_->setEnabled(port >= 0);
  if (port < 0) {
    ShowPortDeviceLine();
    return;
  }
  const std::string& current = devices_[static_cast<std::size_t>(port)];
  int selected = -1;
  for (const SerialDevice& device : present_) {
    if (device.path == current) selected = portDevice_->count();
    portDevice_->addItem(QString::fromStdString(DescribeSerialDevice(device)), QString::fromStdString(device.path));
  }
  if (selected < 0) {
    selected = portDevice_->count();
    portDevice_->addItem(QString::fromStdString(current + ": not present"), QString::fromStdString(current));
  }
  portDevice_->setCurrentIndex(selected);
  ShowPortDeviceLine();
}

void TCommunication_Settings::PortDeviceChosen(int item) {
  const int port = port_->checkedId();
  if (port < 0 || item < 0) return;
  devices_[static_cast<std::size_t>(port)] = portDevice_->itemData(item).toString().toStdString();
  ShowPortDeviceLine();
}

void TCommunication_Settings::ShowPortDeviceLine() {
  const int port = port_->checkedId();
  if (port < 0) {
    portDeviceLine_->setText(QStringLiteral("No port chosen"));
    return;
  }
  const std::string& path = devices_[static_cast<std::size_t>(port)];
  std::string line = PortName(port) + " is " + path;
  for (const SerialDevice& device : present_) {
    if (device.path == path && !device.Usable()) line += "\n" + device.problem;
  }
  portDeviceLine_->setText(QString::fromStdString(line));
}

QGroupBox* TCommunication_Settings::BuildBlockGroup() {
  blockGroup_ =
      Named(new QGroupBox(QStringLiteral("ETSI Block Mode Settings"), this), "BlockGroup");
  auto* grid = new QGridLayout(blockGroup_);
  bcLabel_ = Named(new QLabel(QStringLiteral("Enter Block Mode Command"), blockGroup_), "BCLabel");
  etsiCommand_ = UpperCaseEdit(blockGroup_, "ETSI_Command");
  waitResponse_ = Named(new QCheckBox(QStringLiteral("Wait for OK"), blockGroup_), "Wait_Response");
  grid->addWidget(bcLabel_, 0, 0);
  grid->addWidget(etsiCommand_, 0, 1);
  grid->addWidget(waitResponse_, 1, 1);
  return blockGroup_;
}

QGroupBox* TCommunication_Settings::BuildPduGroup() {
  pduGroup_ = Named(new QGroupBox(QStringLiteral("ETSI PDU Mode Settings"), this), "PDUGroup");
  auto* grid = new QGridLayout(pduGroup_);
  pinLabel_ = Named(new QLabel(QStringLiteral("PIN Code"), pduGroup_), "PINLabel");
  cpin_ = Named(new QLineEdit(pduGroup_), "cpin");
  scaLabel_ = Named(new QLabel(QStringLiteral("Service Centre Address"), pduGroup_), "SCALabel");
  csca_ = Named(new QLineEdit(pduGroup_), "csca");
  ctpdu_ = Named(new QCheckBox(QStringLiteral("Include in TPDU"), pduGroup_), "ctpdu");
  grid->addWidget(pinLabel_, 0, 0);
  grid->addWidget(cpin_, 0, 1);
  grid->addWidget(scaLabel_, 1, 0);
  grid->addWidget(csca_, 1, 1);
  grid->addWidget(ctpdu_, 2, 1);
  static constexpr const char* kMemLabels[] = {"MemLabel1", "MemLabel2", "MemLabel3"};
  static constexpr const char* kMems[] = {"Mem1", "Mem2", "Mem3"};
  auto* memories = new QHBoxLayout;
  for (int i = 0; i < 3; ++i) {
    memLabels_[i] =
        Named(new QLabel(QStringLiteral("Memory %1").arg(i + 1), pduGroup_), kMemLabels[i]);
    mem_[i] = MemoryList(pduGroup_, kMems[i]);
    auto* cell = new QVBoxLayout;
    cell->addWidget(memLabels_[i]);
    cell->addWidget(mem_[i]);
    memories->addLayout(cell);
  }
  grid->addLayout(memories, 3, 0, 1, 2);
  return pduGroup_;
}

QWidget* TCommunication_Settings::BuildSignal() {
  auto* panel = new QWidget(this);
  auto* grid = new QGridLayout(panel);
  grid->setContentsMargins(0, 0, 0, 0);
  sq_ = Named(new QPushButton(QStringLiteral("Refresh"), panel), "sq");
  sq_->setAutoDefault(false);
  connect(sq_, &QPushButton::clicked, this, &TCommunication_Settings::sqClick);

  rssi_ = Named(new QProgressBar(panel), "RSSI");
  rssi_->setRange(0, 31);
  rssi_->setToolTip(QStringLiteral("Signal Strength"));
  rssiVal_ = Named(new QLabel(panel), "rssi_val");
  rssiVal_->setStyleSheet(QStringLiteral("color: green"));
  ber_ = Named(new QProgressBar(panel), "BER");
  ber_->setRange(0, 7);
  ber_->setToolTip(QStringLiteral("Bit Error Rate"));
  berVal_ = Named(new QLabel(panel), "ber_val");
  berVal_->setStyleSheet(QStringLiteral("color: red"));
  for (QProgressBar* bar : {rssi_, ber_}) {
    bar->setTextVisible(false);
    bar->setFixedHeight(12);
  }

  grid->addWidget(Named(new QLabel(QStringLiteral("RSSI"), panel), "Label2"), 0, 0);
  grid->addWidget(rssi_, 0, 1);
  grid->addWidget(rssiVal_, 0, 2);
  grid->addWidget(Named(new QLabel(QStringLiteral("BER"), panel), "Label3"), 1, 0);
  grid->addWidget(ber_, 1, 1);
  grid->addWidget(berVal_, 1, 2);
  grid->addWidget(sq_, 0, 3, 2, 1);
  return panel;
}

void TCommunication_Settings::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TCommunication_Settings::FormShow() {
  try {
    ShowSettings(LoadCommunicationSettings(controller_.ConfigPath()));
  } catch (const ConfigWriteError& error) {
    dialogs_.ErrorBox(error.what());
  }
}

void TCommunication_Settings::ShowSettings(const CommunicationSettings& settings) {
  devices_ = settings.Devices;
  present_ = deviceSource_ ? deviceSource_() : std::vector<SerialDevice>{};
  SelectRadioItem(port_, settings.PortIndex);
  ShowPortDevice();
  SelectRadioItem(speed_, settings.SpeedIndex);
  initString_->setText(FromGateway(settings.InitString).toUpper());
  autoConnect_->setChecked(settings.AutoConnect);
  SelectRadioItem(interface_, settings.InterfaceIndex);
  InterfaceRGClick();
  etsiCommand_->setText(FromGateway(settings.BlockModeCommand).toUpper());
  waitResponse_->setChecked(settings.WaitOK);
  cpin_->setText(FromGateway(settings.PINCode));
  csca_->setText(FromGateway(settings.ServiceCentreAddress));
  ctpdu_->setChecked(settings.SCAInTPDU);
  mem_[0]->setCurrentText(FromGateway(settings.Mem1));
  mem_[1]->setCurrentText(FromGateway(settings.Mem2));
  mem_[2]->setCurrentText(FromGateway(settings.Mem3));
}

CommunicationSettings TCommunication_Settings::Settings() const {
  CommunicationSettings settings;
  settings.PortIndex = port_->checkedId();
  settings.SpeedIndex = speed_->checkedId();
  settings.InitString = ToGateway(initString_->text());
  settings.AutoConnect = autoConnect_->isChecked();
  settings.InterfaceIndex = interface_->checkedId();
  settings.BlockModeCommand = ToGateway(etsiCommand_->text());
  settings.WaitOK = waitResponse_->isChecked();
  settings.PINCode = ToGateway(cpin_->text());
  settings.ServiceCentreAddress = ToGateway(csca_->text());
  settings.SCAInTPDU = ctpdu_->isChecked();
  settings.Mem1 = ToGateway(mem_[0]->currentText());
  settings.Mem2 = ToGateway(mem_[1]->currentText());
  settings.Mem3 = ToGateway(mem_[2]->currentText());
  settings.Devices = devices_;
  return settings;
}

void TCommunication_Settings::InterfaceRGClick() {
  const int chosen = interface_->checkedId();
  if (chosen == kNoInterface) return;
  const bool block = chosen == kBlockModeChoice;
  for (QWidget* w :
       std::initializer_list<QWidget*>{waitResponse_, etsiCommand_, blockGroup_, bcLabel_}) {
    w->setEnabled(block);
  }
  for (QWidget* w : std::initializer_list<QWidget*>{
           pduGroup_, pinLabel_, scaLabel_, cpin_, csca_, ctpdu_, memLabels_[0], memLabels_[1],
           memLabels_[2], mem_[0], mem_[1], mem_[2], sq_}) {
    w->setEnabled(!block);
  }
}

void TCommunication_Settings::ShowSignalQuality() {
  rssi_->setValue(controller_.RSSI.Position);
  ber_->setValue(controller_.BER.Position);
  // Nothing measured yet shows as zero, in each value's width.
  rssiVal_->setText(controller_.rssi_val.empty() ? QStringLiteral("[00]")
                                                 : FromGateway(controller_.rssi_val));
  berVal_->setText(controller_.ber_val.empty() ? QStringLiteral("[0]")
                                               : FromGateway(controller_.ber_val));
}

void TCommunication_Settings::Save_ConfigClick() {
  CommunicationSettings settings = Settings();
  if (settings.InterfaceIndex == kPduModeChoice && settings.ServiceCentreAddress.empty()) {
    dialogs_.ErrorBox(kScaMissingText);
    csca_->setFocus();
    return;
  }
  try {
    WriteDefaultConfiguration(controller_.ConfigPath());
    SaveCommunicationSettings(controller_.ConfigPath(), settings);
  } catch (const ConfigWriteError& error) {
    dialogs_.ErrorBox(error.what());
    return;
  }
  // What was saved for "nothing selected".
  SelectRadioItem(speed_, settings.SpeedIndex);
  SelectRadioItem(interface_, settings.InterfaceIndex);
  controller_.ReadConfiguration();
  accept();
}

void TCommunication_Settings::Cancel_ConfigClick() {
  reject();
}

void TCommunication_Settings::sqClick() {
  if (!controller_.Connected()) {
    dialogs_.ErrorBox(kNotConnectedText);
    return;
  }
  std::string command = "+CSQ";
  controller_.EnqueueCommand(command, label::kSignalQuality);
  // The answer's handler puts the cursor back.
  shell_.SetCursor(TCursor::crHourGlass);
}

}  // namespace kavonet::ui
