#pragma once
// Puts the automation object on a bus under Kavonet.SMS and keeps track of who calls
// it: a gateway started by the bus ends when the last of its callers has left the bus,
// and whatever the mode it must notice when the bus itself goes away.
//
// A connection can also die without saying so: one message of more than about 63 MiB
// leaves a Qt connection that never reads again while isConnected() stays true. So a
// message over a limit far above any call of the interface ends the connection before it
// is read, the server pings its own name now and then, and a connection found dead is
// replaced by a new one that takes the name again.

#include <QDBusConnection>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

class QDBusServiceWatcher;

namespace kavonet {
class TSMS_Main;
}

namespace kavonet::clients {

class AutomationObject;

class AutomationServer : public QObject {
  Q_OBJECT
 public:
  struct Limits {
    // Arguments are cut at 1000 characters: no call of the interface comes near this.
    long maxMessageBytes = 8L * 1024 * 1024;
    std::chrono::milliseconds pingInterval{30000};
    std::chrono::milliseconds pingTimeout{25000};
  };
  // A new connection to the same bus, for when the one in use has died.
  using Reconnect = std::function<QDBusConnection()>;

  explicit AutomationServer(TSMS_Main& controller, QObject* parent = nullptr);
  AutomationServer(TSMS_Main& controller, Limits limits, QObject* parent = nullptr);
  ~AutomationServer() override;
  AutomationServer(const AutomationServer&) = delete;
  AutomationServer& operator=(const AutomationServer&) = delete;

  // Serves the object at /Kavonet/SMS and takes the name Kavonet.SMS. False with `error`
  // when the bus is not connected or the name belongs to someone else. Without
  // `reconnect`, a dead connection is only reported (BusLost).
  bool Start(const QDBusConnection& connection, std::string& error, Reconnect reconnect = {});

  // Unique names of the callers still on the bus.
  int CallerCount() const { return static_cast<int>(callers_.size()); }
  bool HadCallers() const { return hadCallers_; }

 signals:
  // The last caller has left the bus.
  void LastCallerLeft();
  // The connection to the bus is gone and no new one could be made (yet: without a bus
  // it keeps trying).
  void BusLost();
  // A dead connection has been replaced; the object and its name are back on the bus.
  void Reconnected(const QString& reason);
  // A call is being served from CallStarted to CallFinished, so that the front can keep
  // it from waiting on anything at the desktop.
  void CallStarted();
  void CallFinished();

 private:
  bool Serve(const QDBusConnection& connection, std::string& error);
  void Withdraw();
  void NoteCaller(const QString& caller);
  void CallerLeft(const QString& caller);
  void Ping();
  void ConnectionDead(const std::string& reason);
  void TryReconnect();

 private slots:
  void CheckConnection();

 private:
  Limits limits_;
  std::unique_ptr<AutomationObject> object_;
  std::unique_ptr<QDBusConnection> connection_;
  Reconnect reconnect_;
  QDBusServiceWatcher* watcher_ = nullptr;
  QSet<QString> callers_;
  bool hadCallers_ = false;
  bool lost_ = false;
  bool pingPending_ = false;
  // Counts the connections served, so that a late answer about an old one is let go.
  int generation_ = 0;
  // The name of a connection this server opened itself (to close it when it goes).
  QString ownedName_;
  std::string deadReason_;
  QTimer connectionCheck_;
  QTimer pingTimer_;
};

}  // namespace kavonet::clients
