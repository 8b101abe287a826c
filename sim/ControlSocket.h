#pragma once
// The control channel as a unix stream socket: any number of connections, each
// sending command lines and getting one answer line per command.

#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "loop/PollEventLoop.h"
#include "sim/LineBuffer.h"

namespace kavonet::sim {

class ControlSocket {
 public:
  // Gets a command line, gives the answer (without line end; empty for none).
  using LineHandler = std::function<std::string(std::string_view line)>;

  ControlSocket(PollEventLoop& loop, LineHandler handler)
      : loop_(loop), handler_(std::move(handler)) {}
  ~ControlSocket();
  ControlSocket(const ControlSocket&) = delete;
  ControlSocket& operator=(const ControlSocket&) = delete;

  // A socket file left at `path` by an earlier run is replaced.
  bool Listen(const std::string& path, std::string& error);

 private:
  void Accept();
  void Read(int fd);
  void Close(int fd);

  PollEventLoop& loop_;
  LineHandler handler_;
  int listener_ = -1;
  std::string path_;
  std::map<int, LineBuffer> connections_;
};

}  // namespace kavonet::sim
