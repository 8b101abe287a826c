#include "ui/app/SimulatedTerminal.h"

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QStandardPaths>
#include <cstdlib>
#include <system_error>

namespace kavonet::app {
namespace {

constexpr int kStartTimeoutMs = 5000;
constexpr int kStopTimeoutMs = 2000;

std::filesystem::path MakePrivateDirectory() {
  const char* tmp = std::getenv("TMPDIR");
  const std::filesystem::path base = tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp";
  std::string pattern = (base / "kavonet-sim-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;  // mkdtemp makes it 0700
}

}  // namespace

const char* SimulatedTerminal::InterfaceType(SimulatedMode mode) {
  return mode == SimulatedMode::Block ? "Block Mode" : "PDU Mode";
}

std::string SimulatedTerminal::FindSimulator(const std::string& programDirectory) {
  const std::filesystem::path beside = std::filesystem::path(programDirectory) / "kavonet-sim";
  if (access(beside.c_str(), X_OK) == 0) return beside.string();
  return QStandardPaths::findExecutable(QStringLiteral("kavonet-sim")).toStdString();
}

SimulatedTerminal::~SimulatedTerminal() { Stop(); }

bool SimulatedTerminal::Start(const std::string& simulator, std::string& error) {
  directory_ = MakePrivateDirectory();
  if (directory_.empty()) {
    error = "cannot create a private directory for the simulated terminal";
    return false;
  }
  process_.setProgram(QString::fromStdString(simulator));
  process_.setArguments({QStringLiteral("--link"), QString::fromStdString(Device().string()),
                         QStringLiteral("--control"), QString::fromStdString(ControlSocket().string()),
                         QStringLiteral("--journal"), QString::fromStdString(Journal().string())});
  process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  // The simulator ends with the gateway, however the gateway ends.
  process_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
  process_.start();
  if (!process_.waitForStarted(kStartTimeoutMs)) {
    error = "cannot start " + simulator + ": " + process_.errorString().toStdString();
    Stop();
    return false;
  }
  // Its first line names the device; the link exists by then.
  while (!process_.canReadLine()) {
    if (!process_.waitForReadyRead(kStartTimeoutMs)) {
      error = simulator + " did not report its device";
      Stop();
      return false;
    }
  }
  process_.readLine();
  return true;
}

void SimulatedTerminal::Stop() {
  if (process_.state() != QProcess::NotRunning) {
    process_.write("quit\n");
    process_.closeWriteChannel();
    if (!process_.waitForFinished(kStopTimeoutMs)) {
      process_.kill();
      process_.waitForFinished(kStopTimeoutMs);
    }
  }
  if (!directory_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
    directory_.clear();
  }
}

}  // namespace kavonet::app
