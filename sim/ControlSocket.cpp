#include "sim/ControlSocket.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace kavonet::sim {

ControlSocket::~ControlSocket() {
  while (!connections_.empty()) Close(connections_.begin()->first);
  if (listener_ >= 0) {
    loop_.UnwatchFd(listener_);
    close(listener_);
    unlink(path_.c_str());
  }
}

bool ControlSocket::Listen(const std::string& path, std::string& error) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    error = "control socket path too long: " + path;
    return false;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  struct stat existing {};
  if (lstat(path.c_str(), &existing) == 0 && S_ISSOCK(existing.st_mode)) unlink(path.c_str());
  listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener_, 16) != 0) {
    error = "control socket " + path + ": " + std::strerror(errno);
    if (listener_ >= 0) close(listener_);
    listener_ = -1;
    return false;
  }
  path_ = path;
  loop_.WatchFd(listener_, POLLIN, [this](short) { Accept(); });
  return true;
}

void ControlSocket::Accept() {
  const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  if (fd < 0) return;
  connections_[fd];
  loop_.WatchFd(fd, POLLIN, [this, fd](short) { Read(fd); });
}

// Answers are short; a client that lets its receive buffer fill up is dropped.
void ControlSocket::Read(int fd) {
  std::array<char, 4096> buffer{};
  const ssize_t got = read(fd, buffer.data(), buffer.size());
  if (got < 0 && (errno == EAGAIN || errno == EINTR)) return;
  if (got <= 0) {
    Close(fd);
    return;
  }
  connections_[fd].Append(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
  while (connections_.count(fd) != 0) {
    auto line = connections_[fd].NextLine();
    if (!line) break;
    const std::string answer = handler_(*line);
    if (answer.empty()) continue;
    const std::string out = answer + "\n";
    if (send(fd, out.data(), out.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(out.size())) {
      Close(fd);
    }
  }
}

void ControlSocket::Close(int fd) {
  loop_.UnwatchFd(fd);
  connections_.erase(fd);
  close(fd);
}

}  // namespace kavonet::sim
