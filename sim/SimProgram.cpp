#include "sim/SimProgram.h"

#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <iostream>

namespace kavonet::sim {
namespace {

SmsTimestamp NowUtc() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  return {utc.tm_year % 100, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec};
}

void WriteStandardOutput(std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = write(STDOUT_FILENO, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace

SimProgram::~SimProgram() {
  if (linked_) unlink(options_.link.c_str());
  if (signalFd_ >= 0) close(signalFd_);
}

bool SimProgram::WatchSignals(std::string& error) {
  std::signal(SIGPIPE, SIG_IGN);
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigprocmask(SIG_BLOCK, &signals, nullptr);
  signalFd_ = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
  if (signalFd_ < 0) {
    error = std::string("signalfd: ") + std::strerror(errno);
    return false;
  }
  loop_.WatchFd(signalFd_, POLLIN, [this](short) { loop_.Quit(); });
  return true;
}

// Only a symlink (or nothing) may stand at the link path: nothing else is replaced.
bool SimProgram::MakeLink(std::string& error) {
  struct stat existing {};
  if (lstat(options_.link.c_str(), &existing) == 0) {
    if (!S_ISLNK(existing.st_mode)) {
      error = options_.link + " exists and is not a symlink";
      return false;
    }
    unlink(options_.link.c_str());
  }
  if (symlink(pty_->SlavePath().c_str(), options_.link.c_str()) != 0) {
    error = "symlink " + options_.link + ": " + std::strerror(errno);
    return false;
  }
  linked_ = true;
  return true;
}

bool SimProgram::SetUp(std::string& error) {
  if (!WatchSignals(error)) return false;
  pty_ = PseudoTerminal::Open(error);
  if (!pty_) return false;
  if (!options_.journal.empty()) {
    journal_ = std::make_unique<Journal>(options_.journal);
    if (!journal_->Good()) {
      error = "cannot open journal " + options_.journal + ": " + std::strerror(errno);
      return false;
    }
  }
  channel_ = std::make_unique<PtyChannel>(loop_, pty_->MasterFd(),
                                          [this](std::string_view bytes) { terminal_->Receive(bytes); });
  channel_->SetLatency(Milliseconds{options_.latencyMs});
  terminal_ = std::make_unique<Terminal>(
      options_.terminal, [this](std::string_view bytes) { channel_->Write(bytes); },
      [this](const SentMessage& message) {
        if (journal_) journal_->Append(message);
      },
      NowUtc);
  ControlInterpreter::Hooks hooks;
  hooks.setLatency = [this](int ms) { channel_->SetLatency(Milliseconds{ms}); };
  hooks.quit = [this] { loop_.Quit(); };
  control_ = std::make_unique<ControlInterpreter>(*terminal_, std::move(hooks));
  if (!options_.control.empty()) {
    socket_ = std::make_unique<ControlSocket>(loop_, [this](std::string_view line) {
      return Control(line);
    });
    if (!socket_->Listen(options_.control, error)) return false;
  }
  if (!options_.link.empty() && !MakeLink(error)) return false;
  loop_.WatchFd(STDIN_FILENO, POLLIN, [this](short) { ReadStandardInput(); });
  return true;
}

// End of input only ends this channel: a simulator started with stdin closed keeps
// running for its socket.
void SimProgram::ReadStandardInput() {
  std::array<char, 4096> buffer{};
  const ssize_t got = read(STDIN_FILENO, buffer.data(), buffer.size());
  if (got < 0 && (errno == EAGAIN || errno == EINTR)) return;
  if (got <= 0) {
    loop_.UnwatchFd(STDIN_FILENO);
    return;
  }
  standardInput_.Append(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
  while (auto line = standardInput_.NextLine()) {
    const std::string answer = Control(*line);
    if (!answer.empty()) WriteStandardOutput(answer + "\n");
  }
}

int SimProgram::Run() {
  std::string error;
  if (!SetUp(error)) {
    std::cerr << "kavonet-sim: " << error << "\n";
    return 1;
  }
  WriteStandardOutput(pty_->SlavePath() + "\n");
  loop_.Run();
  return 0;
}

}  // namespace kavonet::sim
