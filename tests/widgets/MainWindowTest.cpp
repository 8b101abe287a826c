// The main window over a controller on a virtual clock and a fake port.

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QProgressBar>
#include <QTableView>
#include <QToolButton>

#include "GatewayFixture.h"
#include "ui/widgets/GatewayTray.h"
#include "ui/widgets/SMS_Main.h"
#include "ui/widgets/TCommunication_Settings.h"

namespace kavonet::testing {
namespace {

using ui::SMS_Main;

// Lets queued work and window-system events run, without waiting for real time.
void Settle() {
  for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// Connect button down; transfer buttons and their menu items enabled; the tray's hint.
std::string Look(SMS_Main& window) {
  auto enabled = [&](const char* name) { return window.findChild<QToolButton*>(name)->isEnabled(); };
  std::string look = window.findChild<QToolButton*>("Connect_MT")->isChecked() ? "down" : "up";
  for (const char* name : {"No_Transfer", "Transfer_TE", "Transfer_All"}) {
    look += enabled(name) ? " on" : " off";
    EXPECT_EQ(window.findChild<QAction*>(QString("Menu_") + name)->isEnabled(), enabled(name));
  }
  EXPECT_EQ(window.findChild<QMenu*>("Mode1")->menuAction()->isEnabled(), enabled("No_Transfer"));
  EXPECT_EQ(window.Tray().ShowsConnected(), look.starts_with("down"));
  // Any session change shows the idle send stage.
  EXPECT_TRUE(!window.findChild<QWidget*>("tx_stage_1")->isHidden() &&
              window.findChild<QWidget*>("tx_stage_2")->isHidden());
  return look + " " + window.Tray().ToolTip().toStdString();
}

TEST(MainWindowSession, ConnectButtonEntersTheSessionWithItsTransferModesAndLeavesIt) {
  for (const auto& [ini, look] : {std::pair{PduIni(), "down on off on Kavonet - Connected"},
                                  std::pair{BlockIni(), "down on on on Kavonet - Connected"}}) {
    Gateway gateway{ini};
    SMS_Main window(*gateway.main, gateway.gui);
    EXPECT_EQ(Look(window), "up off off off Kavonet");  // until the connection first changes
    auto* connect = window.findChild<QToolButton*>("Connect_MT");
    connect->click();
    EXPECT_EQ(gateway.port.OpenedName() + gateway.port.Written().back(), "COM2ATZE0&S0\r");
    EXPECT_FALSE(connect->isChecked()) << "down only once the session is entered";
    for (int i = 0; i < 10 && !gateway.main->Connected(); ++i) gateway.Receive("\r\nOK\r\n");
    Settle();
    EXPECT_EQ(Look(window), look);
    // Block Mode presses it once the terminal confirms the request.
    EXPECT_EQ(window.findChild<QToolButton*>("No_Transfer")->isChecked(), ini == PduIni());
    connect->click();
    EXPECT_FALSE(gateway.main->Connected());
    EXPECT_EQ(Look(window), "up off off off Kavonet - Disconnected");
  }
}

class MainWindow : public ::testing::Test {
 protected:
  explicit MainWindow(const std::string& ini = PduIni(), Gateway::Front front = Gateway::Front::Recorded)
      : gateway(ini, front), window(*gateway.main, gateway.gui) {}

  QToolButton* Button(const char* name) { return Control<QToolButton>(window, name); }
  QAction* Action(const char* name) { return Control<QAction>(window, name); }
  int Opens() const {
    return static_cast<int>(std::count_if(gateway.port.Log().begin(), gateway.port.Log().end(),
                                          [](const std::string& line) { return line.starts_with("Open "); }));
  }
  Gateway gateway;
  SMS_Main window;
};

TEST_F(MainWindow, TransferButtonsAndModeMenuSendTheirCommands) {
  gateway.EnterSession();
  Settle();
  const std::pair<std::function<void()>, const char*> clicks[] = {
      {[&] { Button("Transfer_All")->click(); }, "AT+CNMI=1,1,0,0\r"},
      {[&] { Button("No_Transfer")->click(); }, "AT+CNMI=0,0,0,0\r"},
      {[&] { Action("Menu_Transfer_All")->trigger(); }, "AT+CNMI=1,1,0,0\r"},
      {[&] { Action("Menu_No_Transfer")->trigger(); }, "AT+CNMI=0,0,0,0\r"},
  };
  for (const auto& [click, command] : clicks) {
    gateway.TakeWritten();
    click();
    EXPECT_EQ(gateway.TakeWritten(), std::vector<std::string>{command});
    // Released until the terminal confirms the mode.
    EXPECT_FALSE(Button("Transfer_All")->isChecked() || Button("No_Transfer")->isChecked());
    gateway.Receive("\r\nOK\r\n");
    Settle();
  }
  EXPECT_TRUE(Button("No_Transfer")->isChecked());
  gateway.Receive("\r\n+CMS ERROR: 500\r\n");
  Settle();
  EXPECT_EQ(Value(window, "StatusText"), "+CMS ERROR: 500") << "one line";
}

TEST_F(MainWindow, ShowsTheQueuesTheRetrievalAndTheSignalQuality) {
  gateway.main->AppendToSendQueue("+4479", "Grüße");
  gateway.main->Rx_Ole_Appname = "Mail";
  gateway.main->Ole_Time_Left = "2";
  gateway.main->NotifyControlsChanged();
  Settle();
  auto* tx = Control<QTableView>(window, "tx_queue")->model();
  ASSERT_EQ(tx->rowCount(), 1);
  EXPECT_EQ(tx->index(0, 1).data().toString(), QString::fromUtf8("Grüße"));
  EXPECT_EQ(Value(window, "Rx_Ole_Appname") + Value(window, "Ole_Time_Left"), "Mail2");
  // Forwarded to the settings dialog, open or not. 99: the terminal could not measure the
  // bit error rate, which keeps its display.
  gateway.EnterSession();
  gateway.Receive("\r\n+CSQ: 21,99\r\n");
  Settle();
  const ui::TCommunication_Settings& comms = window.CommunicationSettings();
  EXPECT_EQ(Control<QProgressBar>(comms, "RSSI")->value(), 21);
  EXPECT_EQ(Value(comms, "rssi_val") + Value(comms, "ber_val"), "[21][0]");
}

TEST_F(MainWindow, ClosingDisconnectsWithoutAsking) {
  gateway.EnterSession();
  window.show();
  window.close();
  EXPECT_FALSE(gateway.main->Connected());
  EXPECT_TRUE(gateway.dialogs.warnings.empty());
}

class AutoConnectWindow : public MainWindow {
 protected:
  AutoConnectWindow() : MainWindow(PduIni("[Startup]\nAuto Connect=1\n"), Gateway::Front::Gui) {
    gateway.port.failOpenWith = ENOENT;
  }
};

TEST_F(AutoConnectWindow, FirstActivationAndAClosedDialogConnectButAClosedErrorBoxDoesNot) {
  // OK on every box; a dialog is cancelled.
  ModalHandler modals([](QWidget* modal) { Press(modal, QMessageBox::Ok); });
  window.show();  // its attempt's box may keep it from becoming active
  // The focus returns to the window after the box, as a window manager gives it back.
  for (int i = 0; i < 5; ++i) {
    window.activateWindow();
    Settle();
  }
  EXPECT_EQ(Opens(), 1);
  ASSERT_EQ(modals.texts().size(), 1u);
  EXPECT_TRUE(modals.texts()[0].startsWith("Cannot connect to port COM2"));
  // No window manager gives the focus back after the dialog: its closing counts by itself.
  window.Messages1Click();
  Settle();
  EXPECT_EQ(Opens(), 2);
  ASSERT_EQ(modals.texts().size(), 3u);
  EXPECT_TRUE(modals.texts()[1].isEmpty()) << "the dialog, not another box";
  // The periodic retry stays.
  gateway.loop.Advance(std::chrono::milliseconds(15000));
  Settle();
  EXPECT_EQ(Opens(), 3);
  EXPECT_EQ(modals.texts().size(), 4u);
}

}  // namespace
}  // namespace kavonet::testing
