#include "clients/ctl/QueueListing.h"

#include "sms/Utf8.h"

namespace kavonet::ctl {

namespace {

std::string Padded(std::string text, std::size_t width) {
  if (text.size() < width) text.resize(width, ' ');
  return text;
}

// One line each, whatever the text holds: a line break in a message must not look like
// another row.
std::string OneLine(const std::string& stored) {
  std::string text = sms::ValidUtf8(stored);
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

}  // namespace

std::string QueueListing(const QueueSnapshot& snapshot) {
  std::string out = "To send: " + std::to_string(snapshot.outgoing.size()) + "\n";
  for (const OutgoingRow& row : snapshot.outgoing) {
    out += "  " + Padded(OneLine(row.message.destination), 21) + " " + OneLine(row.message.text);
    if (row.onTheLine) out += "  [being sent when the gateway stopped: is sent again]";
    out += "\n";
  }
  std::size_t waiting = 0;
  for (const IncomingRow& row : snapshot.incoming) waiting += row.handedOver ? 0 : 1;
  out += "Received, to retrieve: " + std::to_string(waiting) + "\n";
  std::string handedOver;
  for (const IncomingRow& row : snapshot.incoming) {
    const IncomingMessage& m = row.message;
    const std::string line = "  " + Padded(m.msgNo, 5) + " " + Padded(m.status, 4) + " " +
                             Padded(OneLine(m.origin), 16) + " " + m.date + " " + m.time + " " +
                             OneLine(m.text) + "\n";
    (row.handedOver ? handedOver : out) += line;
  }
  if (!handedOver.empty()) out += "Retrieved, to delete from the terminal:\n" + handedOver;
  return out;
}

}  // namespace kavonet::ctl
