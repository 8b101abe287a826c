#pragma once
// Collects bytes from a stream and hands out complete lines (without CR LF).

#include <optional>
#include <string>
#include <string_view>

namespace kavonet::sim {

class LineBuffer {
 public:
  // A longer line is dropped whole, so a flood without line ends cannot grow memory.
  static constexpr std::size_t kMaxLine = 65536;

  void Append(std::string_view bytes) { pending_.append(bytes); }

  std::optional<std::string> NextLine() {
    for (;;) {
      const std::size_t end = pending_.find('\n');
      if (end == std::string::npos) {
        if (pending_.size() > kMaxLine) {
          pending_.clear();
          dropping_ = true;
        }
        return std::nullopt;
      }
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      if (dropping_) {
        dropping_ = false;
        continue;
      }
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
  }

 private:
  std::string pending_;
  bool dropping_ = false;
};

}  // namespace kavonet::sim
