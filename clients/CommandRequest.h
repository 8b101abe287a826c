#pragma once
// One request on the command channel as it arrives: only its first line matters, and
// only so much of it is read before the gateway stops listening to the client. A line
// feed completes the request, so a client may wait for the answer with its sending
// side still open.

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
  // A line feed has arrived, or the limit: nothing more is needed to act on it.
  bool Complete() const { return lineFeedSeen_ || Full(); }
  // The limit was reached before the first line ended: the request is not whole.
  bool Overlong() const { return Full() && !lineEnded_; }
  // Everything before the first CR, LF or NUL (all of it when there is none yet). A NUL
  // ends the text as it ends an automation argument.
  const std::string& FirstLine() const { return firstLine_; }
  std::size_t Received() const { return received_; }

 private:
  std::size_t limit_;
  std::size_t received_ = 0;
  bool lineEnded_ = false;
  bool lineFeedSeen_ = false;
  std::string firstLine_;
};

}  // namespace kavonet::clients
