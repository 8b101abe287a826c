#include "ui/widgets/SMS_Main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>

#include "core/TSMS_Main.h"
#include "sms/Utf8.h"
#include "ui/widgets/GatewayTray.h"
#include "ui/widgets/Glyphs.h"
#include "ui/widgets/GuiFront.h"
#include "ui/widgets/QueueGridModel.h"
#include "ui/widgets/QueueGridView.h"
#include "ui/widgets/RetrievalLight.h"
#include "ui/widgets/TAboutBox.h"
#include "ui/widgets/TCommunication_Settings.h"
#include "ui/widgets/TMessage_Settings.h"

namespace kavonet::ui {

namespace {

constexpr int kStatusBarHeight = 25;
constexpr int kModePanelHeight = 33;
constexpr int kSendAreaHeight = 119;
constexpr int kReceiveAreaHeight = 137;

QString FromGateway(const std::string& text) {
  return QString::fromStdString(sms::ValidUtf8(text));
}

// One line: a terminal's answer shown as status keeps its line end, which a one-line
// panel cannot show.
QString StatusLine(const std::string& text) {
  QString line = FromGateway(text);
  line.replace(QLatin1String("\r\n"), QLatin1String(" "));
  line.replace(QLatin1Char('\r'), QLatin1Char(' '));
  line.replace(QLatin1Char('\n'), QLatin1Char(' '));
  return line.trimmed();
}

template <class W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QFrame* Bevel(QWidget* parent, const char* name, int top, int height) {
  auto* bevel = Named(new QFrame(parent), name);
  bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
  bevel->setGeometry(0, top, SMS_Main::kClientWidth, height);
  return bevel;
}

QLabel* Heading(QWidget* parent, const char* name, const QString& text, int left, int top) {
  auto* label = Named(new QLabel(text, parent), name);
  QFont italic = label->font();
  italic.setItalic(true);
  label->setFont(italic);
  QPalette black = label->palette();
  black.setColor(QPalette::WindowText, Qt::black);
  label->setPalette(black);
  label->move(left, top);
  label->adjustSize();
  return label;
}

QToolButton* MakeSpeedButton(QWidget* parent, const char* name, const QIcon& glyph,
                             const QString& hint, const QRect& geometry) {
  auto* button = Named(new QToolButton(parent), name);
  button->setCheckable(true);
  button->setIcon(glyph);
  button->setToolTip(hint);
  button->setGeometry(geometry);
  button->setFocusPolicy(Qt::NoFocus);
  return button;
}

}  // namespace

SMS_Main::SMS_Main(TSMS_Main& controller, GuiFront& front, QWidget* parent, TrayUse trayUse)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint),
      controller_(controller),
      front_(front) {
  setObjectName(QStringLiteral("SMS_Main"));
  setWindowTitle(QStringLiteral("Kavonet"));
  setWindowIcon(glyphs::ProgramIcon());
  QFont small = font();
  small.setPointSize(8);
  setFont(small);

  auto* client = new QWidget(this);
  client->setFixedSize(kClientWidth, kClientHeight - kStatusBarHeight);
  setCentralWidget(client);
  BuildModePanel(client);
  BuildSendArea(client);
  BuildReceiveArea(client);
  BuildMenus();
  BuildStatusBar();
  BuildTray(trayUse);

  communications_ = new TCommunication_Settings(controller_, front_, front_, this);
  messages_ = new TMessage_Settings(controller_, front_, this);
  about_ = new TAboutBox(this);

  setFixedSize(sizeHint());
  Centre();
  front_.AttachWindow(this);
  controller_.SetObserver(this);
  StatusTextChanged(controller_.StatusText());
  Refresh();
}

SMS_Main::~SMS_Main() {
  controller_.SetObserver(nullptr);
  front_.AttachWindow(nullptr);
}

void SMS_Main::BuildModePanel(QWidget* client) {
  auto* panel = Named(new QFrame(client), "Mode_Panel");
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel->setGeometry(0, 0, kClientWidth, kModePanelHeight);

  connect_ = MakeSpeedButton(panel, "Connect_MT", glyphs::ConnectGlyph(),
                             QStringLiteral("Connect to Mobile Terminal"), QRect(0, 0, 80, 33));
  connect_->setText(QStringLiteral("Connect"));
  connect_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  connect_->setIconSize(QSize(24, 24));
  noTransfer_ =
      MakeSpeedButton(panel, "No_Transfer", glyphs::NoTransferGlyph(),
                      QStringLiteral("Do not transfer messages from M.T."), QRect(370, 2, 25, 25));
  transferTE_ = MakeSpeedButton(panel, "Transfer_TE", glyphs::TransferTEGlyph(),
                                QStringLiteral("Transfer incomming messages marked T.E. only"),
                                QRect(397, 2, 25, 25));
  transferAll_ =
      MakeSpeedButton(panel, "Transfer_All", glyphs::TransferAllGlyph(),
                      QStringLiteral("Transfer all incomming messages"), QRect(424, 2, 25, 25));
  for (QToolButton* button : {noTransfer_, transferTE_, transferAll_}) {
    button->setIconSize(QSize(20, 20));
  }

  // The button flips its own down state before its handler runs, as a click on it does.
  QObject::connect(connect_, &QToolButton::clicked, this, [this] {
    Run([this] {
      controller_.Connect_MT.Down = !controller_.Connect_MT.Down;
      controller_.Connect_MTClick();
    });
  });
  QObject::connect(noTransfer_, &QToolButton::clicked, this,
                   [this] { Run([this] { controller_.No_TransferClick(); }); });
  QObject::connect(transferTE_, &QToolButton::clicked, this,
                   [this] { Run([this] { controller_.Transfer_TEClick(); }); });
  QObject::connect(transferAll_, &QToolButton::clicked, this,
                   [this] { Run([this] { controller_.Transfer_AllClick(); }); });
}

void SMS_Main::BuildSendArea(QWidget* client) {
  Bevel(client, "Bevel2", kModePanelHeight, kSendAreaHeight);
  Heading(client, "Label5", QStringLiteral("Message Send Queue"), 8, 36);

  txModel_ = new QueueGridModel(controller_.tx_queue, this);
  txView_ = Named(new QueueGridView({96, 455}, client), "tx_queue");
  txView_->setModel(txModel_);
  txView_->setGeometry(8, 50, 392, 97);
  txView_->SetRowMoving(true);
  QObject::connect(txView_, &QueueGridView::RowMoveRequested, this, &SMS_Main::MoveSendQueueRow);

  static constexpr const char* kStageNames[] = {"tx_stage_1", "tx_stage_2", "tx_stage_3"};
  for (int i = 0; i < 3; ++i) {
    stages_[i] = Named(new QLabel(client), kStageNames[i]);
    stages_[i]->setPixmap(glyphs::SendStageIcon(i + 1));
    stages_[i]->setGeometry(408, 48 + 32 * i, glyphs::kStageIconSize, glyphs::kStageIconSize);
  }
}

void SMS_Main::BuildReceiveArea(QWidget* client) {
  Bevel(client, "Bevel1", kModePanelHeight + kSendAreaHeight, kReceiveAreaHeight);
  Heading(client, "Label2", QStringLiteral("Receive Message Queue"), 8, 161);

  appName_ = Named(new QLineEdit(client), "Rx_Ole_Appname");
  appName_->setReadOnly(true);
  appName_->setFocusPolicy(Qt::NoFocus);
  QPalette face = appName_->palette();
  face.setColor(QPalette::Base, face.color(QPalette::Button));
  appName_->setPalette(face);
  appName_->setGeometry(232, 154, 185, 21);

  poll_ = Named(new RetrievalLight(client), "Rx_Poll");
  poll_->setGeometry(417, 154, 24, 21);
  timeLeft_ = Named(new QLabel(client), "Ole_Time_Left");
  timeLeft_->setAlignment(Qt::AlignCenter);
  timeLeft_->setGeometry(421, 158, 16, 17);
  timeLeft_->raise();

  rxModel_ = new QueueGridModel(controller_.rx_grid, this);
  rxView_ = Named(new QueueGridView({36, 38, 105, 53, 50, 303}, client), "rx_grid");
  rxView_->setModel(rxModel_);
  rxView_->setGeometry(8, 176, 433, 105);
}

void SMS_Main::BuildMenus() {
  auto action = [this](QMenu* menu, const char* name, const QString& caption,
                       const QKeySequence& shortcut, auto handler) {
    QAction* item = Named(menu->addAction(caption), name);
    item->setShortcut(shortcut);
    QObject::connect(item, &QAction::triggered, this, handler);
    return item;
  };

  QMenu* file = Named(menuBar()->addMenu(QStringLiteral("&File")), "File1");
  action(file, "TransmitLog1", QStringLiteral("Transmit Log"), {},
         [this] { Run([this] { controller_.TransmitLog1Click(); }); });
  action(file, "ReceiveLog1", QStringLiteral("Receive Log"), {},
         [this] { Run([this] { controller_.ReceiveLog1Click(); }); });
  Named(file->addSeparator(), "N1");
  action(file, "Exit1", QStringLiteral("Exit"), QKeySequence(Qt::CTRL | Qt::Key_F4),
         [this] { Exit1Click(); });

  QMenu* settings = Named(menuBar()->addMenu(QStringLiteral("&Settings")), "Settings2");
  action(settings, "Communications1", QStringLiteral("Communications"), {},
         [this] { Communications1Click(); });
  action(settings, "Messages1", QStringLiteral("Messages"), {}, [this] { Messages1Click(); });

  modeMenu_ = Named(menuBar()->addMenu(QStringLiteral("&Mode")), "Mode1");
  menuNoTransfer_ =
      action(modeMenu_, "Menu_No_Transfer", QStringLiteral("Do not transfer messgaes from M.T."),
             {}, [this] { Run([this] { controller_.Menu_No_TransferClick(); }); });
  menuTransferTE_ = action(modeMenu_, "Menu_Transfer_TE",
                           QStringLiteral("Transfer incomming messages marked T.E. only"), {},
                           [this] { Run([this] { controller_.Menu_Transfer_TEClick(); }); });
  menuTransferAll_ =
      action(modeMenu_, "Menu_Transfer_All", QStringLiteral("Transfer all incomming messages"), {},
             [this] { Run([this] { controller_.Menu_Transfer_AllClick(); }); });

  QMenu* help = Named(menuBar()->addMenu(QStringLiteral("&Help")), "Help1");
  action(help, "About1", QStringLiteral("&About"), QKeySequence(Qt::CTRL | Qt::Key_A),
         [this] { About1Click(); });
  // The window's shortcuts win over the grids' own use of the same keys.
  for (QAction* item : {findChild<QAction*>("Exit1"), findChild<QAction*>("About1")}) {
    item->setShortcutContext(Qt::WindowShortcut);
  }
}

void SMS_Main::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName(QStringLiteral("StatusBar"));
  bar->setSizeGripEnabled(false);
  bar->setFixedHeight(kStatusBarHeight);
  bar->setToolTip(QStringLiteral("The status bar tells you what's going on \"under the hood\"."));
  statusText_ = Named(new QLabel(bar), "StatusText");
  statusText_->setTextFormat(Qt::PlainText);
  bar->addWidget(statusText_, 1);
}

void SMS_Main::BuildTray(TrayUse trayUse) {
  const bool active = trayUse == TrayUse::On ||
                      (trayUse == TrayUse::Detect && QSystemTrayIcon::isSystemTrayAvailable());
  tray_ = new GatewayTray(active, this);
  QObject::connect(tray_, &GatewayTray::RestoreRequested, this,
                   [this] { Run([this] { controller_.Restore(); }); });
  QObject::connect(tray_, &GatewayTray::MinimizeRequested, this,
                   [this] { Run([this] { controller_.Minimize(); }); });
}

void SMS_Main::Centre() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  QRect frame = frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  move(frame.topLeft());
}

template <class Handler>
void SMS_Main::Run(Handler handler) {
  handler();
  Refresh();
}

void SMS_Main::StatusTextChanged(const std::string& text) {
  statusText_->setText(StatusLine(text));
}

void SMS_Main::ControlsChanged() { QueueRefresh(); }

void SMS_Main::QueueRefresh() {
  if (refreshQueued_) return;
  refreshQueued_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (refreshQueued_) Refresh();
      },
      Qt::QueuedConnection);
}

void SMS_Main::Refresh() {
  refreshQueued_ = false;
  const TSMS_Main& c = controller_;
  connect_->setChecked(c.Connect_MT.Down);
  connect_->setEnabled(c.Connect_MT.Enabled);
  const std::pair<QToolButton*, const SpeedButton*> transfers[] = {{noTransfer_, &c.No_Transfer},
                                                                   {transferTE_, &c.Transfer_TE},
                                                                   {transferAll_, &c.Transfer_All}};
  for (const auto& [button, state] : transfers) {
    button->setChecked(state->Down);
    button->setEnabled(state->Enabled);
  }
  modeMenu_->menuAction()->setEnabled(c.Mode1.Enabled);
  modeMenu_->setEnabled(c.Mode1.Enabled);
  menuNoTransfer_->setEnabled(c.Menu_No_Transfer.Enabled);
  menuTransferTE_->setEnabled(c.Menu_Transfer_TE.Enabled);
  menuTransferAll_->setEnabled(c.Menu_Transfer_All.Enabled);

  stages_[0]->setVisible(c.tx_stage_1.Visible);
  stages_[1]->setVisible(c.tx_stage_2.Visible);
  stages_[2]->setVisible(c.tx_stage_3.Visible);

  appName_->setText(FromGateway(c.Rx_Ole_Appname));
  poll_->SetColor(c.Rx_Poll);
  timeLeft_->setText(FromGateway(c.Ole_Time_Left));

  txModel_->Refresh();
  rxModel_->Refresh();
  tray_->Show(c.TrayIcon);
  communications_->ShowSignalQuality();
}

void SMS_Main::MoveSendQueueRow(int from, int to) {
  bool moved = false;
  Run([&] {
    moved = controller_.MoveSendQueueRow(QueueGridModel::GridRow(from), QueueGridModel::GridRow(to));
  });
  if (moved) txView_->selectRow(to);
}

void SMS_Main::Exit1Click() {
  close();
}

void SMS_Main::Communications1Click() { ShowDialog(*communications_); }

void SMS_Main::Messages1Click() { ShowDialog(*messages_); }

void SMS_Main::About1Click() { ShowDialog(*about_); }

void SMS_Main::ShowDialog(QDialog& dialog) {
  dialog.exec();
  Refresh();
  QueueActivation();
}

void SMS_Main::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::ActivationChange) {
    if (isActiveWindow()) {
      WindowActivated();
    } else {
      WindowDeactivated();
    }
  } else if (event->type() == QEvent::WindowStateChange && isMinimized() && tray_->Active()) {
    // Only the tray icon stays: the window leaves the taskbar too. Hidden once the state
    // change is over, as hiding inside it is undone by the platform.
    QTimer::singleShot(0, this, [this] {
      if (isMinimized()) hide();
    });
  }
}

void SMS_Main::WindowDeactivated() {
  // Closing our own box must not count as the window becoming active again: with Auto
  // Connect on and a port that cannot be opened, every closed error box would at once
  // start the next attempt and the next box. Connect_Timer's retries go on.
  ignoreNextActivation_ = front_.OpenBoxes() > 0 || QApplication::activeWindow() == nullptr;
}

void SMS_Main::WindowActivated() {
  // The first showing already counted as the first activation, whenever the platform's
  // first one comes.
  const bool first = !activatedBefore_;
  activatedBefore_ = true;
  if (ignoreNextActivation_ || first) {
    ignoreNextActivation_ = false;
    return;
  }
  QueueActivation();
}

void SMS_Main::QueueActivation() {
  if (activationQueued_) return;
  activationQueued_ = true;
  // After the current event is over: connecting may wait on the line or open a box.
  QMetaObject::invokeMethod(
      this,
      [this] {
        activationQueued_ = false;
        Run([this] { controller_.FormActivate(); });
      },
      Qt::QueuedConnection);
}

void SMS_Main::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_) return;
  shown_ = true;
  QueueActivation();
}

void SMS_Main::closeEvent(QCloseEvent* event) {
  Run([this] { controller_.FormCloseQuery(); });
  tray_->Hide();
  event->accept();
}

}  // namespace kavonet::ui
