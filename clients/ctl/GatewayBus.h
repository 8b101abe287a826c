#pragma once
// kavonet-ctl's side of the automation object: blocking calls to Kavonet.SMS that never
// start a gateway (a gateway started by the bus would end with this short-lived caller
// and take its queue with it).

#include <QDBusConnection>
#include <QVariant>
#include <QVariantList>
#include <optional>
#include <string>

namespace kavonet::ctl {

struct CallOutcome {
  bool ok = false;
  bool notRunning = false;  // nobody owns Kavonet.SMS, or there is no bus
  QVariant value;           // the first reply value, when there is one
  std::string error;
};

class GatewayBus {
 public:
  GatewayBus(QDBusConnection connection, int timeoutMs);

  // Whether a session bus is connected and the gateway owns its name there.
  bool Reachable() const;
  CallOutcome Call(const QString& method, const QVariantList& arguments) const;

 private:
  QDBusConnection connection_;
  int timeoutMs_;
};

}  // namespace kavonet::ctl
