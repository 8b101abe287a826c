#pragma once
// One request on the command channel as it arrives: only its first line matters, and
// only so much of it is read before the gateway stops listening to the client.

#include <cstddef>
#include <string>
#include <string_view>

namespace kavonet::clients {

class CommandRequest {
 public:
  static constexpr std::size_t kDefaultLimit = std::size_t{64} * 1024;

  explicit CommandRequest(std::size_t limit = kDefaultLimit) : limit_(limit) {}

  // Takes bytes as they arrive; bytes beyond the limit are not taken.
  void Append(std::string_view bytes);
  // The limit has been reached: the request is cut there.
  bool Full() const { return received_ >= limit_; }
  // Everything before the first CR or LF (all of it when there is none yet).
  const std::string& FirstLine() const { return firstLine_; }
  std::size_t Received() const { return received_; }

 private:
  std::size_t limit_;
  std::size_t received_ = 0;
  bool lineEnded_ = false;
  std::string firstLine_;
};

}  // namespace kavonet::clients
