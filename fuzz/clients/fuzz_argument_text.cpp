// Any value an automation argument can hold: a basic one gives its text (valid UTF-8, at
// most one character more than the gateway takes, a prefix of the whole value's text), a
// container or a variant of a variant gives none; never a crash.
// Input: octet 0 = kind (bit 4: wrapped in a variant), the rest = the value's bytes.

#include <QByteArray>
#include <QDBusObjectPath>
#include <QDBusSignature>
#include <QDBusVariant>
#include <QString>
#include <QStringList>
#include <QVariant>
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

std::size_t Characters(const std::string& text) {
  std::size_t count = 0;
  for (const char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
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
  bool text = true;  // the value has a text that is the whole string
  switch (kind) {
    case 0: value = QVariant(units); break;
    case 1: value = QVariant(QString::fromUtf8(raw)); break;
    case 2: value = QVariant::fromValue(QDBusObjectPath(QString::fromUtf8(raw))); break;
    case 3: value = QVariant::fromValue(QDBusSignature(QString::fromUtf8(raw))); break;
    case 4: value = QVariant::fromValue(Number<uchar>(bytes, length)); text = false; break;
    case 5: value = QVariant::fromValue(Number<short>(bytes, length)); text = false; break;
    case 6: value = QVariant::fromValue(Number<qlonglong>(bytes, length)); text = false; break;
    case 7: value = QVariant::fromValue(Number<qulonglong>(bytes, length)); text = false; break;
    case 8: value = QVariant(Number<double>(bytes, length)); text = false; break;
    case 9: value = QVariant(length > 0 && bytes[0] != 0); text = false; break;
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
  Check(Characters(*result) <= kavonet::TSMS::kMaxArgumentLength + 1);
  if (text && kind <= 1) {
    const QString whole = value.metaType() == QMetaType::fromType<QDBusVariant>()
                              ? value.value<QDBusVariant>().variant().toString()
                              : value.toString();
    const std::string full = kavonet::sms::ValidUtf8(whole.toStdString());
    Check(full.compare(0, result->size(), *result) == 0);
  }
  return 0;
}
