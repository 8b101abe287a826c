#pragma once
// The gateway's main window. It draws the controller's state (connect and transfer
// buttons, the send and receive queues, the send stage icons, the retrieval registration,
// the status text, the tray icon) and hands every user action to the controller's
// handler for it; it decides nothing about the gateway itself.

#include <QMainWindow>
#include <string>

#include "core/Environment.h"

class QAction;
class QDialog;
class QLabel;
class QLineEdit;
class QMenu;
class QToolButton;

namespace kavonet {
class TSMS_Main;
}

namespace kavonet::ui {

class GatewayTray;
class GuiFront;
class QueueGridModel;
class QueueGridView;
class RetrievalLight;
class TAboutBox;
class TCommunication_Settings;
class TMessage_Settings;

class SMS_Main : public QMainWindow, public ControllerObserver {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 451;
  static constexpr int kClientHeight = 320;

  // Detect: a tray icon where the desktop has a notification area. Off and On override
  // the detection (On: as if the desktop had one).
  enum class TrayUse { Detect, Off, On };

  // Observes `controller` and minimises and restores through `front` from now on.
  SMS_Main(TSMS_Main& controller, GuiFront& front, QWidget* parent = nullptr,
           TrayUse trayUse = TrayUse::Detect);
  ~SMS_Main() override;

  // ---- ControllerObserver ----
  void StatusTextChanged(const std::string& text) override;
  void ControlsChanged() override;

  // ---- Menu commands of the window itself ----
  void Exit1Click();
  void Communications1Click();
  void Messages1Click();
  void About1Click();

  GatewayTray& Tray() const { return *tray_; }
  TCommunication_Settings& CommunicationSettings() const { return *communications_; }
  TMessage_Settings& MessageSettings() const { return *messages_; }
  TAboutBox& AboutBox() const { return *about_; }

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildModePanel(QWidget* client);
  void BuildSendArea(QWidget* client);
  void BuildReceiveArea(QWidget* client);
  void BuildMenus();
  void BuildStatusBar();
  void BuildTray(TrayUse trayUse);
  void Centre();

  // Runs a controller handler, then draws whatever it changed.
  template <class Handler>
  void Run(Handler handler);
  void Refresh();
  // Controller changes come in bursts (thousands a second with fast dispatch): they are
  // drawn once the current event is over, all together.
  void QueueRefresh();
  void WindowActivated();
  void WindowDeactivated();
  // Runs FormActivate once the current event is over; activations that come together
  // run it once.
  void QueueActivation();
  // Shows a dialog modally; its closing counts as the window becoming active again,
  // whether or not a window manager gives the focus back.
  void ShowDialog(QDialog& dialog);
  void MoveSendQueueRow(int from, int to);

  TSMS_Main& controller_;
  GuiFront& front_;

  QToolButton* connect_ = nullptr;
  QToolButton* noTransfer_ = nullptr;
  QToolButton* transferTE_ = nullptr;
  QToolButton* transferAll_ = nullptr;
  QueueGridModel* txModel_ = nullptr;
  QueueGridView* txView_ = nullptr;
  QLabel* stages_[3] = {};
  QLineEdit* appName_ = nullptr;
  RetrievalLight* poll_ = nullptr;
  QLabel* timeLeft_ = nullptr;
  QueueGridModel* rxModel_ = nullptr;
  QueueGridView* rxView_ = nullptr;
  QLabel* statusText_ = nullptr;

  QMenu* modeMenu_ = nullptr;
  QAction* menuNoTransfer_ = nullptr;
  QAction* menuTransferTE_ = nullptr;
  QAction* menuTransferAll_ = nullptr;

  GatewayTray* tray_ = nullptr;
  TCommunication_Settings* communications_ = nullptr;
  TMessage_Settings* messages_ = nullptr;
  TAboutBox* about_ = nullptr;

  // The next activation follows one of our own message boxes, or a return from another
  // application or from the minimised state, and is not the window becoming the
  // application's active form again.
  bool ignoreNextActivation_ = false;
  bool activationQueued_ = false;
  bool refreshQueued_ = false;
  // The first showing is the first activation: without a window manager, or with one
  // that prevents focus stealing, the platform's may never come.
  bool shown_ = false;
  bool activatedBefore_ = false;
};

}  // namespace kavonet::ui
