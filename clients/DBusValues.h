#pragma once
// Values crossing the bus: arguments taken as the gateway's text, results turned into
// D-Bus values. UTF-8 on the bus and inside.

#include <QVariant>
#include <optional>
#include <string>

#include "clients/AutomationMethods.h"

namespace kavonet::clients {

// The text of a basic D-Bus value (string, object path, signature, any integer, double,
// boolean) or of a variant holding one, as UTF-8, cut after one character more than the
// gateway takes of an argument. Containers, nested variants and file descriptors have no
// text: nullopt.
std::optional<std::string> ArgumentText(const QVariant& value);

// The reply value of a result: bool (b), qint32 (i), QString (s), or an invalid QVariant
// for a method without a result.
QVariant ReplyValue(const AutomationResult& result);

}  // namespace kavonet::clients
