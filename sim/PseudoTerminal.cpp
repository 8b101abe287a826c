#include "sim/PseudoTerminal.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace kavonet::sim {

std::unique_ptr<PseudoTerminal> PseudoTerminal::Open(std::string& error) {
  int master = -1;
  int slave = -1;
  std::array<char, 256> name{};
  if (openpty(&master, &slave, name.data(), nullptr, nullptr) != 0) {
    error = std::string("openpty: ") + std::strerror(errno);
    return nullptr;
  }
  // Raw until the gateway sets its own modes: no echo back to us, no CR to LF mapping.
  termios modes{};
  if (tcgetattr(slave, &modes) == 0) {
    cfmakeraw(&modes);
    tcsetattr(slave, TCSANOW, &modes);
  }
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  fcntl(master, F_SETFD, FD_CLOEXEC);
  fcntl(slave, F_SETFD, FD_CLOEXEC);
  return std::unique_ptr<PseudoTerminal>(new PseudoTerminal(master, slave, name.data()));
}

PseudoTerminal::~PseudoTerminal() {
  close(master_);
  close(slave_);
}

}  // namespace kavonet::sim
