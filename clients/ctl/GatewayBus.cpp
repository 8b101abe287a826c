#include "clients/ctl/GatewayBus.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>

#include "clients/AutomationObject.h"

namespace kavonet::ctl {

GatewayBus::GatewayBus(QDBusConnection connection, int timeoutMs)
    : connection_(std::move(connection)), timeoutMs_(timeoutMs) {}

bool GatewayBus::Reachable() const {
  if (!connection_.isConnected()) return false;
  const QDBusReply<bool> owned =
      connection_.interface()->isServiceRegistered(QString::fromLatin1(clients::kServiceName));
  return owned.isValid() && owned.value();
}

CallOutcome GatewayBus::Call(const QString& method, const QVariantList& arguments) const {
  CallOutcome outcome;
  if (!connection_.isConnected()) {
    outcome.notRunning = true;
    outcome.error = "no D-Bus session bus";
    const QString reason = connection_.lastError().message();
    if (!reason.isEmpty()) outcome.error += " (" + reason.toStdString() + ")";
    return outcome;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(
      QString::fromLatin1(clients::kServiceName), QString::fromLatin1(clients::kObjectPath),
      QString::fromLatin1(clients::kInterfaceName), method);
  call.setArguments(arguments);
  call.setAutoStartService(false);
  const QDBusMessage reply = connection_.call(call, QDBus::Block, timeoutMs_);
  if (reply.type() == QDBusMessage::ErrorMessage) {
    outcome.notRunning = reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
                         reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
    outcome.error = outcome.notRunning ? "the gateway is not on the session bus"
                                       : (reply.errorName() + ": " + reply.errorMessage()).toStdString();
    return outcome;
  }
  outcome.ok = true;
  if (!reply.arguments().isEmpty()) outcome.value = reply.arguments().constFirst();
  return outcome;
}

}  // namespace kavonet::ctl
