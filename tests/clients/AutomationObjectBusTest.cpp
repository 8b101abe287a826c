// The automation object on a private bus, called with typed messages from a second
// connection: argument conversion, the call errors, case-insensitive names, and the
// server's tracking of its callers.

#include <dbus/dbus.h>
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <stdexcept>

#include "ProcessHarness.h"
#include "QtApplication.h"
#include "clients/AutomationObject.h"
#include "clients/AutomationServer.h"
#include "tests/core/ControllerHarness.h"

namespace kavonet::clients {
namespace {

using namespace std::chrono_literals;
using kavonet::testing::SpinUntil;

// Stand-ins for the sixteen: what arrived, and a method that fails.
AutomationResult Echo(TSMS&, const std::vector<std::string>& arguments) { return arguments[0]; }
AutomationResult Join(TSMS&, const std::vector<std::string>& arguments) {
  return arguments[0] + "|" + arguments[1];
}
AutomationResult Boom(TSMS&, const std::vector<std::string>&) { throw std::runtime_error("boom"); }
AutomationResult Nothing(TSMS&, const std::vector<std::string>&) { return std::monostate{}; }

constexpr AutomationMethod kTestMethods[] = {
    {"Echo", 1, &Echo}, {"Join", 2, &Join}, {"Boom", 1, &Boom}, {"Nothing", 1, &Nothing}};

class OnABus : public ::testing::Test {
 protected:
  OnABus() : bus(sandbox) {
    kavonet::testing::EnsureQtApplication();
    if (!bus.Started()) return;
    server = std::make_unique<QDBusConnection>(
        QDBusConnection::connectToBus(QString::fromStdString(bus.Address()), QStringLiteral("server")));
    client = std::make_unique<QDBusConnection>(
        QDBusConnection::connectToBus(QString::fromStdString(bus.Address()), QStringLiteral("client")));
  }
  ~OnABus() override {
    server.reset();
    client.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("server"));
    QDBusConnection::disconnectFromBus(QStringLiteral("client"));
  }
  void SetUp() override {
    ASSERT_TRUE(bus.Started());
    ASSERT_TRUE(server->isConnected());
    ASSERT_TRUE(client->isConnected());
  }

  // Calls `member` on the object from the client connection (or `from`), running the loop
  // meanwhile; by the gateway's name when `byName`.
  QDBusMessage Call(const QString& member, const QVariantList& arguments,
                    const QString& interface = QString::fromLatin1(kInterfaceName), bool byName = false,
                    QDBusConnection* from = nullptr) {
    QDBusMessage call = QDBusMessage::createMethodCall(byName ? QString::fromLatin1(kServiceName) : server->baseService(),
                                                       QString::fromLatin1(kObjectPath), interface, member);
    call.setArguments(arguments);
    QDBusPendingCall pending = (from ? from : client.get())->asyncCall(call, 10000);
    EXPECT_TRUE(SpinUntil([&] { return pending.isFinished(); }, 15s)) << member.toStdString();
    return pending.reply();
  }

  kavonet::testing::Sandbox sandbox;
  kavonet::testing::PrivateBus bus;
  std::unique_ptr<QDBusConnection> server;
  std::unique_ptr<QDBusConnection> client;
  kavonet::testing::ControllerHarness h;
};

class TestObject : public OnABus {
 protected:
  void SetUp() override {
    OnABus::SetUp();
    ASSERT_TRUE(server->registerVirtualObject(QString::fromLatin1(kObjectPath), &object,
                                              QDBusConnection::SingleNode));
  }
  AutomationObject object{*h.main, kTestMethods};
};

TEST_F(TestObject, AnyBasicValueArrivesAsTextAndContainersAreATypeMismatch) {
  const std::pair<QVariant, QString> basics[] = {
      {QString::fromUtf8("£ é € 😀"), QString::fromUtf8("£ é € 😀")},
      {QVariant::fromValue<qulonglong>(18446744073709551615ull), QStringLiteral("18446744073709551615")},
      {QVariant::fromValue<qlonglong>(-9223372036854775807ll - 1), QStringLiteral("-9223372036854775808")},
      {QVariant(0.1), QStringLiteral("0.1")},
      {QVariant(true), QStringLiteral("True")},
      {QVariant::fromValue(QDBusObjectPath(QStringLiteral("/x"))), QStringLiteral("/x")},
      {QVariant::fromValue(QDBusVariant(44)), QStringLiteral("44")}};
  for (const auto& [argument, text] : basics) {
    const QDBusMessage reply = Call(QStringLiteral("Echo"), {argument});
    EXPECT_EQ(reply.signature(), QStringLiteral("s")) << reply.errorMessage().toStdString();
    EXPECT_EQ(reply.arguments().value(0).toString(), text);
  }
  const QVariant containers[] = {
      QVariant(QByteArray("ab")),
      QVariant::fromValue(QDBusVariant(QVariant(QStringList{QStringLiteral("a")}))),
      QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusVariant(1)))),
  };
  for (const QVariant& argument : containers) {
    const QDBusMessage reply = Call(QStringLiteral("Echo"), {argument});
    EXPECT_EQ(reply.errorName(), QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"))
        << argument.metaType().name();
    EXPECT_EQ(reply.errorMessage(), QStringLiteral("type mismatch"));
  }
  // One good and one bad argument: still a mismatch, and nothing ran.
  const QDBusMessage reply = Call(QStringLiteral("Join"), {QStringLiteral("a"), QVariant(QByteArray("b"))});
  EXPECT_EQ(reply.errorMessage(), QStringLiteral("type mismatch"));
}

TEST_F(TestObject, CallErrorsAndNamesInAnyCaseWithOrWithoutTheInterface) {
  const QString invalid = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"), count = QStringLiteral("bad parameter count");
  const std::tuple<const char*, QVariantList, QString, QString> cases[] = {
      {"Echo", {}, invalid, count}, {"Echo", {1, 2}, invalid, count}, {"Join", {1}, invalid, count},
      {"Missing", {1}, QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"), QString()},
      {"Boom", {1}, QStringLiteral("org.freedesktop.DBus.Error.Failed"), QStringLiteral("boom")}};
  for (const auto& [member, arguments, name, message] : cases) {
    const QDBusMessage reply = Call(QString::fromLatin1(member), arguments);
    EXPECT_EQ(reply.errorName(), name) << member;
    if (!message.isEmpty()) {
      EXPECT_EQ(reply.errorMessage(), message) << member;
    }
  }
  // After a method failed the object still answers.
  EXPECT_EQ(Call(QStringLiteral("JOIN"), {1, 2}).arguments().value(0).toString(), QStringLiteral("1|2"));
  EXPECT_EQ(Call(QStringLiteral("echo"), {QStringLiteral("x")}, QString()).arguments().value(0).toString(),
            QStringLiteral("x"));
  const QDBusMessage empty = Call(QStringLiteral("Nothing"), {1});
  EXPECT_EQ(empty.type(), QDBusMessage::ReplyMessage);
  EXPECT_EQ(empty.signature(), QString()) << "a method without a result replies empty";
  EXPECT_EQ(Call(QStringLiteral("Echo"), {1}, QStringLiteral("Other.Interface")).type(), QDBusMessage::ErrorMessage);
}

TEST_F(TestObject, ARetrievalWhoseCallerExpectsNoReplyTakesNothing) {
  AutomationObject real(*h.main);
  ASSERT_TRUE(server->registerVirtualObject(QStringLiteral("/real"), &real, QDBusConnection::SingleNode));
  h.main->Rx_Ole_Appname = "app";
  h.main->rx_grid.AddRow();
  QDBusMessage call = QDBusMessage::createMethodCall(server->baseService(), QStringLiteral("/real"),
                                                     QString(), QStringLiteral("Retrieve_Message"));
  ASSERT_TRUE(client->send(call << QStringLiteral("app")));  // flagged NO_REPLY_EXPECTED
  Call(QStringLiteral("Echo"), {1});  // served in order: that call is done
  EXPECT_EQ(h.main->rx_grid.RowCount(), 3);
}

class Server : public OnABus {
 protected:
  // A server whose connection `kill` leaves dead: true once a new one answers by the name.
  bool ComesBack(AutomationServer::Limits limits, const std::function<void()>& kill) {
    AutomationServer gateway(*h.main, limits);
    std::string error;
    const QString address = QString::fromStdString(bus.Address());
    if (!gateway.Start(*server, error, [&] { return QDBusConnection::connectToBus(address, "again"); })) return false;
    kill();
    const bool back = SpinUntil([&] { return Call("Is_Connected", {1}, {}, true).type() == QDBusMessage::ReplyMessage; }, 20s);
    QDBusConnection::disconnectFromBus(QStringLiteral("again"));
    return back;
  }
};

TEST_F(Server, TakesTheNameAndNoticesWhenItsLastCallerLeavesTheBus) {
  AutomationServer gateway(*h.main);
  std::string error;
  ASSERT_TRUE(gateway.Start(*server, error)) << error;
  AutomationServer second(*h.main);
  EXPECT_FALSE(second.Start(*client, error)) << "the name is taken";
  EXPECT_NE(error.find("taken"), std::string::npos) << error;
  int left = 0;
  QObject::connect(&gateway, &AutomationServer::LastCallerLeft, [&] { ++left; });
  const QDBusMessage reply = Call("is_connected", {QString()}, QString::fromLatin1(kInterfaceName), true);
  EXPECT_EQ(reply.signature(), QStringLiteral("b"));
  EXPECT_FALSE(reply.arguments().value(0).toBool());
  EXPECT_EQ(gateway.CallerCount(), 1);
  // One of two callers leaving is not the last one leaving.
  {
    QDBusConnection other = QDBusConnection::connectToBus(QString::fromStdString(bus.Address()), "other");
    EXPECT_EQ(Call("Is_Connected", {1}, {}, true, &other).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(gateway.CallerCount(), 2);
  }
  QDBusConnection::disconnectFromBus(QStringLiteral("other"));
  EXPECT_TRUE(SpinUntil([&] { return gateway.CallerCount() == 1; }, 15s));
  EXPECT_EQ(left, 0);
  client.reset();
  QDBusConnection::disconnectFromBus(QStringLiteral("client"));
  EXPECT_TRUE(SpinUntil([&] { return left == 1; }, 15s));
  EXPECT_EQ(gateway.CallerCount(), 0);
}

TEST_F(Server, AMessageTooLargeToReadIsRefusedAndTheObjectComesBack) {
  // Past libdbus's 63 MiB a Qt connection would never read again.
  EXPECT_TRUE(ComesBack({}, [&] { Call("Is_Connected", {QString(68000000, QLatin1Char('1'))}, {}, true); }));
}

TEST_F(Server, AConnectionThatStopsReadingIsNoticedAndReplaced) {
  // The stall itself: with a tiny receive limit libdbus stops reading after a message, and
  // Qt cannot start it again from the thread that frees the message.
  EXPECT_TRUE(ComesBack({.pingInterval = 300ms, .pingTimeout = 1000ms}, [&] {
    dbus_connection_set_max_received_size(static_cast<DBusConnection*>(server->internalPointer()), 1);
    Call("Is_Connected", {1}, {}, true);
  }));
}

TEST_F(Server, NoticesWhenTheBusGoes) {
  auto bus2 = std::make_unique<kavonet::testing::PrivateBus>(sandbox);
  ASSERT_TRUE(bus2->Started());
  const QString name = QStringLiteral("doomed");
  {
    QDBusConnection doomed = QDBusConnection::connectToBus(QString::fromStdString(bus2->Address()), name);
    AutomationServer gateway(*h.main);
    std::string error;
    ASSERT_TRUE(gateway.Start(doomed, error)) << error;
    bool lost = false;
    QObject::connect(&gateway, &AutomationServer::BusLost, [&] { lost = true; });
    bus2.reset();  // kills the daemon
    EXPECT_TRUE(SpinUntil([&] { return lost; }, 15s));
  }
  QDBusConnection::disconnectFromBus(name);
}

}  // namespace
}  // namespace kavonet::clients
