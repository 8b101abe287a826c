#pragma once
// The automation object on the bus: one virtual object that serves every member of the
// interface itself, so names match without regard to case and arguments of any basic
// type are taken as text. It holds nothing: each call goes to TSMS and so to the one
// controller.

#include <QDBusVirtualObject>
#include <span>

#include "clients/AutomationMethods.h"
#include "core/TSMS.h"

namespace kavonet::clients {

inline constexpr const char* kServiceName = "Kavonet.SMS";
inline constexpr const char* kObjectPath = "/Kavonet/SMS";
inline constexpr const char* kInterfaceName = "Kavonet.SMS";

// The interface's introspection document (Kavonet.SMS.xml), whole.
const char* IntrospectionDocument();

class AutomationObject : public QDBusVirtualObject {
  Q_OBJECT
 public:
  explicit AutomationObject(TSMS_Main& controller, QObject* parent = nullptr);
  // Serves `methods` instead of the sixteen (they must outlive the object).
  AutomationObject(TSMS_Main& controller, std::span<const AutomationMethod> methods,
                   QObject* parent = nullptr);

  QString introspect(const QString& path) const override;
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

 signals:
  // A call arrived from `caller` (a unique bus name), before it is handled.
  void CalledBy(const QString& caller);
  // That call has been answered.
  void Answered();

 private:
  QDBusMessage Answer(const QDBusMessage& message);

  TSMS object_;
  std::span<const AutomationMethod> methods_;
};

}  // namespace kavonet::clients
