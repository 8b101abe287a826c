// The main window over a controller on a virtual clock and a fake port, and what every form
// shows the user.

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressBar>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include "GatewayFixture.h"
#include "ui/widgets/GatewayTray.h"
#include "ui/widgets/SMS_Main.h"
#include "ui/widgets/TAboutBox.h"
#include "ui/widgets/TCommunication_Settings.h"
#include "ui/widgets/TMessage_Settings.h"

namespace kavonet::testing {
namespace {

using ui::SMS_Main;

// Lets queued work and window-system events run, without waiting for real time.
void Settle() {
  for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

QStringList Items(const QMenu* menu) {
  QStringList items;
  for (const QAction* item : menu->actions()) items << (item->isSeparator() ? "-" : item->text());
  return items;
}

// A control as the user reads it: its caption (and " ? hint"), a menu item's caption and
// [shortcut], and the items of a radio group, a list, a menu or a grid's headings joined by |.
QString Shown(const QObject& form, const char* name) {
  QStringList items;
  if (auto* group = form.findChild<QButtonGroup*>(name)) {
    for (QAbstractButton* button : group->buttons()) items << button->text();
    return items.join('|');
  }
  QObject* o = form.findChild<QObject*>(name);
  if (auto* a = qobject_cast<QAction*>(o)) {
    return a->text() + (a->shortcut().isEmpty() ? "" : " [" + a->shortcut().toString() + "]");
  }
  if (auto* menu = qobject_cast<QMenu*>(o)) {
    items = Items(menu);
  } else if (auto* list = qobject_cast<QComboBox*>(o)) {
    for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
  } else if (auto* grid = qobject_cast<QTableView*>(o)) {
    for (int i = 0; i < grid->model()->columnCount(); ++i) items << grid->model()->headerData(i, Qt::Horizontal).toString();
  } else if (auto* w = qobject_cast<QWidget*>(o)) {
    auto* button = qobject_cast<QAbstractButton*>(w);
    return (button ? button->text() : Value(form, name)) + (w->toolTip().isEmpty() ? "" : " ? " + w->toolTip());
  }
  return o ? items.join('|') : "<no control>";
}

TEST(Forms, ShowTheirCaptionsHintsAndShortcuts) {
  Gateway gateway{BlockIni()};
  SMS_Main window(*gateway.main, gateway.gui);
  ui::TCommunication_Settings comms(*gateway.main, gateway.recorded, gateway.shell);
  ui::TMessage_Settings messages(*gateway.main, gateway.recorded);
  ui::TAboutBox about;
  const struct { const QWidget& form; const char* name; const char* shown; } rows[] = {
      {window, "Connect_MT", "Connect ? Connect to Mobile Terminal"},
      {window, "No_Transfer", " ? Do not transfer messages from M.T."},
      {window, "Transfer_All", " ? Transfer all incomming messages"},
      {window, "StatusBar", " ? The status bar tells you what's going on \"under the hood\"."},
      {window, "tx_queue", "Destination|Message Text"},
      {window, "rx_grid", "Msg#|Status|Origin|Date|Time|Message Text"},
      {window, "File1", "Transmit Log|Receive Log|-|Exit"},
      {window, "Mode1", "Do not transfer messgaes from M.T.|Transfer incomming messages marked T.E. only|"
                        "Transfer all incomming messages"},
      {window, "Exit1", "Exit [Ctrl+F4]"},
      {window, "About1", "&About [Ctrl+A]"},
      {comms, "PortRG", "COM1|COM2|COM3|COM4"},
      {comms, "SpeedRG", "2400|4800|9600|14400|19200|38400|56000|57600|115200"},
      {comms, "InterfaceRG", "ETSI 07.05 Block Mode|ETSI 07.05 PDU Mode"},
      {comms, "RSSI", " ? Signal Strength"},
      {messages, "TransferRG", "Do not transfer messages from M.T.|Transfer incoming messages marked T.E. only.|"
                               "Transfer all incoming messages"},
      {messages, "Long_Messages", "Send long messages in parts"},
      {messages, "Fast_Dispatch", "Fast dispatch (do not wait for timer ticks)"},
      {about, "ProductName", "Kavonet"},
  };
  for (const auto& row : rows) EXPECT_EQ(Shown(row.form, row.name), row.shown) << row.name;
  QStringList bar;
  for (const QAction* menu : window.menuBar()->actions()) bar << menu->text();
  EXPECT_EQ(bar.join('|'), "&File|&Settings|&Mode|&Help");
  EXPECT_EQ(Items(window.Tray().Menu()).join('|'), "Kavonet|-|Restore|Minimize");
  EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "a fixed size";
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

TEST(MainWindowSession, EnablesTheTransferModesOfTheSession) {
  for (const auto& [ini, look] : {std::pair{PduIni(), "down on off on Kavonet - Connected"},
                                  std::pair{BlockIni(), "down on on on Kavonet - Connected"}}) {
    Gateway gateway{ini};
    SMS_Main window(*gateway.main, gateway.gui);
    EXPECT_EQ(Look(window), "up off off off Kavonet");  // until the connection first changes
    gateway.EnterSession();
    Settle();
    EXPECT_EQ(Look(window), look);
    // Block Mode presses it once the terminal confirms the request.
    EXPECT_EQ(window.findChild<QToolButton*>("No_Transfer")->isChecked(), ini == PduIni());
  }
}

class MainWindow : public ::testing::Test {
 protected:
  explicit MainWindow(const std::string& ini = PduIni(), Gateway::Front front = Gateway::Front::Recorded,
                      SMS_Main::TrayUse tray = SMS_Main::TrayUse::Detect)
      : gateway(ini, front), window(*gateway.main, gateway.gui, nullptr, tray) {}

  QToolButton* Button(const char* name) { return Control<QToolButton>(window, name); }
  QAction* Action(const char* name) { return Control<QAction>(window, name); }
  QString Status() { return Value(window, "StatusText"); }
  int Opens() const {
    return static_cast<int>(std::count_if(gateway.port.Log().begin(), gateway.port.Log().end(),
                                          [](const std::string& line) { return line.starts_with("Open "); }));
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

TEST_F(MainWindow, AboutShortcutWorksFromAGrid) {
  ShowActive();
  Control<QTableView>(window, "tx_queue")->setFocus();
  ModalHandler about([](QWidget* modal) { qobject_cast<QDialog*>(modal)->accept(); });
  QTest::keyClick(Control<QTableView>(window, "tx_queue"), Qt::Key_A, Qt::ControlModifier);
  Settle();
  ASSERT_EQ(about.seen().size(), 1u);
  EXPECT_EQ(about.seen()[0].title, "About");
}

TEST_F(MainWindow, ConnectButtonConnectsAndDisconnects) {
  gateway.port.ClearLog();
  Button("Connect_MT")->click();
  EXPECT_EQ(gateway.port.OpenedName(), "COM2");
  EXPECT_EQ(gateway.port.Written().back(), "ATZE0&S0\r");
  EXPECT_FALSE(Button("Connect_MT")->isChecked()) << "down only once the session is entered";
  for (int i = 0; i < 10 && !gateway.main->Connected(); ++i) gateway.Receive("\r\nOK\r\n");
  Settle();
  EXPECT_TRUE(Button("Connect_MT")->isChecked());
  Button("Connect_MT")->click();
  EXPECT_FALSE(gateway.main->Connected());
  EXPECT_EQ(Look(window), "up off off off Kavonet - Disconnected");
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
    EXPECT_FALSE(Button("Transfer_All")->isChecked() || Button("No_Transfer")->isChecked());
    gateway.Receive("\r\nOK\r\n");
    Settle();
  }
  EXPECT_TRUE(Button("No_Transfer")->isChecked());
  gateway.Receive("\r\n+CMS ERROR: 500\r\n");
  Settle();
  EXPECT_EQ(Status(), "+CMS ERROR: 500") << "one line";
}

TEST_F(MainWindow, LogMenuReportsLoggingSwitchedOff) {
  gateway.WriteIni(PduIni("[Receive Message]\nLog Transmit=0\nLog Receive=0\n"));
  gateway.main->ReadConfiguration();
  Action("TransmitLog1")->trigger();
  EXPECT_EQ(Status(), "Transmit logging not enabled");
  Action("ReceiveLog1")->trigger();
  EXPECT_EQ(Status(), "Receive logging not enabled");
}

TEST_F(MainWindow, ShowsTheQueuesTheRetrievalRegistrationAndTheSignalQuality) {
  gateway.main->AppendToSendQueue("+4479", "Grüße");
  gateway.main->QueueForDestinations("111,222", "x");
  Settle();
  auto* tx = Control<QTableView>(window, "tx_queue")->model();
  ASSERT_EQ(tx->rowCount(), 3);
  EXPECT_EQ(tx->index(0, 1).data().toString(), QString::fromUtf8("Grüße"));
  EXPECT_EQ(tx->index(2, 0).data().toString(), "222");
  gateway.main->Rx_Ole_Appname = "Mail";
  gateway.main->Ole_Time_Left = "2";
  gateway.main->NotifyControlsChanged();
  Settle();
  EXPECT_EQ(Value(window, "Rx_Ole_Appname") + Value(window, "Ole_Time_Left"), "Mail2");
  // Forwarded to the settings dialog, open or not.
  gateway.EnterSession();
  Settle();
  gateway.Receive("\r\n+CSQ: 21,3\r\n");
  Settle();
  EXPECT_EQ(Control<QProgressBar>(window.CommunicationSettings(), "RSSI")->value(), 21);
  EXPECT_EQ(Value(window.CommunicationSettings(), "ber_val"), "[3]");
}

TEST_F(MainWindow, DraggingASendQueueRowMovesIt) {
  gateway.main->QueueForDestinations("1,2,3", "text");
  Settle();
  window.show();
  Settle();
  auto* view = Control<QTableView>(window, "tx_queue");
  auto drag = [view](int from, int to) {
    QWidget* port = view->viewport();
    auto centre = [&](int row) { return view->visualRect(view->model()->index(row, 0)).center(); };
    for (auto [type, row, held] : {std::tuple{QEvent::MouseButtonPress, from, Qt::LeftButton},
                                   std::tuple{QEvent::MouseMove, to, Qt::LeftButton},
                                   std::tuple{QEvent::MouseButtonRelease, to, Qt::NoButton}}) {
      QMouseEvent event(type, centre(row), port->mapToGlobal(centre(row)), Qt::LeftButton, held, Qt::NoModifier);
      QApplication::sendEvent(port, &event);
    }
    QString order;
    for (int row = 0; row < view->model()->rowCount(); ++row) order += view->model()->index(row, 0).data().toString();
    return order;
  };
  EXPECT_EQ(drag(2, 0), "312");
  EXPECT_EQ(drag(0, 1), "132");
  EXPECT_EQ(gateway.main->tx_queue.Cell(0, 1), "1");
}

TEST_F(MainWindow, ClosingDisconnectsWithoutAsking) {
  gateway.EnterSession();
  Settle();
  gateway.port.ClearLog();
  window.show();
  window.close();
  EXPECT_FALSE(gateway.main->Connected());
  EXPECT_NE(std::find(gateway.port.Log().begin(), gateway.port.Log().end(), "EscapeCommFunction ClrDTR"),
            gateway.port.Log().end());
  EXPECT_TRUE(gateway.recorded.warnings.empty());
}

TEST_F(MainWindow, MinimisesToTheTaskbarWithoutATray) {
  ASSERT_FALSE(window.Tray().Active());  // no notification area offscreen
  ShowActive();
  gateway.gui.Minimize();
  Settle();
  EXPECT_TRUE(window.isMinimized() && window.isVisible());
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
  EXPECT_TRUE(window.isVisible() && !window.isMinimized());
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
    window.activateWindow();  // back to the window after the box, without a second attempt
    Settle();
  }
  ASSERT_EQ(Opens(), 1);
  // Cancel the dialog, then OK on the box of the attempt its closing starts.
  ModalHandler modals([](QWidget* modal) { Press(modal, QMessageBox::Ok); });
  // No window manager gives the focus back to the window: the closing counts by itself.
  window.Messages1Click();
  Settle();
  EXPECT_EQ(Opens(), 2);
  ASSERT_EQ(modals.seen().size(), 2u);
  EXPECT_EQ(modals.seen()[0].title, "Message Settings");
}

}  // namespace
}  // namespace kavonet::testing
