#pragma once
// Puts the automation object on a bus under Kavonet.SMS and keeps track of who calls
// it: a gateway started by the bus ends when the last of its callers has left the bus,
// and whatever the mode it must notice when the bus itself goes away.

#include <QDBusConnection>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
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
  explicit AutomationServer(TSMS_Main& controller, QObject* parent = nullptr);
  ~AutomationServer() override;
  AutomationServer(const AutomationServer&) = delete;
  AutomationServer& operator=(const AutomationServer&) = delete;

  // Serves the object at /Kavonet/SMS and takes the name Kavonet.SMS. False with `error`
  // when the bus is not connected or the name belongs to someone else.
  bool Start(const QDBusConnection& connection, std::string& error);

  // Unique names of the callers still on the bus.
  int CallerCount() const { return static_cast<int>(callers_.size()); }
  bool HadCallers() const { return hadCallers_; }

 signals:
  // The last caller has left the bus.
  void LastCallerLeft();
  // The connection to the bus is gone.
  void BusLost();
  // A call is being served from CallStarted to CallFinished, so that the front can keep
  // it from waiting on anything at the desktop.
  void CallStarted();
  void CallFinished();

 private:
  void NoteCaller(const QString& caller);
  void CallerLeft(const QString& caller);

 private slots:
  void CheckConnection();

 private:

  std::unique_ptr<AutomationObject> object_;
  std::unique_ptr<QDBusConnection> connection_;
  QDBusServiceWatcher* watcher_ = nullptr;
  QSet<QString> callers_;
  bool hadCallers_ = false;
  bool lost_ = false;
  QTimer connectionCheck_;
};

}  // namespace kavonet::clients
