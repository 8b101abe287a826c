#include "clients/AutomationObject.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <exception>
#include <string>
#include <vector>

#include "clients/DBusValues.h"

namespace kavonet::clients {
namespace {

// The <interface> element of the document: what introspect() adds to the node.
QString InterfaceElement() {
  const QString document = QString::fromUtf8(IntrospectionDocument());
  const qsizetype start = document.indexOf(QStringLiteral("<interface"));
  const QString end = QStringLiteral("</interface>");
  const qsizetype last = document.lastIndexOf(end);
  if (start < 0 || last < start) return {};
  return document.mid(start, last + end.size() - start) + QLatin1Char('\n');
}

}  // namespace

AutomationObject::AutomationObject(TSMS_Main& controller, QObject* parent)
    : AutomationObject(controller, AutomationMethods(), parent) {}

AutomationObject::AutomationObject(TSMS_Main& controller, std::span<const AutomationMethod> methods,
                                   QObject* parent)
    : QDBusVirtualObject(parent), object_(controller), methods_(methods) {}

QString AutomationObject::introspect(const QString& /*path*/) const {
  static const QString element = InterfaceElement();
  return element;
}

bool AutomationObject::handleMessage(const QDBusMessage& message,
                                     const QDBusConnection& connection) {
  const QString interface = message.interface();
  // Qt answers the standard interfaces (Introspect from introspect() above, Peer).
  if (!interface.isEmpty() && interface != QLatin1String(kInterfaceName)) return false;
  if (message.type() != QDBusMessage::MethodCallMessage) return false;

  const AutomationMethod* method = FindAutomationMethod(methods_, message.member().toStdString());
  // Nothing would carry the result to the caller: it would be lost, so nothing is taken.
  if (method != nullptr && method->resultIsTaken && !message.isReplyRequired()) return true;

  emit CalledBy(message.service());
  QDBusMessage reply = Answer(message);
  emit Answered();
  if (message.isReplyRequired()) connection.send(reply);
  return true;
}

QDBusMessage AutomationObject::Answer(const QDBusMessage& message) {
  const std::string member = message.member().toStdString();
  const AutomationMethod* method = FindAutomationMethod(methods_, member);
  if (method == nullptr) {
    return message.createErrorReply(
        QDBusError::UnknownMethod,
        QStringLiteral("No method \"%1\" in interface %2").arg(message.member(), kInterfaceName));
  }
  const QList<QVariant> values = message.arguments();
  if (values.size() != method->argumentCount) {
    return message.createErrorReply(QDBusError::InvalidArgs, QStringLiteral("bad parameter count"));
  }
  std::vector<std::string> arguments;
  arguments.reserve(values.size());
  for (const QVariant& value : values) {
    std::optional<std::string> text = ArgumentText(value);
    if (!text) {
      return message.createErrorReply(QDBusError::InvalidArgs, QStringLiteral("type mismatch"));
    }
    arguments.push_back(std::move(*text));
  }
  try {
    const QVariant value = ReplyValue(method->invoke(object_, arguments));
    return value.isValid() ? message.createReply(value) : message.createReply();
  } catch (const std::exception& error) {
    return message.createErrorReply(QDBusError::Failed, QString::fromLocal8Bit(error.what()));
  } catch (...) {
    return message.createErrorReply(QDBusError::Failed, QStringLiteral("unexpected error"));
  }
}

}  // namespace kavonet::clients
