// The communication and message settings dialogs over orvsms.ini and the controller.

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>

#include "GatewayFixture.h"
#include "config/IniFile.h"
#include "ui/widgets/CommunicationSettings.h"
#include "ui/widgets/TCommunication_Settings.h"
#include "ui/widgets/TMessage_Settings.h"

namespace kavonet::testing {
namespace {

using Pairs = std::vector<std::pair<const char*, const char*>>;

class CommunicationSettingsDialog : public ::testing::Test {
 protected:
  explicit CommunicationSettingsDialog(const std::string& ini = BlockIni()) : gateway(ini) {}

  std::string Ini(const char* key, const char* section = "Configuration") const {
    return IniFile(gateway.IniPath()).ReadString(section, key, "<none>");
  }
  void Click(const char* button) { Control<QPushButton>(dialog, button)->click(); }
  // The interface type's own controls enabled, the other type's disabled.
  void ExpectEnabledFor(bool block) {
    for (const char* name : {"Wait_Response", "ETSI_Command", "BlockGroup", "BCLabel"})
      EXPECT_EQ(Control(dialog, name)->isEnabled(), block) << name;
    for (const char* name : {"PDUGroup", "cpin", "csca", "ctpdu", "Mem1", "Mem3", "sq"})
      EXPECT_EQ(Control(dialog, name)->isEnabled(), !block) << name;
  }

  Gateway gateway;
  ui::TCommunication_Settings dialog{*gateway.main, gateway.dialogs, gateway.shell};
};

TEST_F(CommunicationSettingsDialog, ShowsTheFileEachTimeItOpensAndEnablesTheChosenInterface) {
  ExpectEnabledFor(true);  // as created: Block Mode
  gateway.WriteIni(
      "[Configuration]\nPort=3\nSpeed=19200\nInit String=at&f\nInterface=PDU Mode\n"
      "Enter Block Mode Command=*X\nWait OK=0\nPIN Code=1234\nService Centre Address=+4479\n"
      "SCA in TPDU=1\nMem1=SM\nMem2=ME\nMem3=XX\n[Startup]\nAuto Connect=1\n");
  dialog.show();
  for (const auto& [name, value] : Pairs{{"PortRG", "2"}, {"SpeedRG", "4"}, {"initString", "AT&F"},
                                         {"Auto_Connect", "1"}, {"InterfaceRG", "1"}, {"ETSI_Command", "*X"},
                                         {"Wait_Response", "0"}, {"cpin", "1234"}, {"csca", "+4479"},
                                         {"ctpdu", "1"}, {"Mem1", "SM"}, {"Mem2", "ME"}, {"Mem3", "XX"}})
    EXPECT_EQ(Value(dialog, name), value) << name;
  ExpectEnabledFor(false);
  Choose(dialog, "InterfaceRG", 0);
  ExpectEnabledFor(true);
  dialog.hide();
  gateway.WriteIni(BlockIni());
  dialog.show();
  EXPECT_EQ(Value(dialog, "InterfaceRG") + Value(dialog, "cpin"), "0");
}

TEST_F(CommunicationSettingsDialog, SavesEveryFieldInUpperCaseWhereTypedAndHasTheControllerReadThem) {
  const std::string byId = "/dev/serial/by-id/usb-Acme-if00", denied = "permission denied: ... Fix: ...";
  dialog.SetDeviceSource([&] {
    return std::vector<SerialDevice>{{byId, byId, "", ""}, {"/dev/ttyS0", "/dev/ttyS0", "", denied}};
  });
  dialog.show();
  auto* devices = Control<QComboBox>(dialog, "PortDevice");
  EXPECT_EQ(Value(dialog, "PortDeviceLine"), "COM2 is /dev/ttyS1");
  EXPECT_EQ(devices->count(), 3) << "the two present, and COM2's own, which is not";
  Choose(dialog, "PortRG", 0);
  EXPECT_EQ(Value(dialog, "PortDeviceLine").toStdString(), "COM1 is /dev/ttyS0\n" + denied);
  emit devices->activated(0);
  Control<QLineEdit>(dialog, "csca")->clear();  // no service centre is fine in Block Mode
  Choose(dialog, "SpeedRG", 8);
  Control<QCheckBox>(dialog, "Auto_Connect")->setChecked(true);
  Control<QLineEdit>(dialog, "cpin")->setText("0000");
  Control<QComboBox>(dialog, "Mem2")->setCurrentText("SM");
  Control<QLineEdit>(dialog, "ETSI_Command")->clear();
  QTest::keyClicks(Control<QLineEdit>(dialog, "ETSI_Command"), "at&f*t");
  Click("Save_Config");
  EXPECT_TRUE(gateway.dialogs.errors.empty());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_FALSE(dialog.isVisible());
  for (const auto& [key, value] : Pairs{{"Port", "1"}, {"Speed", "115200"}, {"Init String", "ZE0&S0"},
                                        {"Interface", "Block Mode"}, {"Enter Block Mode Command", "AT&F*T"},
                                        {"Wait OK", "1"}, {"PIN Code", "0000"}, {"SCA in TPDU", "0"}, {"Mem1", ""},
                                        {"Service Centre Address", ""}, {"Mem2", "SM"}, {"Mem3", ""}})
    EXPECT_EQ(Ini(key), value) << key;
  EXPECT_EQ(Ini("Auto Connect", "Startup"), "1");
  EXPECT_EQ(Ini("COM1", "Ports"), byId);
  EXPECT_EQ(Ini("COM2", "Ports"), "<none>") << "unchanged mappings stay out of the file";
  EXPECT_EQ(gateway.main->Config().Speed, 115200);
  EXPECT_TRUE(gateway.main->Connect_Timer->Enabled());
}

TEST_F(CommunicationSettingsDialog, RefusesPduModeWithoutServiceCentreAndAFileItCannotWrite) {
  dialog.show();
  const std::string before = ReadText(gateway.IniPath());
  Choose(dialog, "InterfaceRG", 1);
  Control<QLineEdit>(dialog, "csca")->clear();
  Click("Save_Config");
  EXPECT_EQ(gateway.dialogs.errors, std::vector<std::string>{
      "You must enter an SMS Service Centre Address (SCA) when using PDU mode. The SCA number is "
      "given to you by your GSM service provider."});
  EXPECT_EQ(ReadText(gateway.IniPath()), before);
  EXPECT_EQ(dialog.focusWidget(), Control(dialog, "csca"));
  Control<QLineEdit>(dialog, "csca")->setText("+4479");
  std::filesystem::remove(gateway.IniPath());
  std::filesystem::create_directory(gateway.IniPath());
  dialog.Save_ConfigClick();
  ASSERT_EQ(gateway.dialogs.errors.size(), 2u);
  EXPECT_TRUE(gateway.dialogs.errors[1].starts_with("Unable to write to "));
  EXPECT_TRUE(dialog.isVisible());
}

class SignalQuality : public CommunicationSettingsDialog {
 protected:
  SignalQuality() : CommunicationSettingsDialog(PduIni()) {}
};

TEST_F(SignalQuality, RefreshAsksTheTerminalOnlyInASession) {
  dialog.show();
  Click("sq");
  EXPECT_EQ(gateway.dialogs.errors.size(), 1u) << "not connected";
  EXPECT_TRUE(gateway.port.Written().empty());
  gateway.EnterSession();
  gateway.TakeWritten();
  Click("sq");
  EXPECT_EQ(gateway.TakeWritten(), std::vector<std::string>{"AT+CSQ\r"});
}

TEST(CommunicationSettingsFile, KeepsChoicesOutsideTheListsOutOfTheFile) {
  TempDir dir;
  const auto path = dir / "orvsms.ini";
  // No port outside COM1 to COM4 is chosen; a speed outside the list is rewritten as 9600
  // on reading.
  for (const char* port : {"-2", "5"}) {
    WriteText(path, std::string("[Configuration]\nSpeed=300\nPort=") + port + "\n");
    EXPECT_EQ(ui::LoadCommunicationSettings(path).PortIndex, -1) << port;
    EXPECT_EQ(IniFile(path).ReadString("Configuration", "Speed", ""), "9600");
  }
  ui::CommunicationSettings settings;
  settings.SpeedIndex = -1;
  settings.InterfaceIndex = ui::kNoInterface;
  ui::SaveCommunicationSettings(path, settings);
  EXPECT_EQ(IniFile(path).ReadString("Configuration", "Speed", "") +
                IniFile(path).ReadString("Configuration", "Interface", ""), "9600Block Mode");
}

class MessageSettingsDialog : public ::testing::Test {
 protected:
  std::string Keys() const {
    std::string keys;
    for (const char* key : {"Startup Transfer", "Log Transmit", "Log Receive"})
      keys += IniFile(gateway.IniPath()).ReadString("Receive Message", key, "-");
    for (const char* key : {"Long Messages", "Fast Dispatch"})
      keys += IniFile(gateway.IniPath()).ReadString("Configuration", key, "-");
    return keys;
  }
  std::string Shown() {
    std::string shown;
    for (const char* name : {"TransferRG", "Log_Trans", "Log_Recv", "Long_Messages", "Fast_Dispatch"})
      shown += Value(dialog, name).toStdString();
    return shown;
  }

  Gateway gateway{BlockIni()};
  ui::TMessage_Settings dialog{*gateway.main, gateway.dialogs};
};

TEST_F(MessageSettingsDialog, OkSavesAndTheControllerTakesTheValuesAtOnceEachOpeningShowsTheFile) {
  std::filesystem::remove(gateway.IniPath());
  dialog.show();
  EXPECT_EQ(Shown(), "01100") << "a new file";
  Choose(dialog, "TransferRG", 2);
  Control<QCheckBox>(dialog, "Log_Trans")->setChecked(false);
  Control<QCheckBox>(dialog, "Long_Messages")->setChecked(true);
  Control<QCheckBox>(dialog, "Fast_Dispatch")->setChecked(true);
  Control<QPushButton>(dialog, "Save_Config")->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(Keys(), "20111");
  const GatewayConfig& config = gateway.main->Config();
  EXPECT_TRUE(config.FastDispatch && config.LongMessages && !config.LogTransmit);
  EXPECT_EQ(config.StartupTransfer, 2);
  dialog.show();
  EXPECT_EQ(Shown(), "20111") << "shown as saved";
  dialog.Cancel_ConfigClick();
  // A mode outside the list shows no choice and saves as -1.
  gateway.WriteIni("[Receive Message]\nStartup Transfer=7\n");
  dialog.show();
  EXPECT_EQ(Value(dialog, "TransferRG"), "-1");
  dialog.Save_ConfigClick();
  EXPECT_EQ(Keys().substr(0, 2), "-1");
}

}  // namespace
}  // namespace kavonet::testing
