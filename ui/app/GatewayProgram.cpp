#include "ui/app/GatewayProgram.h"

#include <signal.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "clients/ActivationFile.h"
#include "clients/AutomationObject.h"
#include "clients/AutomationServer.h"
#include "clients/CommandChannel.h"
#include "clients/RuntimeDirectory.h"
#include "clients/ServerStartMode.h"
#include "config/GatewayConfig.h"
#include "core/TSMS_Main.h"
#include "serial/PosixCommPort.h"
#include "store/SqliteQueueStore.h"
#include "ui/app/AppOptions.h"
#include "ui/app/HeadlessFront.h"
#include "ui/app/InstanceGuard.h"
#include "ui/app/QtEventLoop.h"
#include "ui/app/SimulatedTerminal.h"
#include "ui/app/StopSignals.h"

#ifdef KAVONET_WITH_WIDGETS
#include <QApplication>

#include "ui/widgets/DesktopApplication.h"
#include "ui/widgets/GuiFront.h"
#include "ui/widgets/SMS_Main.h"
#endif

namespace kavonet::app {
namespace {

using clients::ServerStartMode;

constexpr int kExitFailure = 1;
constexpr const char* kVersion = "5.1";
constexpr const char* kGuardName = "kavonet";

// A gateway started by the bus whose callers have all left still sends what they queued,
// checking this often, for at most this long.
constexpr std::chrono::milliseconds kDrainCheck{1000};
constexpr std::chrono::minutes kDrainLimit{5};

// What the command line and the environment decided before the event loop exists.
struct StartPlan {
  AppOptions options;
  ServerStartMode startMode = ServerStartMode::Standalone;
  bool headless = true;
  std::filesystem::path runtimeDirectory;
  std::filesystem::path workDirectory;
};

std::filesystem::path ExecutablePath(const char* argv0) {
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) self = std::filesystem::absolute(argv0, ec);
  return self;
}

// Registration and unregistration end the program; every other start registers too.
// Returns the exit code when the program ends here.
std::optional<int> HandleServerSwitches(ServerStartMode mode, const char* argv0, LogWriter& log) {
  const std::filesystem::path file =
      clients::ActivationFilePath(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
  std::string error;
  if (file.empty()) {
    error = "neither XDG_DATA_HOME nor HOME is set";
  } else if (mode == ServerStartMode::Unregister) {
    if (clients::RemoveActivationFile(file, error)) {
      log.Line("", "removed the bus activation file " + file.string());
      return 0;
    }
  } else if (clients::WriteActivationFile(file, ExecutablePath(argv0), error)) {
    if (mode != ServerStartMode::Register) return std::nullopt;
    log.Line("", "registered " + std::string(clients::kServiceName) + " for bus activation in " +
                     file.string());
    return 0;
  }
  const bool ends = mode == ServerStartMode::Register || mode == ServerStartMode::Unregister;
  log.Line(ends ? "error" : "warning", "server registration: " + error);
  return ends ? std::optional<int>(kExitFailure) : std::nullopt;
}

std::unique_ptr<QCoreApplication> MakeApplication(bool headless, int& argc, char** argv) {
#ifdef KAVONET_WITH_WIDGETS
  if (!headless) return ui::MakeDesktopApplication(argc, argv);
#else
  (void)headless;
#endif
  return std::make_unique<QCoreApplication>(argc, argv);
}

// The running gateway: controller, front, client interfaces. Members are destroyed in
// reverse order: the clients go before the controller, the port is closed before the
// simulated terminal stops.
class Gateway {
 public:
  Gateway(const StartPlan& plan, InstanceGuard& guard, LogWriter& log);
  ~Gateway();
  Gateway(const Gateway&) = delete;
  Gateway& operator=(const Gateway&) = delete;

  int Run();

 private:
  bool StartSimulator();
  bool OpenQueueStore();
  void CreateController();
  bool StartAutomation();
  void StartCommandChannel();
  void ListenForSecondStarts();
  void FirstActivation();
  void SecondStart();
  void CallersLeft();
  void CheckDrained();
  int QueuedMessages() const { return controller_->tx_queue.RowCount() - 2; }
  void End();
  std::string ResolveDevice(const std::string& portName) const;

  // A client's call under way: the front shows boxes without holding it up.
  class ClientCall {
   public:
    explicit ClientCall(Gateway& gateway) : gateway_(gateway) { gateway_.ClientCallBegins(); }
    ~ClientCall() { gateway_.ClientCallEnds(); }
    ClientCall(const ClientCall&) = delete;
    ClientCall& operator=(const ClientCall&) = delete;

   private:
    Gateway& gateway_;
  };
  void ClientCallBegins();
  void ClientCallEnds();

  const StartPlan& plan_;
  InstanceGuard& guard_;
  LogWriter& log_;
  SimulatedTerminal simulator_;
  QtEventLoop loop_;
  PosixCommPort port_;
  HeadlessFront headlessFront_;
  std::unique_ptr<SqliteQueueStore> store_;
#ifdef KAVONET_WITH_WIDGETS
  std::unique_ptr<ui::GuiFront> guiFront_;
#endif
  std::unique_ptr<TSMS_Main> controller_;
#ifdef KAVONET_WITH_WIDGETS
  std::unique_ptr<ui::SMS_Main> window_;
#endif
  std::unique_ptr<clients::AutomationServer> server_;
  std::unique_ptr<clients::CommandChannel> channel_;
  std::unique_ptr<QSocketNotifier> noticeNotifier_;
  std::unique_ptr<StopSignals> stopSignals_;
  QTimer drainTimer_;
  std::chrono::steady_clock::time_point drainStarted_;
};

Gateway::Gateway(const StartPlan& plan, InstanceGuard& guard, LogWriter& log)
    : plan_(plan),
      guard_(guard),
      log_(log),
      port_(loop_, [this](const std::string& name) { return ResolveDevice(name); }),
      headlessFront_(log) {
  drainTimer_.setInterval(kDrainCheck);
  QObject::connect(&drainTimer_, &QTimer::timeout, [this] { CheckDrained(); });
}

Gateway::~Gateway() {
  stopSignals_.reset();
  noticeNotifier_.reset();
  channel_.reset();
  server_.reset();
#ifdef KAVONET_WITH_WIDGETS
  window_.reset();
#endif
  controller_.reset();
}

std::string Gateway::ResolveDevice(const std::string& portName) const {
  if (plan_.options.simulate) return simulator_.Device().string();
  return ResolveDeviceName(plan_.workDirectory / kConfigFileName, portName);
}

int Gateway::Run() {
  // Before anything announces that the gateway is up: a stop signal sent as soon as a
  // client sees it must end the gateway cleanly, not kill it.
  stopSignals_ = std::make_unique<StopSignals>([this](int) { End(); });
  if (!OpenQueueStore()) return kExitFailure;
  if (plan_.options.simulate && !StartSimulator()) return kExitFailure;
  CreateController();
  controller_->UseQueueStore(*store_);
  if (!StartAutomation() && plan_.startMode == ServerStartMode::Automation) return kExitFailure;
  StartCommandChannel();
  ListenForSecondStarts();
  QTimer::singleShot(0, [this] { FirstActivation(); });
  const int code = QCoreApplication::exec();
  // A window runs this when it closes; a window that was never shown does not, and
  // without one it happens here. It disconnects only once.
  controller_->FormCloseQuery();
  return code;
}

bool Gateway::StartSimulator() {
  const std::string simulator =
      SimulatedTerminal::FindSimulator(QCoreApplication::applicationDirPath().toStdString());
  std::string error;
  if (simulator.empty()) {
    error = "kavonet-sim was found neither next to kavonet nor on PATH";
  } else if (simulator_.Start(simulator, error)) {
    log_.Line("", std::string("simulated terminal (") +
                      SimulatedTerminal::InterfaceType(*plan_.options.simulate) + ") on " +
                      simulator_.Device().string() + "; control socket " +
                      simulator_.ControlSocket().string() + "; journal " +
                      simulator_.Journal().string());
    return true;
  }
  log_.Line("error", "--simulate: " + error);
  return false;
}

bool Gateway::OpenQueueStore() {
  store_ = std::make_unique<SqliteQueueStore>(plan_.workDirectory);
  if (!store_->InUse()) return true;
  // Two gateways sending from one queue would each send every message.
  log_.Line("error", store_->Fault()->Text() + ": another gateway is running in " +
                         plan_.workDirectory.string() + "; this one ends");
  return false;
}

void Gateway::CreateController() {
  TSMS_Main::ConfigurationOverride configOverride;
  if (plan_.options.simulate) {
    configOverride = [type = std::string(SimulatedTerminal::InterfaceType(*plan_.options.simulate))](
                         GatewayConfig& config) { config.Interface = type; };
  }
#ifdef KAVONET_WITH_WIDGETS
  if (!plan_.headless) {
    guiFront_ = std::make_unique<ui::GuiFront>();
    controller_ = std::make_unique<TSMS_Main>(loop_, port_, *guiFront_, *guiFront_,
                                              plan_.workDirectory, std::move(configOverride));
    window_ = std::make_unique<ui::SMS_Main>(*controller_, *guiFront_);
    guiFront_->AttachWindow(window_.get());
    controller_->SetObserver(window_.get());
    window_->show();
    return;
  }
#endif
  controller_ = std::make_unique<TSMS_Main>(loop_, port_, headlessFront_, headlessFront_,
                                            plan_.workDirectory, std::move(configOverride));
  controller_->SetObserver(&headlessFront_);
}

bool Gateway::StartAutomation() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    const QString reason = bus.lastError().message();
    log_.Line("warning", "no D-Bus session bus" +
                             (reason.isEmpty() ? std::string() : " (" + reason.toStdString() + ")") +
                             ": the automation object " + clients::kServiceName +
                             " is not available; the command channel still is");
    return false;
  }
  server_ = std::make_unique<clients::AutomationServer>(*controller_);
  std::string error;
  const auto reconnect = [count = 0]() mutable {
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                         QStringLiteral("kavonet-automation-%1").arg(++count));
  };
  if (!server_->Start(bus, error, reconnect)) {
    log_.Line("warning", "the automation object is not available: " + error);
    server_.reset();
    return false;
  }
  QObject::connect(server_.get(), &clients::AutomationServer::LastCallerLeft, [this] { CallersLeft(); });
  QObject::connect(server_.get(), &clients::AutomationServer::CallStarted, [this] { ClientCallBegins(); });
  QObject::connect(server_.get(), &clients::AutomationServer::CallFinished, [this] { ClientCallEnds(); });
  QObject::connect(server_.get(), &clients::AutomationServer::Reconnected, [this](const QString& reason) {
    log_.Line("warning", "the automation object's bus connection died (" + reason.toStdString() +
                             "): connected again, " + clients::kServiceName + " is back on the session bus");
  });
  QObject::connect(server_.get(), &clients::AutomationServer::BusLost, [this] {
    if (plan_.startMode == ServerStartMode::Automation) {
      log_.Line("", "the session bus has gone: ending, as a gateway started by the bus");
      End();
    } else {
      log_.Line("warning", "the session bus has gone: the automation object is no longer available");
    }
  });
  log_.Line("", std::string("automation object ") + clients::kServiceName + " on the session bus");
  return true;
}

void Gateway::StartCommandChannel() {
  channel_ = std::make_unique<clients::CommandChannel>([this](const std::string& command) {
    ClientCall call(*this);
    return controller_->DDE_SendExecuteMacro(command);
  });
  std::string error;
  if (!channel_->Listen(plan_.runtimeDirectory, error)) {
    log_.Line("error", "the command channel is not available: " + error);
    channel_.reset();
    return;
  }
  log_.Line("", "command channel on " + channel_->SocketPath().string());
}

void Gateway::ClientCallBegins() {
#ifdef KAVONET_WITH_WIDGETS
  if (guiFront_) guiFront_->BeginClientCall();
#endif
}

void Gateway::ClientCallEnds() {
#ifdef KAVONET_WITH_WIDGETS
  if (guiFront_) guiFront_->EndClientCall();
#endif
}

void Gateway::ListenForSecondStarts() {
  noticeNotifier_ = std::make_unique<QSocketNotifier>(guard_.NoticeDescriptor(), QSocketNotifier::Read);
  QObject::connect(noticeNotifier_.get(), &QSocketNotifier::activated, [this] { SecondStart(); });
}

// What the first activation of the window does, and the connection --simulate promises.
void Gateway::FirstActivation() {
  if (plan_.headless) controller_->FormActivate();
  if (plan_.options.simulate && !controller_->Config().AutoConnect && !controller_->Connected()) {
    controller_->ConnectTerminal();
  }
}

void Gateway::SecondStart() {
  const std::string commandLine = guard_.TakeNotice();
  log_.Line("", "another start handed over its command line: " + commandLine);
  controller_->Restore();
#ifdef KAVONET_WITH_WIDGETS
  if (window_) {
    window_->raise();
    window_->activateWindow();
  }
#endif
}

void Gateway::CallersLeft() {
  if (plan_.startMode != ServerStartMode::Automation || drainTimer_.isActive()) return;
  if (QueuedMessages() > 0) {
    log_.Line("", "the last client has left: ending once the " + std::to_string(QueuedMessages()) +
                      " queued messages are sent");
    drainStarted_ = std::chrono::steady_clock::now();
    drainTimer_.start();
    return;
  }
  log_.Line("", "the last client has left: ending");
  End();
}

void Gateway::CheckDrained() {
  if (server_ && server_->CallerCount() > 0) {
    drainTimer_.stop();  // a client came back: it decides when the gateway ends
    return;
  }
  const bool timedOut = std::chrono::steady_clock::now() - drainStarted_ >= kDrainLimit;
  if (QueuedMessages() > 0 && !timedOut) return;
  drainTimer_.stop();
  if (QueuedMessages() > 0) {
    log_.Line("warning", "ending with " + std::to_string(QueuedMessages()) + " messages unsent");
  }
  End();
}

// Every way of ending comes here. Closing the window runs FormCloseQuery, but only a
// visible window's closing ends the loop: one hidden in the tray would leave the gateway
// running unseen, so the loop is ended here whatever the window's state.
void Gateway::End() {
#ifdef KAVONET_WITH_WIDGETS
  if (window_) window_->close();
#endif
  QCoreApplication::quit();
}

std::vector<std::string_view> Arguments(int argc, char** argv) {
  return std::vector<std::string_view>(argv + 1, argv + argc);
}

// One guard per user whatever the executable is called: a copy or a link under another
// name would otherwise run a second gateway on the same port.
std::unique_ptr<InstanceGuard> AcquireGuard(std::string& error) {
  const std::filesystem::path directory = clients::DefaultRuntimeDirectory(kGuardName);
  if (!clients::PrepareRuntimeDirectory(directory, error)) return nullptr;
  return InstanceGuard::Acquire(directory, error);
}

// A gateway started by the bus works where the systemd unit does, not in whatever
// directory the bus daemon was started from.
std::filesystem::path WorkDirectory(ServerStartMode mode, LogWriter& log) {
  std::error_code ec;
  if (mode == ServerStartMode::Automation) {
    const std::filesystem::path state =
        clients::StateDirectoryPath(std::getenv("XDG_STATE_HOME"), std::getenv("HOME"));
    if (!state.empty()) {
      std::filesystem::create_directories(state, ec);
      if (!ec) return state;
    }
    log.Line("warning", "no state directory (" + (state.empty() ? "HOME is not set" : ec.message()) +
                            "): working in the current directory");
  }
  return std::filesystem::current_path(ec);
}

}  // namespace

int RunGatewayProgram(int argc, char** argv) {
  LogWriter log(std::cerr);
  const std::vector<std::string_view> arguments = Arguments(argc, argv);
  StartPlan plan;
  std::string error;
  // The guard goes first: a second start restores the running gateway whatever else
  // its command line says, options it cannot parse included.
  const std::unique_ptr<InstanceGuard> guard = AcquireGuard(error);
  if (!guard) {
    log.Line("error", error);
    return kExitFailure;
  }
  if (guard->GetRole() == InstanceGuard::Role::Second) {
    std::vector<std::string_view> all(argv, argv + argc);
    guard->HandOver(InstanceGuard::JoinCommandLine(all));
    return 0;
  }

  const std::optional<AppOptions> options = ParseAppOptions(arguments, error);
  if (!options) {
    std::cerr << "kavonet: " << error << "\n" << kAppUsage;
    return 2;
  }
  plan.options = *options;
  if (plan.options.help || plan.options.version) {
    std::cout << (plan.options.help ? kAppUsage : std::string("Kavonet ") + kVersion + "\n");
    return 0;
  }
  // A closed stderr (a log reader that went away) must not end the gateway.
  signal(SIGPIPE, SIG_IGN);
  // A log over the file size limit fails its write (and says so); it must not end the gateway.
  signal(SIGXFSZ, SIG_IGN);
  plan.runtimeDirectory = clients::DefaultRuntimeDirectory(clients::ServiceNameOf(argv[0]));

  plan.startMode = clients::ParseServerStartMode(arguments);
  if (const std::optional<int> code = HandleServerSwitches(plan.startMode, argv[0], log)) return *code;

  plan.headless = ShouldRunHeadless(plan.options, std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"),
                                    std::getenv("QT_QPA_PLATFORM"));
#ifndef KAVONET_WITH_WIDGETS
  if (!plan.headless) log.Line("", "built without the window: running headless");
  plan.headless = true;
#endif
  plan.workDirectory = WorkDirectory(plan.startMode, log);
  const std::unique_ptr<QCoreApplication> application = MakeApplication(plan.headless, argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Kavonet"));
  QCoreApplication::setApplicationVersion(QString::fromLatin1(kVersion));

  Gateway gateway(plan, *guard, log);
  return gateway.Run();
}

}  // namespace kavonet::app
