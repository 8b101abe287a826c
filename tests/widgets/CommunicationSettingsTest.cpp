// The communication settings dialog over orvsms.ini and the controller.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "GatewayFixture.h"
#include "WidgetText.h"
#include "config/IniFile.h"
#include "ui/widgets/CommunicationSettings.h"
#include "ui/widgets/TCommunication_Settings.h"

namespace kavonet::testing {
namespace {

using ui::TCommunication_Settings;

constexpr const char* kScaMissing =
    "You must enter an SMS Service Centre Address (SCA) when using PDU mode. The SCA number is "
    "given to you by your GSM service provider.";

class CommunicationSettingsDialog : public ::testing::Test {
 protected:
  explicit CommunicationSettingsDialog(const std::string& ini = BlockIni()) : gateway(ini) {}

  void Open() { dialog.show(); }
  QString Ini(const char* key, const char* section = "Configuration") const {
    return QString::fromStdString(IniFile(gateway.IniPath()).ReadString(section, key, "<none>"));
  }

  Gateway gateway;
  TCommunication_Settings dialog{*gateway.main, gateway.recorded, gateway.recorded};
};

TEST_F(CommunicationSettingsDialog, ShowsEveryCaptionAndListItem) {
  const std::pair<const char*, const char*> captions[] = {
      {"PortRG", " Communications Port "},
      {"SpeedRG", "Speed"},
      {"Label1", "Interface Initialization string"},
      {"Auto_Connect", "Auto Connect to Mobile Terminal"},
      {"InterfaceRG", "Network Interface Type"},
      {"BlockGroup", "ETSI Block Mode Settings"},
      {"BCLabel", "Enter Block Mode Command"},
      {"Wait_Response", "Wait for OK"},
      {"PDUGroup", "ETSI PDU Mode Settings"},
      {"PINLabel", "PIN Code"},
      {"SCALabel", "Service Centre Address"},
      {"ctpdu", "Include in TPDU"},
      {"MemLabel1", "Memory 1"},
      {"MemLabel2", "Memory 2"},
      {"MemLabel3", "Memory 3"},
      {"sq", "Refresh"},
      {"Label2", "RSSI"},
      {"rssi_val", "[00]"},
      {"Label3", "BER"},
      {"ber_val", "[0]"},
      {"Save_Config", "OK"},
      {"Cancel_Config", "Cancel"},
  };
  for (const auto& [name, caption] : captions) EXPECT_EQ(Caption(dialog, name), caption) << name;
  EXPECT_EQ(dialog.windowTitle(), "Communication Settings");

  EXPECT_EQ(RadioItems(dialog, "PortRG"), QStringList({"COM1", "COM2", "COM3", "COM4"}));
  EXPECT_EQ(RadioItems(dialog, "SpeedRG"), QStringList({"2400", "4800", "9600", "14400", "19200",
                                                        "38400", "56000", "57600", "115200"}));
  EXPECT_EQ(RadioItems(dialog, "InterfaceRG"),
            QStringList({"ETSI 07.05 Block Mode", "ETSI 07.05 PDU Mode"}));
  for (const char* list : {"Mem1", "Mem2", "Mem3"}) {
    EXPECT_EQ(ListItems(dialog, list), QStringList({"", "BM", "ME", "MT", "SM", "TA"})) << list;
    EXPECT_TRUE(Control<QComboBox>(dialog, list)->isEditable());
  }

  auto* rssi = Control<QProgressBar>(dialog, "RSSI");
  auto* ber = Control<QProgressBar>(dialog, "BER");
  EXPECT_EQ(std::make_pair(rssi->minimum(), rssi->maximum()), std::make_pair(0, 31));
  EXPECT_EQ(std::make_pair(ber->minimum(), ber->maximum()), std::make_pair(0, 7));
  EXPECT_EQ(rssi->toolTip(), "Signal Strength");
  EXPECT_EQ(ber->toolTip(), "Bit Error Rate");
}

// The controls each interface type enables; the other type's are disabled.
const char* const kBlockControls[] = {"Wait_Response", "ETSI_Command", "BlockGroup", "BCLabel"};
const char* const kPduControls[] = {"PDUGroup", "PINLabel",  "SCALabel",  "cpin",      "csca",
                                    "ctpdu",    "MemLabel1", "MemLabel2", "MemLabel3", "Mem1",
                                    "Mem2",     "Mem3",      "sq"};

void ExpectEnabledFor(const QObject& form, bool block) {
  for (const char* name : kBlockControls)
    EXPECT_EQ(Control(form, name)->isEnabled(), block) << name;
  for (const char* name : kPduControls) EXPECT_EQ(Control(form, name)->isEnabled(), !block) << name;
}

TEST_F(CommunicationSettingsDialog, EnablesTheSettingsOfTheChosenInterface) {
  // As created: Block Mode.
  EXPECT_EQ(Chosen(dialog, "InterfaceRG"), 0);
  ExpectEnabledFor(dialog, true);

  Open();
  Choose(dialog, "InterfaceRG", 1);
  ExpectEnabledFor(dialog, false);
  Choose(dialog, "InterfaceRG", 0);
  ExpectEnabledFor(dialog, true);
}

TEST_F(CommunicationSettingsDialog, ShowsTheFileEachTimeItOpens) {
  gateway.WriteIni(
      "[Configuration]\nPort=3\nSpeed=19200\nInit String=at&f\nInterface=PDU Mode\n"
      "Enter Block Mode Command=*X\nWait OK=0\nPIN Code=1234\nService Centre Address=+4479\n"
      "SCA in TPDU=1\nMem1=SM\nMem2=ME\nMem3=XX\n[Startup]\nAuto Connect=1\n");
  Open();
  EXPECT_EQ(Chosen(dialog, "PortRG"), 2);
  EXPECT_EQ(Chosen(dialog, "SpeedRG"), 4);
  EXPECT_EQ(Control<QLineEdit>(dialog, "initString")->text(), "AT&F");
  EXPECT_TRUE(Control<QCheckBox>(dialog, "Auto_Connect")->isChecked());
  EXPECT_EQ(Chosen(dialog, "InterfaceRG"), 1);
  ExpectEnabledFor(dialog, false);
  EXPECT_EQ(Control<QLineEdit>(dialog, "ETSI_Command")->text(), "*X");
  EXPECT_FALSE(Control<QCheckBox>(dialog, "Wait_Response")->isChecked());
  EXPECT_EQ(Control<QLineEdit>(dialog, "cpin")->text(), "1234");
  EXPECT_EQ(Control<QLineEdit>(dialog, "csca")->text(), "+4479");
  EXPECT_TRUE(Control<QCheckBox>(dialog, "ctpdu")->isChecked());
  EXPECT_EQ(Control<QComboBox>(dialog, "Mem1")->currentText(), "SM");
  EXPECT_EQ(Control<QComboBox>(dialog, "Mem2")->currentText(), "ME");
  EXPECT_EQ(Control<QComboBox>(dialog, "Mem3")->currentText(), "XX");

  dialog.hide();
  gateway.WriteIni(BlockIni());
  Open();
  EXPECT_EQ(Chosen(dialog, "InterfaceRG"), 0);
  EXPECT_EQ(Control<QLineEdit>(dialog, "cpin")->text(), "");
}

TEST_F(CommunicationSettingsDialog, ReadsOnlyTheExactBlockModeSpellingAsBlockMode) {
  const std::pair<const char*, int> cases[] = {
      {"Block Mode", 0}, {"block mode", 1}, {"PDU Mode", 1}, {"Text Mode", 1}, {"", 1}};
  for (const auto& [interfaceName, item] : cases) {
    gateway.WriteIni(std::string("[Configuration]\nInterface=") + interfaceName +
                     "\nService Centre Address=1\n");
    Open();
    EXPECT_EQ(Chosen(dialog, "InterfaceRG"), item) << interfaceName;
    dialog.Save_ConfigClick();
    EXPECT_EQ(Ini("Interface"), item == 0 ? "Block Mode" : "PDU Mode") << interfaceName;
  }
}

TEST_F(CommunicationSettingsDialog, RewritesAnUnknownSpeedAs9600OnOpeningEvenIfCancelled) {
  gateway.WriteIni(BlockIni("Speed=300\n"));
  Open();
  EXPECT_EQ(Chosen(dialog, "SpeedRG"), 2);
  dialog.Cancel_ConfigClick();
  EXPECT_EQ(Ini("Speed"), "9600");
}

TEST_F(CommunicationSettingsDialog, RefusesPduModeWithoutServiceCentreAndWritesNothing) {
  Open();
  const std::string before = gateway.Ini();
  Choose(dialog, "InterfaceRG", 1);
  Control<QLineEdit>(dialog, "csca")->clear();
  Choose(dialog, "SpeedRG", 8);
  Control<QPushButton>(dialog, "Save_Config")->click();

  EXPECT_EQ(gateway.recorded.errors, std::vector<std::string>{kScaMissing});
  EXPECT_EQ(gateway.Ini(), before);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(dialog.focusWidget(), Control(dialog, "csca"));
}

TEST_F(CommunicationSettingsDialog, SavesEveryFieldAndHasTheControllerReadThem) {
  Open();
  Control<QLineEdit>(dialog, "csca")->clear();  // no service centre is fine in Block Mode
  Choose(dialog, "PortRG", 0);
  Choose(dialog, "SpeedRG", 8);
  Control<QCheckBox>(dialog, "Auto_Connect")->setChecked(true);
  Control<QLineEdit>(dialog, "cpin")->setText("0000");
  Control<QComboBox>(dialog, "Mem2")->setCurrentText("SM");
  Control<QPushButton>(dialog, "Save_Config")->click();

  EXPECT_TRUE(gateway.recorded.errors.empty());
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  const std::pair<const char*, const char*> saved[] = {{"Port", "1"},
                                                       {"Speed", "115200"},
                                                       {"Init String", "ZE0&S0"},
                                                       {"Interface", "Block Mode"},
                                                       {"Enter Block Mode Command", "*T"},
                                                       {"Wait OK", "1"},
                                                       {"PIN Code", "0000"},
                                                       {"Service Centre Address", ""},
                                                       {"SCA in TPDU", "0"},
                                                       {"Mem1", ""},
                                                       {"Mem2", "SM"},
                                                       {"Mem3", ""}};
  for (const auto& [key, value] : saved) EXPECT_EQ(Ini(key), value) << key;
  EXPECT_EQ(Ini("Auto Connect", "Startup"), "1");

  EXPECT_EQ(gateway.main->Config().Speed, 115200);
  EXPECT_EQ(gateway.main->Config().Port, 1);
  EXPECT_TRUE(gateway.main->Connect_Timer->Enabled());
}

TEST_F(CommunicationSettingsDialog, MapsTheChosenPortToADeviceFromTheList) {
  const std::string byId = "/dev/serial/by-id/usb-Acme-if00", denied = "permission denied: ... Fix: ...";
  dialog.SetDeviceSource([&] { return std::vector<SerialDevice>{{byId, byId, "", ""}, {"/dev/ttyS0", "/dev/ttyS0", "", denied}}; });
  Open();
  auto* list = Control<QComboBox>(dialog, "PortDevice");
  EXPECT_EQ(Caption(dialog, "PortDeviceLine"), "COM2 is /dev/ttyS1");
  EXPECT_EQ(list->count(), 3) << "the two present, and COM2's own, which is not";
  Choose(dialog, "PortRG", 0);
  EXPECT_EQ(Caption(dialog, "PortDeviceLine").toStdString(), "COM1 is /dev/ttyS0\n" + denied);
  Choose(dialog, "PortRG", 2);
  emit list->activated(0);
  Control<QPushButton>(dialog, "Save_Config")->click();
  EXPECT_EQ(Ini("COM3", "Ports").toStdString(), byId);
  EXPECT_EQ(Ini("COM2", "Ports"), "<none>") << "unchanged mappings stay out of the file";
}

TEST_F(CommunicationSettingsDialog, StoresTypedCommandsInUpperCase) {
  Open();
  for (const char* name : {"initString", "ETSI_Command"}) {
    auto* edit = Control<QLineEdit>(dialog, name);
    edit->clear();
    QTest::keyClicks(edit, "at&f*t");
    EXPECT_EQ(edit->text(), "AT&F*T") << name;
  }
  dialog.Save_ConfigClick();
  EXPECT_EQ(Ini("Init String"), "AT&F*T");
  EXPECT_EQ(Ini("Enter Block Mode Command"), "AT&F*T");
}

TEST_F(CommunicationSettingsDialog, CancelWritesNothing) {
  Open();
  const std::string before = gateway.Ini();
  Choose(dialog, "PortRG", 3);
  Control<QPushButton>(dialog, "Cancel_Config")->click();
  EXPECT_EQ(gateway.Ini(), before);
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST_F(CommunicationSettingsDialog, ReportsAFileItCannotWriteAndStaysOpen) {
  Open();
  std::filesystem::remove(gateway.IniPath());
  std::filesystem::create_directory(gateway.IniPath());
  dialog.Save_ConfigClick();
  ASSERT_EQ(gateway.recorded.errors.size(), 1u);
  EXPECT_EQ(gateway.recorded.errors[0].rfind("Unable to write to ", 0), 0u);
  EXPECT_TRUE(dialog.isVisible());
}

class SignalQuality : public CommunicationSettingsDialog {
 protected:
  SignalQuality() : CommunicationSettingsDialog(PduIni()) {}
};

TEST_F(SignalQuality, RefreshWhileDisconnectedQueuesNothing) {
  Open();
  gateway.port.ClearLog();
  Control<QPushButton>(dialog, "sq")->click();
  EXPECT_EQ(gateway.recorded.errors,
            std::vector<std::string>{
                "Kavonet is not currenty connected to the Mobile Terminal. Please exit this "
                "screen, and press the connect button, then try again."});
  EXPECT_TRUE(gateway.port.Written().empty());
}

TEST_F(SignalQuality, RefreshAsksTheTerminalAndShowsWhatItMeasured) {
  gateway.EnterSession();
  Open();
  gateway.TakeWritten();
  Control<QPushButton>(dialog, "sq")->click();
  EXPECT_EQ(gateway.TakeWritten(), std::vector<std::string>{"AT+CSQ\r"});
  EXPECT_EQ(gateway.recorded.cursor, TCursor::crHourGlass);

  // 99: the terminal could not measure the bit error rate, which keeps its display.
  gateway.Receive("\r\n+CSQ: 17,99\r\n");
  dialog.ShowSignalQuality();
  EXPECT_EQ(Control<QProgressBar>(dialog, "RSSI")->value(), 17);
  EXPECT_EQ(Caption(dialog, "rssi_val"), "[17]");
  EXPECT_EQ(Control<QProgressBar>(dialog, "BER")->value(), 0);
  EXPECT_EQ(Caption(dialog, "ber_val"), "[0]");
}

TEST(CommunicationSettingsFile, ReadsPortsOutsideTheListAsNoChoiceAndSavesThemAsZero) {
  TempDir dir;
  const auto path = dir.Path() / "orvsms.ini";
  const std::pair<const char*, int> cases[] = {
      {"0", -1}, {"1", 0}, {"4", 3}, {"5", -1}, {"-2", -1}};
  for (const auto& [port, index] : cases) {
    std::ofstream(path) << "[Configuration]\nPort=" << port << "\n";
    ui::CommunicationSettings settings = ui::LoadCommunicationSettings(path);
    EXPECT_EQ(settings.PortIndex, index) << port;
    ui::SaveCommunicationSettings(path, settings);
    EXPECT_EQ(IniFile(path).ReadInteger("Configuration", "Port", 99), index + 1) << port;
  }
}

TEST(CommunicationSettingsFile, SavesNothingChosenAs9600AndBlockMode) {
  TempDir dir;
  const auto path = dir.Path() / "orvsms.ini";
  ui::CommunicationSettings settings;
  settings.SpeedIndex = -1;
  settings.InterfaceIndex = ui::kNoInterface;
  ui::SaveCommunicationSettings(path, settings);
  EXPECT_EQ(settings.SpeedIndex, ui::kDefaultSpeedIndex);
  EXPECT_EQ(settings.InterfaceIndex, ui::kBlockModeChoice);
  EXPECT_EQ(IniFile(path).ReadString("Configuration", "Speed", ""), "9600");
  EXPECT_EQ(IniFile(path).ReadString("Configuration", "Interface", ""), "Block Mode");
}

}  // namespace
}  // namespace kavonet::testing
