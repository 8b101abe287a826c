#pragma once
// The notification-area icon and its menu. It is active only where the desktop has a
// notification area; an inactive tray shows nothing, and the window then minimises to
// an ordinary taskbar entry.

#include <QObject>
#include <QSystemTrayIcon>
#include <memory>

#include "core/Controls.h"

class QAction;
class QMenu;

namespace kavonet::ui {

class GatewayTray : public QObject {
  Q_OBJECT

 public:
  GatewayTray(bool active, QObject* parent);
  ~GatewayTray() override;

  bool Active() const { return active_; }
  // Hint and look follow the controller's tray state: the coloured icon while
  // connected, the greyed one while not.
  void Show(const TrayIconState& state);
  // Takes the icon out of the notification area (at exit).
  void Hide();

  QMenu* Menu() const { return menu_.get(); }
  QString ToolTip() const { return icon_.toolTip(); }
  bool ShowsConnected() const { return connected_; }

 signals:
  void RestoreRequested();
  void MinimizeRequested();

 private:
  void Activated(QSystemTrayIcon::ActivationReason reason);

  bool active_;
  bool connected_ = false;
  QSystemTrayIcon icon_;
  std::unique_ptr<QMenu> menu_;
};

}  // namespace kavonet::ui
