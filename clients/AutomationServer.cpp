#include "clients/AutomationServer.h"

#include <dbus/dbus.h>

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <utility>

#include "clients/AutomationObject.h"

namespace kavonet::clients {

namespace {
// How often the connection is looked at besides the bus's own disconnect notice, and a
// dead one replaced.
constexpr int kConnectionCheckMs = 1000;

const QString kLocalPath = QStringLiteral("/org/freedesktop/DBus/Local");
const QString kLocalInterface = QStringLiteral("org.freedesktop.DBus.Local");

// libdbus closes a connection whose next message announces more than `bytes`, before
// reading it: nothing of it is converted, and the connection is replaced.
void LimitIncomingMessages(const QDBusConnection& connection, long bytes) {
  auto* raw = static_cast<DBusConnection*>(connection.internalPointer());
  if (raw != nullptr) dbus_connection_set_max_message_size(raw, bytes);
}

}  // namespace

AutomationServer::AutomationServer(TSMS_Main& controller, QObject* parent)
    : AutomationServer(controller, Limits{}, parent) {}

AutomationServer::AutomationServer(TSMS_Main& controller, Limits limits, QObject* parent)
    : QObject(parent), limits_(limits), object_(std::make_unique<AutomationObject>(controller)) {
  connect(object_.get(), &AutomationObject::CalledBy, this, &AutomationServer::NoteCaller);
  connect(object_.get(), &AutomationObject::CalledBy, this, &AutomationServer::CallStarted);
  connect(object_.get(), &AutomationObject::Answered, this, &AutomationServer::CallFinished);
  connectionCheck_.setInterval(kConnectionCheckMs);
  connect(&connectionCheck_, &QTimer::timeout, this, &AutomationServer::CheckConnection);
  pingTimer_.setInterval(limits_.pingInterval);
  connect(&pingTimer_, &QTimer::timeout, this, &AutomationServer::Ping);
}

AutomationServer::~AutomationServer() {
  if (connection_ && connection_->isConnected()) {
    connection_->unregisterObject(QString::fromLatin1(kObjectPath));
    connection_->unregisterService(QString::fromLatin1(kServiceName));
  }
  const QString owned = ownedName_;
  connection_.reset();
  if (!owned.isEmpty()) QDBusConnection::disconnectFromBus(owned);
}

bool AutomationServer::Start(const QDBusConnection& connection, std::string& error,
                             Reconnect reconnect) {
  reconnect_ = std::move(reconnect);
  if (!Serve(connection, error)) return false;
  connectionCheck_.start();
  pingTimer_.start();
  return true;
}

bool AutomationServer::Serve(const QDBusConnection& connection, std::string& error) {
  if (!connection.isConnected()) {
    const QString reason = connection.lastError().message();
    error = reason.isEmpty() ? "not connected to a bus" : reason.toStdString();
    return false;
  }
  LimitIncomingMessages(connection, limits_.maxMessageBytes);
  auto candidate = std::make_unique<QDBusConnection>(connection);
  if (!candidate->registerVirtualObject(QString::fromLatin1(kObjectPath), object_.get(),
                                        QDBusConnection::SingleNode)) {
    error = std::string("cannot serve ") + kObjectPath + ": " +
            candidate->lastError().message().toStdString();
    return false;
  }
  QDBusConnectionInterface* bus = candidate->interface();
  const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
      bus->registerService(QString::fromLatin1(kServiceName), QDBusConnectionInterface::DontQueueService,
                           QDBusConnectionInterface::DontAllowReplacement);
  if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
    candidate->unregisterObject(QString::fromLatin1(kObjectPath));
    error = std::string("the name ") + kServiceName + " is taken on the bus" +
            (reply.isValid() ? "" : ": " + reply.error().message().toStdString());
    return false;
  }
  connection_ = std::move(candidate);
  ++generation_;
  watcher_ = new QDBusServiceWatcher(this);
  watcher_->setConnection(*connection_);
  watcher_->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
  connect(watcher_, &QDBusServiceWatcher::serviceUnregistered, this, &AutomationServer::CallerLeft);
  connection_->connect(QString(), kLocalPath, kLocalInterface, QStringLiteral("Disconnected"), this,
                       SLOT(CheckConnection()));
  // Callers known from a connection that died: watched again, and those gone meanwhile let go.
  const QSet<QString> known = callers_;
  for (const QString& caller : known) {
    watcher_->addWatchedService(caller);
    const QDBusReply<bool> present = bus->isServiceRegistered(caller);
    if (present.isValid() && !present.value()) CallerLeft(caller);
  }
  return true;
}

// Takes the object and its name off a dead connection without waiting for it.
void AutomationServer::Withdraw() {
  if (!connection_) return;
  connection_->disconnect(QString(), kLocalPath, kLocalInterface, QStringLiteral("Disconnected"), this,
                          SLOT(CheckConnection()));
  connection_->unregisterObject(QString::fromLatin1(kObjectPath));
  if (connection_->isConnected()) {
    // A connection that no longer reads would never see the answer.
    QDBusMessage release = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ReleaseName"));
    release.setArguments({QString::fromLatin1(kServiceName)});
    connection_->send(release);
  }
  delete watcher_;
  watcher_ = nullptr;
  connection_.reset();
  if (!ownedName_.isEmpty()) QDBusConnection::disconnectFromBus(std::exchange(ownedName_, QString()));
  pingPending_ = false;
}

void AutomationServer::NoteCaller(const QString& caller) {
  if (caller.isEmpty() || callers_.contains(caller)) return;
  // The watch is in place before the reply goes out, so a caller cannot leave unseen.
  callers_.insert(caller);
  hadCallers_ = true;
  if (watcher_ != nullptr) watcher_->addWatchedService(caller);
}

void AutomationServer::CallerLeft(const QString& caller) {
  if (!callers_.remove(caller)) return;
  if (watcher_ != nullptr) watcher_->removeWatchedService(caller);
  if (callers_.isEmpty()) emit LastCallerLeft();
}

// A ping of its own name goes out over the bus and comes back in: it is answered only
// while the connection still reads.
void AutomationServer::Ping() {
  if (!connection_ || pingPending_) return;
  const QDBusMessage ping = QDBusMessage::createMethodCall(
      connection_->baseService(), QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.Peer"),
      QStringLiteral("Ping"));
  pingPending_ = true;
  auto* watcher = new QDBusPendingCallWatcher(
      connection_->asyncCall(ping, static_cast<int>(limits_.pingTimeout.count())), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, watcher, generation = generation_] {
            watcher->deleteLater();
            if (generation != generation_) return;  // about a connection already replaced
            pingPending_ = false;
            if (watcher->isError()) {
              ConnectionDead("no answer to a ping of its own name (" +
                             watcher->error().message().toStdString() + ")");
            }
          });
}

void AutomationServer::CheckConnection() {
  if (!connection_) {
    if (reconnect_) TryReconnect();
    return;
  }
  if (!connection_->isConnected()) ConnectionDead("the connection to the bus was closed");
}

void AutomationServer::ConnectionDead(const std::string& reason) {
  if (!reconnect_) {
    if (lost_) return;
    lost_ = true;
    connectionCheck_.stop();
    pingTimer_.stop();
    emit BusLost();
    return;
  }
  deadReason_ = reason;
  Withdraw();
  TryReconnect();
}

void AutomationServer::TryReconnect() {
  const QDBusConnection fresh = reconnect_();
  std::string error;
  if (Serve(fresh, error)) {
    ownedName_ = fresh.name();
    lost_ = false;
    emit Reconnected(QString::fromStdString(deadReason_));
    return;
  }
  QDBusConnection::disconnectFromBus(fresh.name());
  // The name may still be held by the dead connection for a moment: only a bus that
  // cannot be reached at all counts as lost. The next check tries again.
  if (!fresh.isConnected() && !lost_) {
    lost_ = true;
    emit BusLost();
  }
}

}  // namespace kavonet::clients
