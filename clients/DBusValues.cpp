#include "clients/DBusValues.h"

#include <QDBusObjectPath>
#include <QDBusSignature>
#include <QDBusVariant>
#include <QLocale>

#include "core/TSMS.h"
#include "sms/Utf8.h"

namespace kavonet::clients {
namespace {

// Every argument is cut at TSMS::kMaxArgumentLength characters; one more is kept so that
// a cut can still be seen. Cut before the conversion: a huge string costs nothing more.
constexpr qsizetype kKeptCharacters = static_cast<qsizetype>(TSMS::kMaxArgumentLength) + 1;

QString Prefix(const QString& text) {
  qsizetype end = 0;
  for (qsizetype characters = 0; end < text.size() && characters < kKeptCharacters; ++characters) {
    const bool pair = text.at(end).isHighSurrogate() && end + 1 < text.size() &&
                      text.at(end + 1).isLowSurrogate();
    end += pair ? 2 : 1;
  }
  return text.left(end);
}

std::optional<QString> BasicText(const QVariant& value) {
  switch (value.metaType().id()) {
    case QMetaType::QString:
      return Prefix(value.toString());
    case QMetaType::Bool:
      // The spelling variant conversion has always given a boolean.
      return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
      return QString::number(value.toLongLong());
    case QMetaType::ULongLong:
      return QString::number(value.toULongLong());
    case QMetaType::Double:
      return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    default:
      break;
  }
  if (value.metaType() == QMetaType::fromType<QDBusObjectPath>()) {
    return Prefix(value.value<QDBusObjectPath>().path());
  }
  if (value.metaType() == QMetaType::fromType<QDBusSignature>()) {
    return Prefix(value.value<QDBusSignature>().signature());
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> ArgumentText(const QVariant& value) {
  std::optional<QString> text;
  if (value.metaType() == QMetaType::fromType<QDBusVariant>()) {
    text = BasicText(value.value<QDBusVariant>().variant());
  } else {
    text = BasicText(value);
  }
  if (!text) return std::nullopt;
  return sms::ValidUtf8(text->toStdString());
}

QVariant ReplyValue(const AutomationResult& result) {
  struct Visitor {
    QVariant operator()(std::monostate) const { return {}; }
    QVariant operator()(bool value) const { return QVariant(value); }
    QVariant operator()(std::int32_t value) const { return QVariant(static_cast<qint32>(value)); }
    QVariant operator()(const std::string& text) const {
      return QVariant(QString::fromStdString(sms::ValidUtf8(text)));
    }
  };
  return std::visit(Visitor{}, result);
}

}  // namespace kavonet::clients
