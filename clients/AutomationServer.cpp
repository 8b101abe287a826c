#include "clients/AutomationServer.h"

#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>

#include "clients/AutomationObject.h"

namespace kavonet::clients {

namespace {
// How often the connection is looked at besides the bus's own disconnect notice.
constexpr int kConnectionCheckMs = 1000;
}  // namespace

AutomationServer::AutomationServer(TSMS_Main& controller, QObject* parent)
    : QObject(parent), object_(std::make_unique<AutomationObject>(controller)) {
  connect(object_.get(), &AutomationObject::CalledBy, this, &AutomationServer::NoteCaller);
  connect(object_.get(), &AutomationObject::CalledBy, this, &AutomationServer::CallStarted);
  connect(object_.get(), &AutomationObject::Answered, this, &AutomationServer::CallFinished);
  connectionCheck_.setInterval(kConnectionCheckMs);
  connect(&connectionCheck_, &QTimer::timeout, this, &AutomationServer::CheckConnection);
}

AutomationServer::~AutomationServer() {
  if (connection_ && connection_->isConnected()) {
    connection_->unregisterObject(QString::fromLatin1(kObjectPath));
    connection_->unregisterService(QString::fromLatin1(kServiceName));
  }
}

bool AutomationServer::Start(const QDBusConnection& connection, std::string& error) {
  if (!connection.isConnected()) {
    const QString reason = connection.lastError().message();
    error = reason.isEmpty() ? "not connected to a bus" : reason.toStdString();
    return false;
  }
  connection_ = std::make_unique<QDBusConnection>(connection);
  if (!connection_->registerVirtualObject(QString::fromLatin1(kObjectPath), object_.get(),
                                          QDBusConnection::SingleNode)) {
    error = std::string("cannot serve ") + kObjectPath + ": " +
            connection_->lastError().message().toStdString();
    return false;
  }
  QDBusConnectionInterface* bus = connection_->interface();
  const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
      bus->registerService(QString::fromLatin1(kServiceName), QDBusConnectionInterface::DontQueueService,
                           QDBusConnectionInterface::DontAllowReplacement);
  if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
    connection_->unregisterObject(QString::fromLatin1(kObjectPath));
    error = std::string("the name ") + kServiceName + " is taken on the bus" +
            (reply.isValid() ? "" : ": " + reply.error().message().toStdString());
    return false;
  }
  watcher_ = new QDBusServiceWatcher(this);
  watcher_->setConnection(*connection_);
  watcher_->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
  connect(watcher_, &QDBusServiceWatcher::serviceUnregistered, this, &AutomationServer::CallerLeft);
  connection_->connect(QString(), QStringLiteral("/org/freedesktop/DBus/Local"),
                       QStringLiteral("org.freedesktop.DBus.Local"), QStringLiteral("Disconnected"),
                       this, SLOT(CheckConnection()));
  connectionCheck_.start();
  return true;
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

void AutomationServer::CheckConnection() {
  if (lost_ || !connection_ || connection_->isConnected()) return;
  lost_ = true;
  connectionCheck_.stop();
  emit BusLost();
}

}  // namespace kavonet::clients
