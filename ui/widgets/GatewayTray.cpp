#include "ui/widgets/GatewayTray.h"

#include <QMenu>

#include "sms/Utf8.h"
#include "ui/widgets/Glyphs.h"

namespace kavonet::ui {

GatewayTray::GatewayTray(bool active, QObject* parent)
    : QObject(parent), active_(active), menu_(std::make_unique<QMenu>()) {
  menu_->setObjectName(QStringLiteral("TrayMenu"));
  QAction* title = menu_->addAction(QStringLiteral("Kavonet"));
  QFont bold = title->font();
  bold.setBold(true);
  title->setFont(bold);
  menu_->addSeparator()->setObjectName(QStringLiteral("N3"));
  QAction* restore = menu_->addAction(QStringLiteral("Restore"));
  restore->setObjectName(QStringLiteral("Tray_Restore"));
  QAction* minimize = menu_->addAction(QStringLiteral("Minimize"));
  minimize->setObjectName(QStringLiteral("Tray_Minimize"));
  connect(restore, &QAction::triggered, this, &GatewayTray::RestoreRequested);
  connect(minimize, &QAction::triggered, this, &GatewayTray::MinimizeRequested);

  icon_.setIcon(glyphs::TrayIcon(false));
  icon_.setToolTip(QStringLiteral("Kavonet"));
  icon_.setContextMenu(menu_.get());
  connect(&icon_, &QSystemTrayIcon::activated, this, &GatewayTray::Activated);
  if (active_) icon_.show();
}

GatewayTray::~GatewayTray() {
  icon_.hide();
}

void GatewayTray::Show(const TrayIconState& state) {
  icon_.setToolTip(QString::fromStdString(sms::ValidUtf8(state.Hint)));
  if (state.Enabled != connected_ || icon_.icon().isNull()) {
    connected_ = state.Enabled;
    icon_.setIcon(glyphs::TrayIcon(connected_));
  }
}

void GatewayTray::Hide() {
  icon_.hide();
}

void GatewayTray::Activated(QSystemTrayIcon::ActivationReason reason) {
  if (reason == QSystemTrayIcon::DoubleClick) emit RestoreRequested();
}

}  // namespace kavonet::ui
