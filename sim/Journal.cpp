#include "sim/Journal.h"

namespace kavonet::sim {
namespace {

// Text is UTF-8 already; only quotes, backslashes and control characters need escapes.
std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (byte < 0x20) {
          static constexpr char kDigits[] = "0123456789abcdef";
          out += "\\u00";
          out.push_back(kDigits[byte >> 4]);
          out.push_back(kDigits[byte & 0x0F]);
        } else {
          out.push_back(c);
        }
    }
  }
  return out + "\"";
}

}  // namespace

std::string JournalLine(const SentMessage& message) {
  std::string line = "{\"destination\":" + JsonString(message.destination) +
                     ",\"text\":" + JsonString(message.text) +
                     ",\"pdu\":" + JsonString(message.pduHex);
  if (message.part) {
    line += ",\"reference\":" + std::to_string(message.part->reference) +
            ",\"part\":" + std::to_string(message.part->number) +
            ",\"parts\":" + std::to_string(message.part->total);
  }
  return line + "}";
}

Journal::Journal(const std::string& path) : file_(std::fopen(path.c_str(), "a")) {}

void Journal::Append(const SentMessage& message) {
  if (!file_) return;
  const std::string line = JournalLine(message) + "\n";
  std::fwrite(line.data(), 1, line.size(), file_.get());
  std::fflush(file_.get());
}

}  // namespace kavonet::sim
