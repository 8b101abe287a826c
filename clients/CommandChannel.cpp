#include "clients/CommandChannel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <exception>

#include "clients/CommandRequest.h"
#include "clients/RuntimeDirectory.h"
#include "sms/Utf8.h"

namespace kavonet::clients {
namespace {

bool FillAddress(const std::filesystem::path& path, sockaddr_un& address, std::string& error) {
  address = {};
  address.sun_family = AF_UNIX;
  const std::string text = path.string();
  if (text.size() >= sizeof(address.sun_path)) {
    error = "socket path too long: " + text;
    return false;
  }
  std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
  return true;
}

std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

// Whether a gateway is listening on the socket at `path` (a dead one leaves the file).
bool SomeoneListens(const sockaddr_un& address) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool listening =
      connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return listening;
}

void SendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent <= 0) return;  // the client went away or stopped reading: nothing to do
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
}

}  // namespace

// One client connection, from accept to the acknowledgement.
class CommandChannel::Connection : public QObject {
 public:
  Connection(CommandChannel& channel, int fd)
      : QObject(&channel),
        channel_(channel),
        fd_(fd),
        request_(channel.limits_.maxRequest),
        notifier_(fd, QSocketNotifier::Read) {
    ++channel_.openConnections_;
    QObject::connect(&notifier_, &QSocketNotifier::activated, this, [this] { ReadAvailable(); });
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { Finish(false, "ERROR timed out\n"); });
    timer_.start(channel.limits_.readTimeout);
  }
  ~Connection() override {
    if (fd_ >= 0) close(fd_);
    channel_.Closed();
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

 private:
  void ReadAvailable() {
    std::array<char, 4096> buffer{};
    for (;;) {
      const ssize_t got = recv(fd_, buffer.data(), buffer.size(), 0);
      if (got > 0) {
        request_.Append(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
        if (request_.Complete()) return Finish(true, {});
        continue;
      }
      if (got == 0) return Finish(true, {});
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return;
      return Finish(false, {});
    }
  }

  // Runs the command (when `execute`) and answers; `answer` replaces the acknowledgement.
  void Finish(bool execute, std::string answer) {
    if (finished_) return;
    finished_ = true;
    notifier_.setEnabled(false);
    timer_.stop();
    if (execute) answer = Execute();
    if (!answer.empty()) SendAll(fd_, answer);
    DiscardUnread();
    close(fd_);
    fd_ = -1;
    deleteLater();
  }

  // Closing with unread bytes resets the connection, and a client may then miss the
  // answer: take what the client has already sent beyond the command.
  void DiscardUnread() {
    std::array<char, 4096> buffer{};
    for (int reads = 0; reads < 16; ++reads) {
      if (recv(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT) <= 0) return;
    }
  }

  std::string Execute() {
    // Its cut text would queue a message nobody wrote in full.
    if (request_.Overlong()) return "ERROR request too long\n";
    try {
      const int queued = channel_.handler_(sms::ValidUtf8(request_.FirstLine()));
      if (queued <= 0) return "ERROR no destination\n";
      return "OK " + std::to_string(queued) + "\n";
    } catch (const std::exception& error) {
      std::string reason = error.what();
      for (char& c : reason) {
        if (c == '\r' || c == '\n') c = ' ';
      }
      return "ERROR " + reason + "\n";
    } catch (...) {
      return "ERROR unexpected failure\n";
    }
  }

  CommandChannel& channel_;
  int fd_;
  CommandRequest request_;
  QSocketNotifier notifier_;
  QTimer timer_;
  bool finished_ = false;
};

CommandChannel::CommandChannel(Handler handler, QObject* parent)
    : CommandChannel(std::move(handler), Limits{}, parent) {}

CommandChannel::CommandChannel(Handler handler, Limits limits, QObject* parent)
    : QObject(parent), handler_(std::move(handler)), limits_(limits) {}

CommandChannel::~CommandChannel() {
  // Connections tell the channel when they close: end them while it is whole.
  const QObjectList children = this->children();
  for (QObject* child : children) delete dynamic_cast<Connection*>(child);
  delete acceptNotifier_;
  if (listenFd_ >= 0) {
    close(listenFd_);
    unlink(socketPath_.c_str());
  }
}

bool CommandChannel::Listen(const std::filesystem::path& directory, std::string& error) {
  if (listenFd_ >= 0) {
    error = "already listening on " + socketPath_.string();
    return false;
  }
  if (!PrepareRuntimeDirectory(directory, error)) return false;
  const std::filesystem::path path = directory / kCommandSocketName;
  sockaddr_un address{};
  if (!FillAddress(path, address, error)) return false;

  struct stat status {};
  if (lstat(path.c_str(), &status) == 0) {
    if (!S_ISSOCK(status.st_mode)) {
      error = path.string() + " exists and is not a socket";
      return false;
    }
    if (SomeoneListens(address)) {
      error = "another gateway is listening on " + path.string();
      return false;
    }
    unlink(path.c_str());
  }

  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = ErrnoText("socket");
    return false;
  }
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd, 64) != 0) {
    error = ErrnoText("cannot listen on " + path.string());
    close(fd);
    return false;
  }
  listenFd_ = fd;
  socketPath_ = path;
  acceptNotifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
  QObject::connect(acceptNotifier_, &QSocketNotifier::activated, this, [this] { AcceptPending(); });
  return true;
}

void CommandChannel::AcceptPending() {
  for (;;) {
    const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;  // EAGAIN: all taken; anything else (EMFILE): try again on the next wake-up
    }
    if (openConnections_ >= limits_.maxConnections) {
      SendAll(fd, "ERROR busy\n");
      close(fd);
      continue;
    }
    new Connection(*this, fd);
  }
}

bool SendChannelCommand(const std::filesystem::path& socketPath, std::string_view command,
                        std::chrono::milliseconds timeout, std::string& answer,
                        std::string& error) {
  sockaddr_un address{};
  if (!FillAddress(socketPath, address, error)) return false;
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = ErrnoText("socket");
    return false;
  }
  struct Closer {
    int fd;
    ~Closer() { close(fd); }
  } closer{fd};
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    error = ErrnoText("cannot connect to " + socketPath.string());
    return false;
  }
  std::string_view rest = command;
  while (!rest.empty()) {
    const ssize_t sent = send(fd, rest.data(), rest.size(), MSG_NOSIGNAL);
    if (sent <= 0) {
      if (sent < 0 && errno == EINTR) continue;
      break;  // the gateway stopped reading (request cut): its answer may still come
    }
    rest.remove_prefix(static_cast<std::size_t>(sent));
  }
  shutdown(fd, SHUT_WR);

  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::string received;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd entry{fd, POLLIN, 0};
    const int ready = poll(&entry, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      error = "no answer from the gateway within " + std::to_string(timeout.count()) + " ms";
      return false;
    }
    std::array<char, 512> buffer{};
    const ssize_t got = recv(fd, buffer.data(), buffer.size(), 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    received.append(buffer.data(), static_cast<std::size_t>(got));
    if (received.find('\n') != std::string::npos) break;
  }
  const std::size_t end = received.find('\n');
  if (end == std::string::npos) {
    error = received.empty() ? "the gateway closed the connection without an answer"
                             : "incomplete answer from the gateway: " + received;
    return false;
  }
  answer = received.substr(0, end);
  return true;
}

}  // namespace kavonet::clients
