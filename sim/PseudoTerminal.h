#pragma once
// A pseudo-terminal pair whose slave the gateway opens as its serial device. The
// simulator keeps a slave descriptor of its own, so the master never reads EIO when
// the gateway closes the device.

#include <memory>
#include <string>

namespace kavonet::sim {

class PseudoTerminal {
 public:
  // Nothing, with the reason in `error`, when no pair can be had.
  static std::unique_ptr<PseudoTerminal> Open(std::string& error);
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  int MasterFd() const { return master_; }
  const std::string& SlavePath() const { return slavePath_; }

 private:
  PseudoTerminal(int master, int slave, std::string slavePath)
      : master_(master), slave_(slave), slavePath_(std::move(slavePath)) {}

  int master_;
  int slave_;
  std::string slavePath_;
};

}  // namespace kavonet::sim
