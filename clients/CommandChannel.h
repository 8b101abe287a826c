#pragma once
// The command channel: a Unix stream socket "DDE_Send" in the gateway's runtime
// directory. One command per connection: the client writes it and either ends it with a
// line feed or shuts down its sending side; the gateway hands the first line to its
// handler, answers one acknowledgement line ("OK <messages queued>", or "ERROR <reason>")
// and closes. Reads never block the main loop: a client that sends nothing is dropped
// after a time-out, and a first line longer than the size limit is refused unread.

#include <QObject>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

class QSocketNotifier;

namespace kavonet::clients {

inline constexpr const char* kCommandSocketName = "DDE_Send";

class CommandChannel : public QObject {
 public:
  // Gets the first line of a request as UTF-8 text and returns how many messages it
  // queued. It may throw: the client then gets an ERROR line and the gateway carries on.
  using Handler = std::function<int(const std::string& command)>;

  struct Limits {
    std::chrono::milliseconds readTimeout{3000};
    std::size_t maxRequest = std::size_t{64} * 1024;
    // Connections beyond this are closed at once, so clients cannot use up descriptors.
    int maxConnections = 32;
  };

  explicit CommandChannel(Handler handler, QObject* parent = nullptr);
  CommandChannel(Handler handler, Limits limits, QObject* parent = nullptr);
  ~CommandChannel() override;
  CommandChannel(const CommandChannel&) = delete;
  CommandChannel& operator=(const CommandChannel&) = delete;

  // Prepares `directory` (see RuntimeDirectory.h) and listens on its socket. A socket
  // file left by a gateway that died is replaced; a live one is not. False with `error`.
  bool Listen(const std::filesystem::path& directory, std::string& error);
  const std::filesystem::path& SocketPath() const { return socketPath_; }

  int OpenConnections() const { return openConnections_; }

 private:
  class Connection;
  friend class Connection;

  void AcceptPending();
  void Closed() { --openConnections_; }

  Handler handler_;
  Limits limits_;
  std::filesystem::path socketPath_;
  int listenFd_ = -1;
  QSocketNotifier* acceptNotifier_ = nullptr;
  int openConnections_ = 0;
};

// The client side: sends `command` (UTF-8) and returns the acknowledgement line without
// its line end. False with `error` when the gateway cannot be reached or does not answer
// within `timeout`.
bool SendChannelCommand(const std::filesystem::path& socketPath, std::string_view command,
                        std::chrono::milliseconds timeout, std::string& answer, std::string& error);

}  // namespace kavonet::clients
