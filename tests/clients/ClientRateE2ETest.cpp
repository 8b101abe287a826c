// Sustained request rates of one client, against a gateway in a session with its
// simulated terminal. The floors only catch a gateway gone pathologically slow; the
// rates are printed for the record.

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <iostream>

#include "GatewayFixture.h"
#include "QtApplication.h"
#include "clients/CommandChannel.h"

namespace kavonet::testing {
namespace {

constexpr int kRequests = 10000;

double PerSecond(int count, std::chrono::steady_clock::duration elapsed) {
  return count / std::chrono::duration<double>(elapsed).count();
}

class Rate : public GatewayTest {};

TEST_F(Rate, SendMessageCalls) {
  StartGateway();
  EnsureQtApplication();
  const QString name = QStringLiteral("rate");
  {
    QDBusConnection client = QDBusConnection::connectToBus(QString::fromStdString(bus->Address()), name);
    ASSERT_TRUE(client.isConnected());
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("Kavonet.SMS"), QStringLiteral("/Kavonet/SMS"),
                                                       QStringLiteral("Kavonet.SMS"), QStringLiteral("Send_Message"));
    call.setArguments({QString(), QStringLiteral("+4479123456"), QStringLiteral("rate test")});
    int queued = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRequests; ++i) {
      const QDBusMessage reply = client.call(call);
      queued += reply.arguments().value(0).toInt();
    }
    const double rate = PerSecond(kRequests, std::chrono::steady_clock::now() - start);
    std::cout << "Send_Message: " << kRequests << " calls, " << static_cast<int>(rate) << " calls/s\n";
    EXPECT_EQ(queued, kRequests);
    EXPECT_GT(rate, 50.0);
  }
  QDBusConnection::disconnectFromBus(name);
}

TEST_F(Rate, CommandChannelRequests) {
  StartGateway({.bus = false});
  int acknowledged = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kRequests; ++i) {
    std::string answer;
    std::string error;
    if (clients::SendChannelCommand(sandbox.CommandSocket(), "+4479123456;rate test", 5000ms, answer, error) &&
        answer == "OK 1") {
      ++acknowledged;
    }
  }
  const double rate = PerSecond(kRequests, std::chrono::steady_clock::now() - start);
  std::cout << "command channel: " << kRequests << " requests, " << static_cast<int>(rate) << " requests/s\n";
  EXPECT_EQ(acknowledged, kRequests);
  EXPECT_GT(rate, 50.0);
}

}  // namespace
}  // namespace kavonet::testing
