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
    if (row.partsDone > 0) out += "  [" + std::to_string(row.partsDone) + " parts sent]";
    if (row.onTheLine) out += "  [being sent when the gateway stopped: is sent again]";
    out += "\n";
  }
  // Rows come in the order shown; the parts of a joined message share `shownAs`.
  std::string waiting, handedOver, held;
  std::size_t count = 0;
  for (std::size_t i = 0; i < snapshot.incoming.size();) {
    const IncomingRow& first = snapshot.incoming[i];
    std::string text;
    std::size_t next = i;
    do text += snapshot.incoming[next++].message.text;
    while (first.shownAs != 0 && next < snapshot.incoming.size() && snapshot.incoming[next].shownAs == first.shownAs);
    const IncomingMessage& m = first.message;
    const std::string line = "  " + Padded(m.msgNo, 5) + " " + Padded(m.status, 4) + " " +
                             Padded(OneLine(m.origin), 16) + " " + m.date + " " + m.time + " " +
                             OneLine(text) + "\n";
    if (first.shownAs == 0) {
      held += line;
    } else if (first.handedOver) {
      handedOver += line;
    } else {
      waiting += line;
      ++count;
    }
    i = next;
  }
  out += "Received, to retrieve: " + std::to_string(count) + "\n" + waiting;
  if (!handedOver.empty()) out += "Retrieved, to delete from the terminal:\n" + handedOver;
  if (!held.empty()) out += "Parts waiting for the rest of their message:\n" + held;
  return out;
}

}  // namespace kavonet::ctl
