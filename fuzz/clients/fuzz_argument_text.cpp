// Any value an automation argument can hold: a basic one gives its text (valid UTF-8, at
// most one character more than the gateway takes, a prefix of the whole value's text), a
// container or a variant of a variant gives none; never a crash.
// Input: octet 0 = kind (bit 4: wrapped in a variant), the rest = the value's bytes.

#include <QDBusObjectPath>
#include <QDBusSignature>
#include <QDBusVariant>
#include <QStringList>
#include <cstdint>
#include <cstring>
#include <string>

#include "clients/DBusValues.h"
#include "core/TSMS.h"
#include "sms/Utf8.h"
#include "fuzz/FuzzCheck.h"

namespace {

using kavonet::fuzzing::Check;

template <typename T>
T Number(const std::uint8_t* bytes, std::size_t size) {
  T value{};
  std::memcpy(&value, bytes, std::min(size, sizeof value));
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const int kind = data[0] & 0x0F;
  const bool wrapped = (data[0] & 0x10) != 0;
  const std::uint8_t* bytes = data + 1;
  const std::size_t length = size - 1;
  const QByteArray raw(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(length));
  // UTF-16 code units as they come, lone surrogates included.
  const QString units(reinterpret_cast<const QChar*>(raw.constData()), raw.size() / 2);

  QVariant value;
  switch (kind) {
    case 0: value = QVariant(units); break;
    case 1: value = QVariant(QString::fromUtf8(raw)); break;
    case 2: value = QVariant::fromValue(QDBusObjectPath(QString::fromUtf8(raw))); break;
    case 3: value = QVariant::fromValue(QDBusSignature(QString::fromUtf8(raw))); break;
    case 4: value = QVariant::fromValue(Number<uchar>(bytes, length)); break;
    case 5: value = QVariant::fromValue(Number<short>(bytes, length)); break;
    case 6: value = QVariant::fromValue(Number<qlonglong>(bytes, length)); break;
    case 7: value = QVariant::fromValue(Number<qulonglong>(bytes, length)); break;
    case 8: value = QVariant(Number<double>(bytes, length)); break;
    case 9: value = QVariant(length > 0 && bytes[0] != 0); break;
    case 10: value = QVariant(QStringList{units}); break;
    case 11: value = QVariant(raw); break;
    default: value = QVariant::fromValue(QDBusVariant(QVariant(units))); break;
  }
  const bool container = kind == 10 || kind == 11 || (kind >= 12 && wrapped);
  if (wrapped) value = QVariant::fromValue(QDBusVariant(value));

  const std::optional<std::string> result = kavonet::clients::ArgumentText(value);
  Check(result.has_value() == !container);
  if (!result) return 0;
  Check(kavonet::sms::ValidUtf8(*result) == *result);
  Check(kavonet::sms::Utf8Prefix(*result, kavonet::TSMS::kMaxArgumentLength + 1).size() == result->size());
  if (kind <= 1) {  // a text that is the whole string
    const QString whole = kind == 0 ? units : QString::fromUtf8(raw);
    const std::string full = kavonet::sms::ValidUtf8(whole.toStdString());
    Check(full.compare(0, result->size(), *result) == 0);
  }
  return 0;
}
