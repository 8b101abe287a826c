#include "clients/DBusValues.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDBusObjectPath>
#include <QDBusSignature>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QStringList>
#include <QVariantMap>
#include <limits>

namespace kavonet::clients {
namespace {

struct TextCase {
  const char* name;
  QVariant value;
  std::string text;  // the gateway's 8-bit text
};

class BasicArgument : public ::testing::TestWithParam<TextCase> {};

TEST_P(BasicArgument, BecomesText) {
  const std::optional<std::string> text = ArgumentText(GetParam().value);
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, BasicArgument,
    ::testing::Values(
        TextCase{"String", QVariant(QStringLiteral("+44 123, 456;789")), "+44 123, 456;789"},
        TextCase{"Utf8ToCodePage437", QVariant(QString::fromUtf8("£5 é ß")), "\x9c" "5 \x82 \xe1"},
        TextCase{"NoCodePage437Form", QVariant(QString::fromUtf8("€")), "?"},
        TextCase{"Byte", QVariant::fromValue<uchar>(255), "255"},
        TextCase{"Int16", QVariant::fromValue<short>(-12), "-12"},
        TextCase{"UInt16", QVariant::fromValue<ushort>(65535), "65535"},
        TextCase{"Int32", QVariant::fromValue<int>(44123), "44123"},
        TextCase{"UInt32", QVariant::fromValue<uint>(4294967295u), "4294967295"},
        TextCase{"Int64", QVariant::fromValue<qlonglong>(std::numeric_limits<qlonglong>::min()),
                 "-9223372036854775808"},
        TextCase{"UInt64", QVariant::fromValue<qulonglong>(std::numeric_limits<qulonglong>::max()),
                 "18446744073709551615"},
        TextCase{"Double", QVariant(2.5), "2.5"},
        TextCase{"DoubleShortest", QVariant(0.1), "0.1"},
        TextCase{"True", QVariant(true), "True"},
        TextCase{"False", QVariant(false), "False"},
        TextCase{"ObjectPath", QVariant::fromValue(QDBusObjectPath(QStringLiteral("/a/b"))), "/a/b"},
        TextCase{"Signature", QVariant::fromValue(QDBusSignature(QStringLiteral("as"))), "as"},
        TextCase{"VariantOfInt", QVariant::fromValue(QDBusVariant(QVariant(7))), "7"},
        TextCase{"VariantOfString", QVariant::fromValue(QDBusVariant(QVariant(QStringLiteral("x")))), "x"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ArgumentText, ContainersAndNestedVariantsHaveNone) {
  const QVariant nested = QVariant::fromValue(QDBusVariant(QVariant(1)));
  const QVariant values[] = {
      QVariant(QStringList{QStringLiteral("a")}),
      QVariant(QByteArray("ab")),
      QVariant(QVariantMap{{QStringLiteral("k"), 1}}),
      QVariant::fromValue(QDBusVariant(QVariant(QStringList{}))),
      QVariant::fromValue(QDBusVariant(nested)),
      QVariant::fromValue(QDBusUnixFileDescriptor()),
      QVariant(),
  };
  for (const QVariant& value : values) {
    EXPECT_FALSE(ArgumentText(value)) << value.metaType().name();
  }
}

TEST(ReplyValue, HasTheResultsDBusType) {
  EXPECT_FALSE(ReplyValue(std::monostate{}).isValid());
  EXPECT_EQ(ReplyValue(true).metaType(), QMetaType::fromType<bool>());
  EXPECT_EQ(ReplyValue(std::int32_t{2}).metaType(), QMetaType::fromType<int>());
  const QVariant text = ReplyValue(std::string("New  +4479 \x9c"));
  EXPECT_EQ(text.metaType(), QMetaType::fromType<QString>());
  EXPECT_EQ(text.toString(), QString::fromUtf8("New  +4479 £"));
}

}  // namespace
}  // namespace kavonet::clients
