// kavonet-ctl: drives a running gateway from a shell or a script.

#include <signal.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "clients/CommandChannel.h"
#include "clients/RuntimeDirectory.h"
#include "clients/SystemSerialPorts.h"
#include "config/GatewayConfig.h"
#include "clients/ctl/CtlOptions.h"
#include "clients/ctl/GatewayBus.h"
#include "clients/ctl/QueueListing.h"

namespace kavonet::ctl {
namespace {

enum ExitCode { kDone = 0, kRefused = 1, kUsage = 2, kNotReachable = 3, kFailed = 4 };

// How often `retrieve --follow` asks for new messages: well inside the registration's
// nine-minute expiry, and quick enough for a person watching.
constexpr long kFollowIntervalMs = 1000;

int Fail(const CallOutcome& outcome) {
  std::cerr << "kavonet-ctl: " << outcome.error << "\n";
  return outcome.notRunning ? kNotReachable : kFailed;
}

std::string Text(const QVariant& value) { return value.toString().toStdString(); }

const QVariantList kIgnored{QString()};

int RunSimple(const GatewayBus& bus, const QString& method) {
  const CallOutcome outcome = bus.Call(method, kIgnored);
  return outcome.ok ? kDone : Fail(outcome);
}

int RunStatus(const GatewayBus& bus) {
  const CallOutcome connected = bus.Call(QStringLiteral("Is_Connected"), kIgnored);
  if (!connected.ok) return Fail(connected);
  const CallOutcome autoConnect = bus.Call(QStringLiteral("Is_Auto_Connect"), kIgnored);
  if (!autoConnect.ok) return Fail(autoConnect);
  const CallOutcome mode = bus.Call(QStringLiteral("Receive_Mode"), kIgnored);
  if (!mode.ok) return Fail(mode);
  const std::string modeText = Text(mode.value);
  std::cout << "connected: " << (connected.value.toBool() ? "yes" : "no") << "\n"
            << "auto connect: " << (autoConnect.value.toBool() ? "yes" : "no") << "\n"
            << "receive mode: " << (modeText.empty() ? "(none confirmed)" : modeText) << "\n";
  return kDone;
}

int SendOverBus(const GatewayBus& bus, const CtlOptions& options) {
  const CallOutcome outcome =
      bus.Call(QStringLiteral("Send_Message"),
               {QString(), QString::fromStdString(options.destinations), QString::fromStdString(options.text)});
  if (!outcome.ok) return Fail(outcome);
  const int queued = outcome.value.toInt();
  if (queued == 0) {
    std::cerr << "kavonet-ctl: no destination number in '" << options.destinations << "'\n";
    return kRefused;
  }
  std::cout << "queued " << queued << (queued == 1 ? " message" : " messages") << "\n";
  return kDone;
}

// A gateway with all its connections taken answers "ERROR busy" at once: worth a few
// more tries, each after a longer pause.
constexpr int kBusyAttempts = 4;
constexpr long kFirstBusyPauseMs = 100;

int SendOverSocket(const CtlOptions& options) {
  const std::filesystem::path directory = clients::DefaultRuntimeDirectory(options.service);
  std::string error;
  if (!clients::CheckRuntimeDirectory(directory, error)) {
    std::cerr << "kavonet-ctl: the gateway is not running (" << error << ")\n";
    return kNotReachable;
  }
  // The channel takes one line: "destinations;text".
  std::string text = options.text;
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  std::string destinations = options.destinations.substr(0, options.destinations.find(';'));
  std::string answer;
  for (int attempt = 1;; ++attempt) {
    if (!clients::SendChannelCommand(directory / clients::kCommandSocketName, destinations + ";" + text,
                                     std::chrono::milliseconds(options.timeoutMs), answer, error)) {
      std::cerr << "kavonet-ctl: " << error << "\n";
      return error.rfind("cannot connect", 0) == 0 ? kNotReachable : kFailed;
    }
    if (answer != "ERROR busy" || attempt == kBusyAttempts) break;
    const long pauseMs = kFirstBusyPauseMs << (attempt - 1);
    const timespec pause{pauseMs / 1000, (pauseMs % 1000) * 1000000};
    nanosleep(&pause, nullptr);
  }
  int queued = 0;
  if (answer.rfind("OK ", 0) == 0) queued = std::atoi(answer.c_str() + 3);
  if (queued <= 0) {
    std::cerr << "kavonet-ctl: the gateway answered: " << answer << "\n";
    return answer == "ERROR no destination" ? kRefused : kFailed;
  }
  std::cout << "queued " << queued << (queued == 1 ? " message" : " messages") << "\n";
  return kDone;
}

int RunSend(const GatewayBus& bus, const CtlOptions& options) {
  switch (options.transport) {
    case Transport::Bus: return SendOverBus(bus, options);
    case Transport::Socket: return SendOverSocket(options);
    case Transport::Automatic: return bus.Reachable() ? SendOverBus(bus, options) : SendOverSocket(options);
  }
  return kFailed;
}

// Waits up to `ms` for SIGINT or SIGTERM (blocked in every thread); true if one came.
bool Interrupted(long ms) {
  sigset_t stopSet;
  sigemptyset(&stopSet);
  sigaddset(&stopSet, SIGINT);
  sigaddset(&stopSet, SIGTERM);
  const timespec wait{ms / 1000, (ms % 1000) * 1000000};
  return sigtimedwait(&stopSet, nullptr, &wait) > 0;
}

int RunRetrieve(const GatewayBus& bus, const CtlOptions& options) {
  const QVariantList name{QString::fromStdString(options.appName)};
  const CallOutcome registered = bus.Call(QStringLiteral("Register_Retrieve"), name);
  if (!registered.ok) return Fail(registered);
  if (!registered.value.toBool()) {
    std::cerr << "kavonet-ctl: registration refused: the gateway is not connected to its "
                 "terminal, or another application holds the retrieval registration\n";
    return kRefused;
  }
  // From here on every way out gives the registration up: another client may want it.
  int result = kDone;
  for (;;) {
    if (Interrupted(0)) break;
    const CallOutcome message = bus.Call(QStringLiteral("Retrieve_Message"), name);
    if (!message.ok) {
      result = Fail(message);
      break;
    }
    const std::string text = Text(message.value);
    if (!text.empty()) {
      // Retrieving takes the message from the gateway: the next one is asked for only once
      // this one is out.
      std::cout << text << std::endl;
      if (!std::cout) {
        std::cerr << "kavonet-ctl: cannot write the message to standard output; stopping\n";
        result = kFailed;
        break;
      }
      continue;
    }
    if (!options.follow || Interrupted(kFollowIntervalMs)) break;
  }
  const CallOutcome deregistered = bus.Call(QStringLiteral("deRegister_Retrieve"), name);
  if (!deregistered.ok && result == kDone) result = Fail(deregistered);
  return result;
}

int RunQueue(const CtlOptions& options) {
  std::string error;
  const std::optional<QueueSnapshot> snapshot = ReadQueueFile(options.directory, error);
  if (!snapshot) {
    std::cerr << "kavonet-ctl: " << error << "\n";
    return kFailed;
  }
  std::cout << QueueListing(*snapshot);
  return kDone;
}

// The same list the settings dialog offers, and what each port stands for now.
int RunPorts(const CtlOptions& options) {
  std::cout << "serial devices:\n";
  const std::vector<SerialDevice> devices = clients::SerialDevicesPresent();
  for (const SerialDevice& device : devices) std::cout << "  " << DescribeSerialDevice(device) << "\n";
  if (devices.empty()) std::cout << "  (none found)\n";
  const std::filesystem::path ini = options.ini;
  const GatewayConfig config = ReadGatewayConfig(ini);
  std::cout << "ports in " << ini.string() << (std::filesystem::exists(ini) ? "" : " (not there: defaults)")
            << ":\n";
  for (int port = 1; port <= 4; ++port) {
    const std::string name = "COM" + std::to_string(port);
    std::cout << "  " << name << " = " << ResolveDeviceName(ini, name)
              << (config.Port == port ? "   (the port in use)" : "") << "\n";
  }
  std::cout << "Map a port with the Communications dialog, or in the file: [Ports] COM2=/dev/serial/by-id/...\n";
  return kDone;
}

int Run(const CtlOptions& options) {
  // Reads a file: no bus needed.
  if (options.command == Command::Queue) return RunQueue(options);
  if (options.command == Command::Ports) return RunPorts(options);
  const GatewayBus bus(QDBusConnection::sessionBus(), options.timeoutMs);
  switch (options.command) {
    case Command::Send: return RunSend(bus, options);
    case Command::Status: return RunStatus(bus);
    case Command::Mode: return RunSimple(bus, QString::fromStdString(options.mode));
    case Command::GetAll: return RunSimple(bus, QStringLiteral("Get_All"));
    case Command::Retrieve: return RunRetrieve(bus, options);
    case Command::Connect: return RunSimple(bus, QStringLiteral("Connect"));
    case Command::Disconnect: return RunSimple(bus, QStringLiteral("Disconnect"));
    case Command::Queue:
    case Command::Ports:
    case Command::Help: break;
  }
  std::cout << kCtlUsage;
  return kDone;
}

}  // namespace
}  // namespace kavonet::ctl

int main(int argc, char** argv) {
  using namespace kavonet::ctl;
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  std::string error;
  const std::optional<CtlOptions> options = ParseCtlOptions(arguments, error);
  if (!options) {
    std::cerr << "kavonet-ctl: " << error << "\n" << kCtlUsage;
    return kUsage;
  }
  // A reader that went away must not kill the program between taking a message and
  // giving up the registration: the write fails instead and retrieval stops.
  signal(SIGPIPE, SIG_IGN);
  if (options->command == Command::Retrieve) {
    // Blocked before Qt starts threads, so that `retrieve` takes them itself and gives up
    // its registration before it ends.
    sigset_t stopSet;
    sigemptyset(&stopSet);
    sigaddset(&stopSet, SIGINT);
    sigaddset(&stopSet, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSet, nullptr);
  }
  QCoreApplication application(argc, argv);
  return Run(*options);
}
