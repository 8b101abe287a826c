// The message settings dialog and the about box.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPushButton>

#include "GatewayFixture.h"
#include "WidgetText.h"
#include "config/GatewayConfig.h"
#include "config/IniFile.h"
#include "ui/widgets/TAboutBox.h"
#include "ui/widgets/TMessage_Settings.h"

namespace kavonet::testing {
namespace {

class MessageSettingsDialog : public ::testing::Test {
 protected:
  std::string Key(const char* key) const {
    return IniFile(gateway.IniPath()).ReadString("Receive Message", key, "<none>");
  }
  QCheckBox* LogTrans() { return Control<QCheckBox>(dialog, "Log_Trans"); }
  QCheckBox* LogRecv() { return Control<QCheckBox>(dialog, "Log_Recv"); }

  Gateway gateway{BlockIni()};
  ui::TMessage_Settings dialog{*gateway.main, gateway.recorded};
};

TEST_F(MessageSettingsDialog, ShowsItsCaptionsAndItems) {
  EXPECT_EQ(dialog.windowTitle(), "Message Settings");
  EXPECT_EQ(Caption(dialog, "TransferRG"), "Startup incoming message transfer mode");
  EXPECT_EQ(RadioItems(dialog, "TransferRG"),
            QStringList({"Do not transfer messages from M.T.",
                         "Transfer incoming messages marked T.E. only.",
                         "Transfer all incoming messages"}));
  EXPECT_EQ(Caption(dialog, "Log_Trans"), "Log sent messages");
  EXPECT_EQ(Caption(dialog, "Log_Recv"), "Log received messages");
  EXPECT_EQ(Caption(dialog, "Long_Messages"), "Send long messages in parts");
  EXPECT_EQ(Caption(dialog, "Save_Config"), "OK");
  EXPECT_EQ(Caption(dialog, "Cancel_Config"), "Cancel");
}

TEST_F(MessageSettingsDialog, ANewFileShowsNoTransferAndBothLogs) {
  std::filesystem::remove(gateway.IniPath());
  dialog.show();
  EXPECT_EQ(Chosen(dialog, "TransferRG"), 0);
  EXPECT_TRUE(LogTrans()->isChecked());
  EXPECT_TRUE(LogRecv()->isChecked());
  EXPECT_FALSE(Control<QCheckBox>(dialog, "Long_Messages")->isChecked());
  EXPECT_TRUE(std::filesystem::exists(gateway.IniPath()));
}

TEST_F(MessageSettingsDialog, OkSavesAndTheControllerTakesTheValuesAtOnce) {
  dialog.show();
  Choose(dialog, "TransferRG", 2);
  LogTrans()->setChecked(false);
  Control<QCheckBox>(dialog, "Long_Messages")->setChecked(true);
  Control<QPushButton>(dialog, "Save_Config")->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(Key("Startup Transfer"), "2");
  EXPECT_EQ(Key("Log Transmit"), "0");
  EXPECT_EQ(Key("Log Receive"), "1");
  EXPECT_FALSE(gateway.main->Config().LogTransmit);
  EXPECT_EQ(gateway.main->Config().StartupTransfer, 2);
  EXPECT_EQ(IniFile(gateway.IniPath()).ReadString("Configuration", "Long Messages", ""), "1");
  EXPECT_TRUE(gateway.main->Config().LongMessages);
}

TEST_F(MessageSettingsDialog, CancelKeepsFileAndControllerAndTheNextOpeningShowsTheFile) {
  dialog.show();
  const std::string before = gateway.Ini();
  LogRecv()->setChecked(false);
  Choose(dialog, "TransferRG", 1);
  Control<QPushButton>(dialog, "Cancel_Config")->click();
  EXPECT_EQ(gateway.Ini(), before);
  EXPECT_TRUE(gateway.main->Config().LogReceive);

  dialog.show();
  EXPECT_TRUE(LogRecv()->isChecked());
  EXPECT_EQ(Chosen(dialog, "TransferRG"), 0);
}

TEST_F(MessageSettingsDialog, AModeOutsideTheListShowsNoChoiceAndSavesAsMinusOne) {
  gateway.WriteIni("[Receive Message]\nStartup Transfer=7\n");
  dialog.show();
  EXPECT_EQ(Chosen(dialog, "TransferRG"), -1);
  dialog.Save_ConfigClick();
  EXPECT_EQ(Key("Startup Transfer"), "-1");
}

// The optional keys of section Configuration: a new file never gets them, they read as
// off, and OK writes them for the controller to take at once.
TEST_F(MessageSettingsDialog, OptionalConfigurationCheckBoxes) {
  const struct {
    const char* box;
    const char* caption;
    const char* key;
    bool GatewayConfig::*field;
  } boxes[] = {
      {"Long_Messages", "Send long messages in parts", "Long Messages", &GatewayConfig::LongMessages},
      {"Fast_Dispatch", "Fast dispatch (do not wait for timer ticks)", "Fast Dispatch", &GatewayConfig::FastDispatch},
  };
  std::filesystem::remove(gateway.IniPath());
  dialog.show();
  for (const auto& b : boxes) {
    EXPECT_EQ(Caption(dialog, b.box), b.caption);
    EXPECT_FALSE(Control<QCheckBox>(dialog, b.box)->isChecked()) << b.key;
    EXPECT_EQ(IniFile(gateway.IniPath()).ReadString("Configuration", b.key, "<none>"), "<none>");
    Control<QCheckBox>(dialog, b.box)->setChecked(true);
  }
  Control<QPushButton>(dialog, "Save_Config")->click();
  for (const auto& b : boxes) {
    EXPECT_EQ(IniFile(gateway.IniPath()).ReadString("Configuration", b.key, ""), "1") << b.key;
    EXPECT_TRUE(gateway.main->Config().*b.field) << b.key;
  }
  dialog.show();
  for (const auto& b : boxes) EXPECT_TRUE(Control<QCheckBox>(dialog, b.box)->isChecked()) << b.key;
}

TEST(AboutBox, ShowsProductNameAndVersion) {
  ui::TAboutBox about;
  EXPECT_EQ(about.windowTitle(), "About");
  EXPECT_EQ(Caption(about, "ProductNameLabel"), "Product Name:");
  EXPECT_EQ(Caption(about, "ProductName"), "Kavonet");
  EXPECT_EQ(Caption(about, "VersionLabel"), "Version:");
  EXPECT_EQ(Caption(about, "Version"), "5.1");
  auto* ok = Control<QPushButton>(about, "OKButton");
  EXPECT_EQ(ok->text(), "OK");
  EXPECT_TRUE(ok->isDefault());
  EXPECT_FALSE(Control<QLabel>(about, "ProgramIcon")->pixmap().isNull());
}

}  // namespace
}  // namespace kavonet::testing
