#include "clients/CommandRequest.h"

#include <algorithm>

namespace kavonet::clients {

void CommandRequest::Append(std::string_view bytes) {
  bytes = bytes.substr(0, limit_ - std::min(received_, limit_));
  received_ += bytes.size();
  lineFeedSeen_ = lineFeedSeen_ || bytes.find('\n') != std::string_view::npos;
  if (lineEnded_) return;
  static constexpr std::string_view kLineEnds("\r\n\0", 3);
  const std::size_t end = bytes.find_first_of(kLineEnds);
  firstLine_.append(bytes.substr(0, end));
  lineEnded_ = end != std::string_view::npos;
}

}  // namespace kavonet::clients
