#pragma once
// kavonet-sim put together: the pseudo-terminal, the terminal engine, the journal,
// the control channels on stdin and on a socket, all on one poll loop.

#include <memory>
#include <string>

#include "loop/PollEventLoop.h"
#include "sim/ControlInterpreter.h"
#include "sim/ControlSocket.h"
#include "sim/Journal.h"
#include "sim/LineBuffer.h"
#include "sim/PseudoTerminal.h"
#include "sim/PtyChannel.h"
#include "sim/SimOptions.h"
#include "sim/Terminal.h"

namespace kavonet::sim {

class SimProgram {
 public:
  explicit SimProgram(SimOptions options) : options_(std::move(options)) {}
  ~SimProgram();
  SimProgram(const SimProgram&) = delete;
  SimProgram& operator=(const SimProgram&) = delete;

  // Runs until "quit", SIGINT or SIGTERM: 0. Set-up failures: 1, reason on stderr.
  int Run();

 private:
  bool SetUp(std::string& error);
  bool WatchSignals(std::string& error);
  bool MakeLink(std::string& error);
  void ReadStandardInput();
  std::string Control(std::string_view line) { return control_->Execute(line); }

  SimOptions options_;
  PollEventLoop loop_;
  std::unique_ptr<PseudoTerminal> pty_;
  std::unique_ptr<Journal> journal_;
  std::unique_ptr<PtyChannel> channel_;
  std::unique_ptr<Terminal> terminal_;
  std::unique_ptr<ControlInterpreter> control_;
  std::unique_ptr<ControlSocket> socket_;
  LineBuffer standardInput_;
  int signalFd_ = -1;
  bool linked_ = false;
};

}  // namespace kavonet::sim
