// Sustained request rates of one client against a gateway in a session with its simulated
// terminal: Send_Message calls on the bus and commands on the command channel.
//   clients_request_rate [requests]

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "ProcessHarness.h"
#include "clients/CommandChannel.h"

using namespace kavonet::testing;

namespace {

double PerSecond(int count, std::chrono::steady_clock::time_point start) {
  return count / std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const int requests = argc > 1 ? std::atoi(argv[1]) : 10000;
  Sandbox sandbox;
  PrivateBus bus(sandbox);
  ChildProcess gateway({KavonetProgram(), "--headless", "--simulate"}, sandbox.Environment(), sandbox.Work());
  if (!bus.Started() || !gateway.WaitForOutput("Entered ETSI SMS")) {
    std::fprintf(stderr, "the gateway did not start:\n%s\n", gateway.Output().c_str());
    return 1;
  }
  int queued = 0;
  {
    QDBusConnection client = QDBusConnection::connectToBus(QString::fromStdString(bus.Address()), "rate");
    QDBusMessage call = QDBusMessage::createMethodCall("Kavonet.SMS", "/Kavonet/SMS", "Kavonet.SMS", "Send_Message");
    call.setArguments({QString(), QStringLiteral("+4479123456"), QStringLiteral("rate test")});
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < requests; ++i) queued += client.call(call).arguments().value(0).toInt();
    std::printf("Send_Message: %d calls, %d queued, %.0f calls/s\n", requests, queued, PerSecond(requests, start));
  }
  QDBusConnection::disconnectFromBus("rate");
  int acknowledged = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < requests; ++i) {
    std::string answer, error;
    acknowledged += kavonet::clients::SendChannelCommand(sandbox.CommandSocket(), "+4479123456;rate test", 5000ms,
                                                         answer, error) && answer == "OK 1";
  }
  std::printf("command channel: %d requests, %d acknowledged, %.0f requests/s\n", requests, acknowledged,
              PerSecond(requests, start));
  return queued == requests && acknowledged == requests ? 0 : 1;
}
