// The main window over a controller on a virtual clock and a fake port.

#include <gtest/gtest.h>

#include <QAction>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>

#include "GatewayFixture.h"
#include "WidgetText.h"
#include "ui/widgets/GatewayTray.h"
#include "ui/widgets/QueueGridModel.h"
#include "ui/widgets/QueueGridView.h"
#include "ui/widgets/SMS_Main.h"
#include "ui/widgets/TCommunication_Settings.h"

namespace kavonet::testing {
namespace {

using ui::SMS_Main;

// Lets queued work and window-system events run, without waiting for real time.
void Settle() {
  for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

class MainWindow : public ::testing::Test {
 protected:
  explicit MainWindow(const std::string& ini = PduIni(),
                      Gateway::Front front = Gateway::Front::Recorded,
                      SMS_Main::TrayUse tray = SMS_Main::TrayUse::Detect)
      : gateway(ini, front), window(*gateway.main, gateway.gui, nullptr, tray) {}

  QToolButton* Button(const char* name) { return Control<QToolButton>(window, name); }
  QAction* Action(const char* name) { return Control<QAction>(window, name); }
  QString Status() { return Caption(window, "StatusText"); }
  int Opens() const {
    int opens = 0;
    for (const std::string& line : gateway.port.Log()) opens += line.rfind("Open ", 0) == 0;
    return opens;
  }
  void ShowActive() {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window, 1000));
    Settle();
  }

  Gateway gateway;
  SMS_Main window;
};

TEST_F(MainWindow, HasAFixedClientAreaCentredWithoutMaximise) {
  EXPECT_EQ(window.windowTitle(), "Kavonet");
  EXPECT_EQ(window.centralWidget()->width(), SMS_Main::kClientWidth);
  EXPECT_EQ(window.width(), SMS_Main::kClientWidth);
  EXPECT_EQ(window.centralWidget()->height() + window.statusBar()->height(),
            SMS_Main::kClientHeight);
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  EXPECT_TRUE(window.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
  const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
  EXPECT_LE((window.frameGeometry().center() - screenCentre).manhattanLength(), 2);
  EXPECT_FALSE(window.windowIcon().isNull());
}

TEST(DesktopApplication, HasNoDisplayNameForCaptionsToCarry) {
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
}

TEST_F(MainWindow, PlacesTheControlsWhereTheFormHasThem) {
  const std::pair<const char*, QRect> places[] = {
      {"Mode_Panel", {0, 0, 451, 33}},    {"Connect_MT", {0, 0, 80, 33}},
      {"No_Transfer", {370, 2, 25, 25}},  {"Transfer_TE", {397, 2, 25, 25}},
      {"Transfer_All", {424, 2, 25, 25}}, {"tx_queue", {8, 50, 392, 97}},
      {"tx_stage_1", {408, 48, 33, 33}},  {"tx_stage_2", {408, 80, 33, 33}},
      {"tx_stage_3", {408, 112, 33, 33}}, {"Rx_Ole_Appname", {232, 154, 185, 21}},
      {"Rx_Poll", {417, 154, 24, 21}},    {"Ole_Time_Left", {421, 158, 16, 17}},
      {"rx_grid", {8, 176, 433, 105}},
  };
  for (const auto& [name, place] : places) {
    QWidget* w = Control(window, name);
    const QRect at(w->mapTo(window.centralWidget(), QPoint(0, 0)), w->size());
    EXPECT_EQ(at, place) << name;
  }
}

TEST_F(MainWindow, ShowsEveryCaptionAndHint) {
  EXPECT_EQ(Button("Connect_MT")->text(), "Connect");
  const std::pair<const char*, const char*> hints[] = {
      {"Connect_MT", "Connect to Mobile Terminal"},
      {"No_Transfer", "Do not transfer messages from M.T."},
      {"Transfer_TE", "Transfer incomming messages marked T.E. only"},
      {"Transfer_All", "Transfer all incomming messages"},
      {"StatusBar", "The status bar tells you what's going on \"under the hood\"."},
  };
  for (const auto& [name, hint] : hints) EXPECT_EQ(Control(window, name)->toolTip(), hint) << name;
  for (const char* name : {"Connect_MT", "No_Transfer", "Transfer_TE", "Transfer_All"}) {
    EXPECT_TRUE(Button(name)->isCheckable()) << name;
    EXPECT_FALSE(Button(name)->icon().isNull()) << name;
  }
  EXPECT_EQ(Caption(window, "Label5"), "Message Send Queue");
  EXPECT_EQ(Caption(window, "Label2"), "Receive Message Queue");
  EXPECT_TRUE(Control(window, "Label5")->font().italic());
  EXPECT_EQ(Caption(window, "Ole_Time_Left"), "3");
  EXPECT_EQ(Caption(window, "Rx_Ole_Appname"), "");
  EXPECT_TRUE(Control<QLineEdit>(window, "Rx_Ole_Appname")->isReadOnly());

  const std::pair<const char*, QStringList> headings[] = {
      {"tx_queue", {"Destination", "Message Text"}},
      {"rx_grid", {"Msg#", "Status", "Origin", "Date", "Time", "Message Text"}},
  };
  for (const auto& [name, expected] : headings) {
    QAbstractItemModel* model = Control<QTableView>(window, name)->model();
    QStringList shown;
    for (int i = 0; i < model->columnCount(); ++i) {
      shown << model->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString();
    }
    EXPECT_EQ(shown, expected) << name;
  }
}

// Captions of a menu's items in order, separators as "-".
QStringList Items(const QMenu* menu) {
  QStringList items;
  for (const QAction* item : menu->actions()) items << (item->isSeparator() ? "-" : item->text());
  return items;
}

TEST_F(MainWindow, HasTheMenusWithTheirCaptionsAndShortcuts) {
  QStringList bar;
  for (const QAction* menu : window.menuBar()->actions()) bar << menu->text();
  EXPECT_EQ(bar, QStringList({"&File", "&Settings", "&Mode", "&Help"}));
  EXPECT_EQ(Items(Control<QMenu>(window, "File1")),
            QStringList({"Transmit Log", "Receive Log", "-", "Exit"}));
  EXPECT_EQ(Items(Control<QMenu>(window, "Settings2")),
            QStringList({"Communications", "Messages"}));
  EXPECT_EQ(Items(Control<QMenu>(window, "Mode1")),
            QStringList({"Do not transfer messgaes from M.T.",
                         "Transfer incomming messages marked T.E. only",
                         "Transfer all incomming messages"}));
  EXPECT_EQ(Items(Control<QMenu>(window, "Help1")), QStringList({"&About"}));

  const std::pair<const char*, QKeySequence> shortcuts[] = {
      {"TransmitLog1", {}},     {"ReceiveLog1", {}},       {"Exit1", QKeySequence("Ctrl+F4")},
      {"Communications1", {}},  {"Messages1", {}},         {"Menu_No_Transfer", {}},
      {"Menu_Transfer_TE", {}}, {"Menu_Transfer_All", {}}, {"About1", QKeySequence("Ctrl+A")},
  };
  for (const auto& [name, shortcut] : shortcuts)
    EXPECT_EQ(Action(name)->shortcut(), shortcut) << name;

  EXPECT_EQ(Items(window.Tray().Menu()), QStringList({"Kavonet", "-", "Restore", "Minimize"}));
}

TEST_F(MainWindow, AboutShortcutWorksFromAGrid) {
  ShowActive();
  auto* grid = Control<QTableView>(window, "tx_queue");
  grid->setFocus();
  ModalHandler about([](QWidget* modal) { qobject_cast<QDialog*>(modal)->accept(); });
  QTest::keyClick(grid, Qt::Key_A, Qt::ControlModifier);
  Settle();
  ASSERT_EQ(about.seen().size(), 1u);
  EXPECT_EQ(about.seen()[0].title, "About");
}

// What the window shows of the session, before and after it is entered.
struct SessionLook {
  bool connected;
  bool noTransfer;
  bool transferTE;
  bool transferAll;
  bool mode;
  const char* trayHint;
};

void ExpectLook(SMS_Main& window, const SessionLook& look) {
  auto button = [&](const char* name) { return window.findChild<QToolButton*>(name); };
  auto action = [&](const char* name) { return window.findChild<QAction*>(name); };
  EXPECT_EQ(button("Connect_MT")->isChecked(), look.connected);
  EXPECT_TRUE(button("Connect_MT")->isEnabled());
  EXPECT_EQ(button("No_Transfer")->isEnabled(), look.noTransfer);
  EXPECT_EQ(button("Transfer_TE")->isEnabled(), look.transferTE);
  EXPECT_EQ(button("Transfer_All")->isEnabled(), look.transferAll);
  EXPECT_EQ(window.findChild<QMenu*>("Mode1")->menuAction()->isEnabled(), look.mode);
  EXPECT_EQ(action("Menu_No_Transfer")->isEnabled(), look.noTransfer);
  EXPECT_EQ(action("Menu_Transfer_TE")->isEnabled(), look.transferTE);
  EXPECT_EQ(action("Menu_Transfer_All")->isEnabled(), look.transferAll);
  EXPECT_EQ(window.Tray().ToolTip(), look.trayHint);
  EXPECT_EQ(window.Tray().ShowsConnected(), look.connected);
  // Any session change shows the idle send stage.
  EXPECT_FALSE(window.findChild<QWidget*>("tx_stage_1")->isHidden());
  EXPECT_TRUE(window.findChild<QWidget*>("tx_stage_2")->isHidden());
  EXPECT_TRUE(window.findChild<QWidget*>("tx_stage_3")->isHidden());
}

constexpr SessionLook kDisconnected{false, false, false, false, false, "Kavonet - Disconnected"};
constexpr SessionLook kCreated{false, false, false, false, false, "Kavonet"};  // until the first change

TEST_F(MainWindow, EnablesTheModeControlsOnlyInAPduSession) {
  ExpectLook(window, kCreated);
  gateway.EnterSession();
  Settle();  // the window draws the controller's changes once the event is over
  ExpectLook(window, {true, true, false, true, true, "Kavonet - Connected"});
  EXPECT_TRUE(Button("No_Transfer")->isChecked());
  EXPECT_EQ(Status(), "Entered ETSI SMS PDU Mode OK");
}

class BlockModeWindow : public MainWindow {
 protected:
  BlockModeWindow() : MainWindow(BlockIni()) {}
};

TEST_F(BlockModeWindow, EnablesEveryTransferModeInABlockModeSession) {
  ExpectLook(window, kCreated);
  gateway.EnterSession();
  Settle();
  ExpectLook(window, {true, true, true, true, true, "Kavonet - Connected"});
}

TEST_F(MainWindow, ConnectButtonConnectsAndDisconnects) {
  gateway.port.ClearLog();
  Button("Connect_MT")->click();
  EXPECT_EQ(gateway.port.OpenedName(), "COM2");
  EXPECT_EQ(gateway.port.Written().back(), "ATZE0&S0\r");
  // Down only once the session is entered.
  EXPECT_FALSE(Button("Connect_MT")->isChecked());
  for (int i = 0; i < 10 && !gateway.main->Connected(); ++i) gateway.Receive("\r\nOK\r\n");
  Settle();
  EXPECT_TRUE(Button("Connect_MT")->isChecked());

  Button("Connect_MT")->click();
  EXPECT_FALSE(gateway.main->Connected());
  ExpectLook(window, kDisconnected);
}

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
    EXPECT_FALSE(Button("Transfer_All")->isChecked());
    EXPECT_FALSE(Button("No_Transfer")->isChecked());
    gateway.Receive("\r\nOK\r\n");
    Settle();
  }
  EXPECT_TRUE(Button("No_Transfer")->isChecked());
  EXPECT_EQ(Status(), "Request Confirmed - Do not transfer incoming messages.");
}

TEST_F(MainWindow, LogMenuReportsLoggingSwitchedOff) {
  gateway.WriteIni(PduIni("[Receive Message]\nLog Transmit=0\nLog Receive=0\n"));
  gateway.main->ReadConfiguration();
  Action("TransmitLog1")->trigger();
  EXPECT_EQ(Status(), "Transmit logging not enabled");
  Action("ReceiveLog1")->trigger();
  EXPECT_EQ(Status(), "Receive logging not enabled");
}

TEST_F(MainWindow, StatusBarShowsOneLine) {
  gateway.EnterSession();
  gateway.Receive("\r\n+CMS ERROR: 500\r\n");
  EXPECT_EQ(Status(), "+CMS ERROR: 500");
}

TEST_F(MainWindow, ShowsTheQueuesAndTheRetrievalRegistration) {
  gateway.main->AppendToSendQueue("+4479", "Grüße");
  gateway.main->QueueForDestinations("111,222", "x");
  Settle();
  auto* tx = Control<QTableView>(window, "tx_queue")->model();
  ASSERT_EQ(tx->rowCount(), 3);
  EXPECT_EQ(tx->index(0, 1).data().toString(), QString::fromUtf8("Grüße"));
  EXPECT_EQ(tx->index(2, 0).data().toString(), "222");

  gateway.main->Rx_Ole_Appname = "Mail";
  gateway.main->Ole_Time_Left = "2";
  gateway.main->Rx_Poll = TColor::clRed;
  gateway.main->NotifyControlsChanged();
  Settle();
  EXPECT_EQ(Caption(window, "Rx_Ole_Appname"), "Mail");
  EXPECT_EQ(Caption(window, "Ole_Time_Left"), "2");
}

class SendQueueDrag : public MainWindow {
 protected:
  void SetUp() override {
    gateway.main->QueueForDestinations("1,2,3", "text");
    window.show();
    Settle();
  }
  std::string Order() const {
    std::string order;
    const StringGrid& grid = gateway.main->tx_queue;
    for (int row = 1; row < grid.RowCount() - 1; ++row) order += grid.Cell(0, row);
    return order;
  }
  void Drag(int from, int to) {
    auto* view = Control<QTableView>(window, "tx_queue");
    QWidget* port = view->viewport();
    auto centre = [&](int row) { return view->visualRect(view->model()->index(row, 0)).center(); };
    auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButtons held) {
      QMouseEvent event(type, at, port->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
      QApplication::sendEvent(port, &event);
    };
    send(QEvent::MouseButtonPress, centre(from), Qt::LeftButton);
    send(QEvent::MouseMove, centre(to), Qt::LeftButton);
    send(QEvent::MouseButtonRelease, centre(to), Qt::NoButton);
  }
};

TEST_F(SendQueueDrag, MovesTheDraggedRow) {
  Drag(2, 0);
  EXPECT_EQ(Order(), "312");
  Drag(0, 1);
  EXPECT_EQ(Order(), "132");
}

TEST_F(MainWindow, ForwardsTheSignalQualityToTheOpenSettingsDialog) {
  gateway.EnterSession();
  gateway.Receive("\r\n+CSQ: 21,3\r\n");
  Settle();
  EXPECT_EQ(Control<QProgressBar>(window.CommunicationSettings(), "RSSI")->value(), 21);
  EXPECT_EQ(Caption(window.CommunicationSettings(), "ber_val"), "[3]");
}

TEST_F(MainWindow, ClosingDisconnectsWithoutAsking) {
  gateway.EnterSession();
  gateway.port.ClearLog();
  window.show();
  window.close();
  EXPECT_FALSE(gateway.main->Connected());
  EXPECT_NE(
      std::find(gateway.port.Log().begin(), gateway.port.Log().end(), "EscapeCommFunction ClrDTR"),
      gateway.port.Log().end());
  EXPECT_TRUE(gateway.recorded.warnings.empty());
}

TEST_F(MainWindow, MinimisesToTheTaskbarWithoutATray) {
  ASSERT_FALSE(window.Tray().Active());  // no notification area offscreen
  ShowActive();
  gateway.gui.Minimize();
  Settle();
  EXPECT_TRUE(window.isMinimized());
  EXPECT_TRUE(window.isVisible());
  gateway.gui.Restore();
  Settle();
  EXPECT_FALSE(window.isMinimized());
}

class TrayWindow : public MainWindow {
 protected:
  TrayWindow() : MainWindow(PduIni(), Gateway::Front::Gui, SMS_Main::TrayUse::On) {}
};

TEST_F(TrayWindow, MinimisesIntoTheTrayAndComesBackFromIt) {
  ShowActive();
  window.Tray().Menu()->actions().at(3)->trigger();  // Minimize
  Settle();
  EXPECT_FALSE(window.isVisible());
  window.Tray().Menu()->actions().at(2)->trigger();  // Restore
  Settle();
  EXPECT_TRUE(window.isVisible());
  EXPECT_FALSE(window.isMinimized());
}

class AutoConnectWindow : public MainWindow {
 protected:
  AutoConnectWindow() : MainWindow(PduIni("[Startup]\nAuto Connect=1\n"), Gateway::Front::Gui) {}
};

TEST_F(AutoConnectWindow, FirstActivationConnects) {
  ShowActive();
  EXPECT_EQ(Opens(), 1);
  EXPECT_EQ(gateway.port.Written().back(), "ATZE0&S0\r");
}

TEST_F(AutoConnectWindow, ClosingTheErrorBoxDoesNotStartTheNextAttempt) {
  gateway.port.failOpenWith = ENOENT;
  ModalHandler boxes([](QWidget* modal) { Press(modal, QMessageBox::Ok); });
  window.show();  // its attempt's box may keep it from becoming active
  // The focus returns to the window after the box, as a window manager gives it back.
  for (int i = 0; i < 5; ++i) {
    window.activateWindow();
    Settle();
  }
  EXPECT_EQ(Opens(), 1);
  ASSERT_EQ(boxes.seen().size(), 1u);
  EXPECT_TRUE(boxes.seen()[0].text.startsWith("Cannot connect to port COM2"));

  // The periodic retry stays.
  gateway.port.failOpenWith = ENOENT;
  gateway.loop.Advance(std::chrono::milliseconds(15000));
  Settle();
  EXPECT_EQ(Opens(), 2);
  EXPECT_EQ(boxes.seen().size(), 2u);
  EXPECT_EQ(boxes.deepest(), 1);
}

TEST_F(AutoConnectWindow, ClosingASettingsDialogTriesAgain) {
  gateway.port.failOpenWith = ENOENT;
  {
    ModalHandler boxes([](QWidget* modal) { Press(modal, QMessageBox::Ok); });
    window.show();
    // Back to the window after the box, without a second attempt.
    window.activateWindow();
    Settle();
  }
  ASSERT_EQ(Opens(), 1);
  // Cancel the dialog, then OK on the box of the attempt its closing starts.
  ModalHandler modals([](QWidget* modal) {
    if (qobject_cast<QMessageBox*>(modal) == nullptr) {
      qobject_cast<QDialog*>(modal)->reject();
    } else {
      Press(modal, QMessageBox::Ok);
    }
  });
  // No window manager gives the focus back to the window: the closing counts by itself.
  window.Messages1Click();
  Settle();
  EXPECT_EQ(Opens(), 2);
  ASSERT_EQ(modals.seen().size(), 2u);
  EXPECT_EQ(modals.seen()[0].title, "Message Settings");
}

}  // namespace
}  // namespace kavonet::testing
