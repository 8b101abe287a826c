#pragma once
// A GSM terminal behind the fake port, for the liveness test. It speaks PDU Mode and Block
// Mode, keeps a message store and a journal of the messages it sent, and, until it is
// calmed down, answers with a seeded mix of errors, silence, late and split answers. It
// never lies: an error means the command had no effect, and a message is journalled only
// when its confirmation goes out on the line.

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/BlockFrame.h"
#include "loop/VirtualEventLoop.h"
#include "serial/FakeCommPort.h"
#include "sms/PduCodec.h"

namespace kavonet::testing {

// The fake port with one ordered record of what the gateway did to the line.
class TranscriptPort : public FakeCommPort {
 public:
  enum class Kind { Open, DtrLow, DtrHigh, Write };
  struct Event {
    Kind kind;
    std::string bytes;
  };
  std::deque<Event> events;                 // taken by the terminal
  std::function<void(const Event&)> watch;  // sees each event as it happens

  bool Open(const std::string& name, std::uint32_t in, std::uint32_t out) override {
    return FakeCommPort::Open(name, in, out) && Add({Kind::Open, {}});
  }
  bool Write(const std::uint8_t* bytes, int count) override {
    return FakeCommPort::Write(bytes, count) &&
           Add({Kind::Write, std::string(reinterpret_cast<const char*>(bytes), count)});
  }
  bool EscapeCommFunction(LineFunction function) override {
    if (function == LineFunction::ClrDTR) Add({Kind::DtrLow, {}});
    if (function == LineFunction::SetDTR) Add({Kind::DtrHigh, {}});
    return FakeCommPort::EscapeCommFunction(function);
  }

 private:
  bool Add(Event event) {
    if (watch) watch(event);
    events.push_back(std::move(event));
    return true;
  }
};

// Text as it is, control bytes in hex; a frame as its message name and hex octets.
inline std::string Readable(const std::string& bytes) {
  static const std::map<int, const char*> kFrames = {
      {0x01, "Get Message"},       {0x02, "Get First"},           {0x03, "Get Next"},
      {0x05, "Transfer Request"},  {0x07, "Insert SMS"},          {0x08, "Delete"},
      {0x21, "Message"},           {0x22, "Get Message Failure"}, {0x23, "Incoming Message"},
      {0x24, "Message Arrived"},   {0x25, "Insert SMS Complete"}, {0x26, "Insert SMS Failure"},
      {0x27, "Delete Complete"},   {0x28, "Delete Failure"},      {0x29, "Unable To Process"},
      {0x2A, "Request Confirmed"}, {0x3F, "End SMS Mode"}};
  const bool frame = bytes.size() > 2 && bytes[0] == DLE && bytes[1] == STX;
  const auto name = frame ? kFrames.find(static_cast<std::uint8_t>(bytes[2])) : kFrames.end();
  std::string text = name == kFrames.end() ? "" : std::string("[") + name->second + "]";
  for (const unsigned char c : bytes) {
    const char hex[] = {' ', "0123456789ABCDEF"[c >> 4], "0123456789ABCDEF"[c & 15], 0};
    if (frame)
      text += hex;
    else if (c >= 0x20 && c < 0x7F)
      text += static_cast<char>(c);
    else
      text += c == '\r' ? "\\r" : c == '\n' ? "\\n" : "<" + std::string(hex + 1) + ">";
  }
  return text;
}

class AdversarialTerminal {
 public:
  static constexpr int kSlots = 20;
  using Bytes = std::vector<std::uint8_t>;

  AdversarialTerminal(TranscriptPort& port, VirtualEventLoop& loop, std::mt19937_64& rng)
      : port_(port), loop_(loop), rng_(rng) {}

  int Pick(int n) { return static_cast<int>(rng_() % static_cast<std::uint64_t>(n)); }

  struct Slot {
    std::string text;
    bool unread = true;
  };
  std::map<int, Slot> store;
  std::set<std::string> journal;  // texts of the messages it confirmed
  std::vector<std::string> confirmedTwice;
  std::map<std::string, std::string> expected;  // SUBMIT (PDU hex or Insert SMS body) -> text
  std::vector<std::string> faults;              // input no terminal could take
  std::function<void(int index, const std::string& text)> onDelete;
  std::function<void(const std::string&)> trace;
  bool calm = false;

  // Reads what the gateway wrote since the last call and answers; sends what is due.
  void Service() {
    while (!port_.events.empty()) {
      const TranscriptPort::Event event = std::move(port_.events.front());
      port_.events.pop_front();
      if (event.kind == TranscriptPort::Kind::DtrLow) Reset();  // &D2: drop to command mode
      if (event.kind == TranscriptPort::Kind::Write && !dsrHeld_) Input(event.bytes);
    }
    while (!out_.empty() && out_.front().due <= loop_.Now()) {
      const Out item = std::move(out_.front());
      out_.pop_front();
      if (trace)
        trace("terminal: " + Readable(item.bytes) +
              (item.confirms.empty() ? "" : "  = sent " + item.confirms));
      if (!item.confirms.empty() && !journal.insert(item.confirms).second) {
        confirmedTwice.push_back(item.confirms);
      }
      port_.Receive(item.bytes);
    }
  }

  // A message from the network; false when the store is full.
  bool Deliver(const std::string& text) {
    int index = 1;
    while (store.count(index)) ++index;
    if (index > kSlots) return false;
    store[index] = {text};
    if (dsrHeld_ || mode_ == Mode::Prompt) return true;  // the link is busy: no indication
    Plain();
    if (mode_ == Mode::Command && cnmi_)
      Send("\r\n+CMTI: \"SM\"," + std::to_string(index) + "\r\n");
    if (mode_ == Mode::Block && transfer_ == 0x02) SendMessage(0x23, index);
    if (mode_ == Mode::Block && transfer_ == 0x03) SendFrame({0x24, 0, 0, std::uint8_t(index)});
    return true;
  }
  // An indication for an empty location, or a confirmation or refusal nobody asked for.
  void Stray() {
    if (dsrHeld_) return;
    Plain();
    int empty = 1 + Pick(kSlots);
    while (store.count(empty) && empty < kSlots + 5) ++empty;
    if (mode_ == Mode::Command) Send("\r\n+CMTI: \"SM\"," + std::to_string(empty) + "\r\n");
    // Not while an answer is pending: the gateway would rightly take it for that answer.
    if (mode_ == Mode::Block && out_.empty())
      SendFrame(Pick(2) ? Bytes{0x2A, 0x01} : Bytes{0x29, 0x03});
  }
  void ToggleDsr() {
    dsrHeld_ = !dsrHeld_;
    Reset();  // powered off, or back on fresh
    port_.SetDsrHold(dsrHeld_);
  }
  void EndSmsMode() {
    if (mode_ != Mode::Block || dsrHeld_) return;
    Plain();
    SendFrame({0x3F, 0x06});
    mode_ = Mode::Command;
  }
  void CalmDown() {
    calm = true;
    if (dsrHeld_) ToggleDsr();
    for (Out& item : out_) item.due = std::min(item.due, loop_.Now());
  }

 private:
  enum class Mode { Command, Prompt, Block };
  struct Out {
    Milliseconds due;
    std::string bytes;
    std::string confirms;
  };

  void Reset() {
    mode_ = Mode::Command;
    line_.clear();
    pdu_.clear();
    cnmi_ = false;
    transfer_ = 0;
    out_.clear();
  }
  void Plain() {
    delay_ = Milliseconds(0);
    split_ = false;
  }

  // Answers leave in order; a late one holds back everything behind it.
  void Send(const std::string& bytes, const std::string& confirms = {}) {
    Milliseconds due = loop_.Now() + delay_;
    if (!out_.empty()) due = std::max(due, out_.back().due);
    if (split_ && confirms.empty() && bytes.size() > 1) {
      const std::size_t cut = 1 + Pick(static_cast<int>(bytes.size()) - 1);
      out_.push_back({due, bytes.substr(0, cut), {}});
      due += Milliseconds(1 + Pick(2000));
      out_.push_back({due, bytes.substr(cut), {}});
      return;
    }
    out_.push_back({due, bytes, confirms});
  }
  void SendFrame(const Bytes& body, const std::string& confirms = {}) {
    const Bytes frame = StuffedFrame(body);
    Send(std::string(frame.begin(), frame.end()), confirms);
  }
  void Ok() { Send("\r\nOK\r\n"); }

  // An SMS-DELIVER from +44770090123, stamped 25-01-12 12:45:08, in the 7-bit alphabet.
  static Bytes DeliverTpdu(const std::string& text) {
    Bytes tpdu = {0x04, 0x0B, 0x91, 0x44, 0x77, 0x00, 0x09, 0x21, 0xF3,
                  0x00, 0x00, 0x52, 0x10, 0x21, 0x21, 0x54, 0x80, 0x00};
    tpdu.push_back(static_cast<std::uint8_t>(text.size()));
    const Bytes packed = sms::PackSeptets(Bytes(text.begin(), text.end()));
    tpdu.insert(tpdu.end(), packed.begin(), packed.end());
    return tpdu;
  }
  void SendMessage(std::uint8_t code, int index) {
    Slot& slot = store.at(index);
    Bytes body{code, 0, 0, std::uint8_t(index), std::uint8_t(slot.unread ? 0 : 1), 0x00};
    const Bytes tpdu = DeliverTpdu(slot.text);
    body.insert(body.end(), tpdu.begin(), tpdu.end());
    slot.unread = false;
    SendFrame(body);
  }
  std::string PduRecord(const std::string& header, int index) {
    Slot& slot = store.at(index);
    const Bytes tpdu = DeliverTpdu(slot.text);
    const std::string record = header + (slot.unread ? "0" : "1") + ",," +
                               std::to_string(tpdu.size()) + "\r\n00" + sms::PduHexText(tpdu) +
                               "\r\n";
    slot.unread = false;
    return record;
  }

  // Chaos for one command: false when it is refused (with an error) or swallowed. Otherwise
  // it runs, and its answer may be late or split.
  bool Roll() {
    Plain();
    if (calm || Pick(100) >= 25) return true;
    switch (Pick(6)) {
      case 0:
      case 1:
      case 2:
        if (mode_ == Mode::Block)
          SendFrame({0x29, std::uint8_t(2 + Pick(3))});
        else if (Pick(3) == 0)
          Send("\r\nERROR\r\n");
        else if (Pick(2))
          Send("\r\n+CMS ERROR " + std::to_string(300 + Pick(3) * 100 + Pick(2)) + "\r\n");
        else
          Send("\r\n+CME ERROR " + std::to_string(Pick(20)) + "\r\n");
        return false;
      case 3:
        return false;
      case 4:
        delay_ = Milliseconds(Pick(4) ? 1000 + Pick(9000) : 10000 + Pick(190000));
        return true;
      default:
        split_ = true;
        return true;
    }
  }

  void Input(const std::string& bytes) {
    if (mode_ == Mode::Block) return Frame(bytes);
    for (std::size_t i = 0; i < bytes.size() && mode_ != Mode::Block; ++i) {
      const char c = bytes[i];
      if (mode_ == Mode::Prompt && c == 0x1A) {
        mode_ = Mode::Command;
        Submit(std::exchange(pdu_, {}));
      } else if (mode_ == Mode::Prompt && c == 0x1B) {
        mode_ = Mode::Command;
        pdu_.clear();
        Plain();
        Ok();
      } else if (mode_ == Mode::Prompt) {
        pdu_ += c;
      } else if (c == 0x1A && !line_.empty() &&
                 line_.find_first_not_of("0123456789ABCDEF") == std::string::npos) {
        faults.push_back("PDU data written with no \"> \" prompt outstanding");
      } else if (c == '\r') {
        Command(std::exchange(line_, {}));
      } else if (c != 0x1B && line_.size() < 4000) {
        line_ += c;  // a lone ESC in command mode is ignored
      }
    }
  }

  void Command(const std::string& line) {
    const std::size_t at = line.find("AT");  // junk before it (a stray PDU) is skipped
    if (at == std::string::npos || !Roll()) return;
    const std::string command = line.substr(at + 2);
    const auto is = [&command](const char* prefix) { return command.rfind(prefix, 0) == 0; };
    const auto number = [&command] { return std::atoi(command.c_str() + command.find('=') + 1); };
    if (command.empty() || is("Z") || is("+CMGF=") || is("+CSCA=")) {
      if (is("Z")) cnmi_ = false;
      Ok();
    } else if (is("+CNMI=")) {
      cnmi_ = command.size() > 8 && command[8] == '1';
      Ok();
    } else if (is("*T")) {
      Ok();
      mode_ = Mode::Block;
    } else if (is("+CMGS=")) {
      mode_ = Mode::Prompt;
      Send("\r\n> ");
    } else if (is("+CMGR=")) {
      const int index = number();
      if (store.count(index))
        Send(PduRecord("\r\n+CMGR: ", index) + "\r\nOK\r\n");
      else if (calm || Pick(2))
        Send("\r\n+CMS ERROR 321\r\n");
      else
        Send("\r\n+CMGR: 0,,0\r\n\r\nOK\r\n");
    } else if (is("+CMGL=")) {
      std::string listing;
      for (auto& [index, slot] : store) {
        listing += PduRecord("\r\n+CMGL: " + std::to_string(index) + ",", index);
      }
      Send(listing + "\r\nOK\r\n");
    } else if (is("+CMGD=")) {
      Erase(number());
      Ok();
    } else if (is("+CSQ")) {
      Send("\r\n+CSQ: 15,99\r\n\r\nOK\r\n");
    } else {
      Send("\r\nERROR\r\n");
    }
  }

  void Erase(int index) {
    const auto slot = store.find(index);
    if (slot == store.end()) return;
    if (onDelete) onDelete(index, slot->second.text);
    store.erase(slot);
  }

  // Sends the confirmation a few seconds later (the network takes its time), or, now and
  // then, a refusal or nothing at all: the message is then not sent.
  void Submit(const std::string& pdu) {
    if (!Roll()) return;
    const auto message = expected.find(pdu);
    if (message == expected.end()) {
      faults.push_back("the terminal was given a SUBMIT matching no queued message: " +
                       Readable(pdu));
      return Send("\r\n+CMS ERROR 304\r\n");
    }
    delay_ += Milliseconds(Pick(3000));
    const std::string reference = std::to_string(++reference_ % 256);
    Send("\r\n+CMGS: " + reference + "\r\n\r\nOK\r\n", message->second);
  }

  // The gateway writes one whole frame at a time.
  void Frame(const std::string& raw) {
    Bytes body;
    for (std::size_t i = 2; i + 1 < raw.size() && !(raw[i] == DLE && raw[i + 1] == ETX);
         i += raw[i] == DLE ? 2 : 1) {
      body.push_back(static_cast<std::uint8_t>(raw[i]));
    }
    const Bytes frame = StuffedFrame(body);
    if (body.empty() || raw != std::string(frame.begin(), frame.end())) {
      if (!raw.empty() && raw[0] == DLE) faults.push_back("malformed frame " + Readable(raw));
      return;  // an AT command or an ESC: nothing for a terminal in Block Mode
    }
    if (!Roll()) return;
    const std::uint8_t code = body[0];
    const std::uint8_t index = body.size() > 1 ? body[1] : 0;
    if (code == 0x05) {
      transfer_ = index;
      SendFrame({0x2A, 0x01});
    } else if (code == 0x01 || code == 0x02 || code == 0x03) {
      if (code == 0x02) cursor_ = 0;
      const auto next = code == 0x01 ? store.find(index) : store.upper_bound(cursor_);
      if (next == store.end()) return SendFrame({0x22, 0x00, 0x00});
      if (code != 0x01) cursor_ = next->first;
      SendMessage(0x21, next->first);
    } else if (code == 0x07) {
      const auto message = expected.find(std::string(body.begin(), body.end()));
      if (message == expected.end()) {
        faults.push_back("the terminal was given an Insert SMS matching no queued message");
        return SendFrame({0x26, 0x00, 0x04});
      }
      SendFrame({0x2A, 0x04});
      delay_ += Milliseconds(Pick(3000));
      if (!calm && Pick(8) == 0) {
        if (Pick(2)) SendFrame({0x26, 0x00, 0x87});  // else: accepted, then never heard of
        return;
      }
      ++reference_;
      SendFrame({0x25, std::uint8_t(reference_ >> 8), std::uint8_t(reference_)}, message->second);
    } else if (code == 0x08) {
      if (!store.count(index)) return SendFrame({0x28, index, 0x00});
      Erase(index);
      SendFrame({0x27, index});
    } else {
      SendFrame({0x29, 0x04});
    }
  }

  TranscriptPort& port_;
  VirtualEventLoop& loop_;
  std::mt19937_64& rng_;
  Mode mode_ = Mode::Command;
  bool dsrHeld_ = false;
  bool cnmi_ = false;          // PDU Mode: +CMTI for each new message
  std::uint8_t transfer_ = 0;  // Block Mode transfer request: 0 none, 2 all, 3 T.E. only
  int cursor_ = 0;             // Block Mode Get Next position
  std::string line_;
  std::string pdu_;
  std::deque<Out> out_;
  Milliseconds delay_{0};
  bool split_ = false;
  int reference_ = 0;
};

}  // namespace kavonet::testing
