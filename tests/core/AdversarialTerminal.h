#pragma once
// The terminal behind the fake port for the liveness test: the simulator's terminal (its
// own AT interpreter, Block Mode session, message store and codec) behind a layer that,
// until it is calmed down, refuses or swallows some commands and answers others late or in
// pieces. The layer never lies: a refused or swallowed command has no effect, and a message
// counts as sent only when its confirmation goes out on the line.

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>

#include "loop/VirtualEventLoop.h"
#include "serial/FakeCommPort.h"
#include "sim/BlockFrame.h"
#include "sim/Terminal.h"

namespace kavonet::testing {

// Text as it is with control bytes in hex; a frame all in hex.
inline std::string Readable(const std::string& bytes) {
  const bool frame = bytes.starts_with("\x10\x02");
  std::string text;
  for (const unsigned char c : bytes) {
    const char hex[] = {' ', "0123456789ABCDEF"[c >> 4], "0123456789ABCDEF"[c & 15], 0};
    text += frame                   ? hex
            : c == '\r'             ? "\\r"
            : c == '\n'             ? "\\n"
            : c >= 0x20 && c < 0x7F ? std::string(1, char(c))
                                    : "<" + std::string(hex + 1) + ">";
  }
  return text;
}

class AdversarialTerminal : public FakeCommPort {
 public:
  static constexpr int kSlots = 20;

  AdversarialTerminal(VirtualEventLoop& loop, std::mt19937_64& rng) : loop_(loop), rng_(rng) {
    Reset();
  }

  int Pick(int n) { return static_cast<int>(rng_() % static_cast<std::uint64_t>(n)); }

  std::map<std::string, std::string> expected;  // text -> destination of each queued message
  std::map<std::string, int> journal;           // text -> confirmations that went out
  std::string fault;                            // the first input no terminal could take
  std::set<std::string> refused;  // messages whose location the terminal refused to read or delete
  std::function<void(const std::string& what, const std::string& bytes)> onLine;  // the gateway's
  std::function<void(int index, const std::string& text)> onDelete;
  std::function<void(const std::string&)> trace;
  bool calm = false;

  bool Open(const std::string& name, std::uint32_t in, std::uint32_t out) override {
    return FakeCommPort::Open(name, in, out) && Line("opens the port");
  }
  bool EscapeCommFunction(LineFunction function) override {
    if (function == LineFunction::SetDTR) Line("raises DTR");
    if (function == LineFunction::ClrDTR && Line("drops DTR")) Reset();  // &D2: command mode
    return FakeCommPort::EscapeCommFunction(function);
  }
  bool Write(const std::uint8_t* bytes, int count) override {
    if (!FakeCommPort::Write(bytes, count)) return false;
    const std::string written(reinterpret_cast<const char*>(bytes), count);
    Line("", written);
    // One command at a time: a line, PDU text or an ESC; in Block Mode the whole write.
    for (std::size_t at = 0, end = 0; !dsrHeld_ && at < written.size(); at = end) {
      end = Block() ? written.size() : written.find_first_of("\r\x1A\x1B", at);
      end = std::min(end, written.size() - 1) + 1;
      Command(written.substr(at, end - at));
    }
    return true;
  }

  // Sends what is due.
  void Service() {
    while (!out_.empty() && out_.front().due <= loop_.Now()) {
      const Out item = std::move(out_.front());
      out_.pop_front();
      if (trace)
        trace("terminal: " + Readable(item.bytes) +
              (item.confirms.empty() ? "" : "  = sent " + item.confirms));
      if (!item.confirms.empty()) ++journal[item.confirms];
      Receive(item.bytes);
    }
  }

  // A message from the network; false when the store is full.
  bool Deliver(const std::string& text) {
    Plain();
    const auto index =
        dsrHeld_ ? sim_->Store("+447700900123", text) : sim_->Deliver("+447700900123", text);
    if (index) texts_[*index.value] = text;
    return bool(index);
  }
  // An indication for an empty location or, while the gateway awaits nothing (`quiet`), a
  // confirmation or refusal nobody asked for.
  void Stray(bool quiet) {
    if (dsrHeld_ || prompt_) return;
    Plain();
    int empty = 1 + Pick(kSlots);
    while (sim_->Messages().Find(empty)) ++empty;
    const std::string strays[2][4] = {
        {"\r\n+CMTI: \"SM\"," + std::to_string(empty) + "\r\n", "\r\n+CMGS: 99\r\n"},
        {Frame({0x24, 0, 0, std::uint8_t(empty)}), Frame({0x2A, 0x01}), Frame({0x29, 0x03}),
         Frame({0x25, 0, 99})}};
    Queue(strays[Block()][Pick(quiet && out_.empty() ? 2 + 2 * Block() : 1)]);
  }
  void ToggleDsr() {
    dsrHeld_ = !dsrHeld_;
    Reset();  // powered off, or back on fresh
    SetDsrHold(dsrHeld_);
  }
  void EndSmsMode() {
    Plain();
    if (!dsrHeld_) sim_->LeaveBlockMode(0x06);
  }
  void CalmDown() {
    calm = true;
    if (dsrHeld_) ToggleDsr();
    for (Out& item : out_) item.due = std::min(item.due, loop_.Now());
  }

 private:
  struct Out {
    Milliseconds due;
    std::string bytes;
    std::string confirms;
  };

  bool Line(const std::string& what, const std::string& bytes = {}) {
    if (onLine) onLine(what, bytes);
    return true;
  }
  bool Block() const { return sim_->Mode() == sim::InterfaceMode::kBlock; }
  static std::string Frame(const sim::Bytes& body) {
    const sim::Bytes frame = sim::BuildFrame(body);
    return {frame.begin(), frame.end()};
  }
  void Fault(const std::string& what) {
    if (fault.empty()) fault = what;
  }
  void Plain() {
    delay_ = Milliseconds(0);
    split_ = lose_ = false;
  }

  // A fresh terminal that keeps its stored messages.
  void Reset() {
    sim::MessageStore store = sim_ ? sim_->Messages() : sim::MessageStore(kSlots);
    sim_ = std::make_unique<sim::Terminal>(
        sim::TerminalOptions{}, [this](std::string_view bytes) { Emit(std::string(bytes)); },
        [this](const sim::SentMessage& message) { Sent(message); },
        [] { return sim::SmsTimestamp{25, 1, 12, 12, 45, 8}; });
    sim_->Messages() = std::move(store);
    out_.clear();
    prompt_ = false;
  }

  // Out of 24 commands 3 are refused with an error and 1 is swallowed, 1 is answered late
  // and 1 in two pieces; of 24 sends 1 more is refused by the network and 1 has its
  // confirmation lost.
  void Command(const std::string& unit) {
    const bool block = Block(), frame = block && unit.starts_with("\x10\x02");
    const bool pdu = prompt_ && unit.back() == '\x1A';
    if (!block && !prompt_ && unit.back() == '\x1A')
      Fault("PDU data written with no \"> \" prompt outstanding");
    const bool command =
        frame || pdu ||
        (!block && !prompt_ && unit.back() == '\r' && unit.find("AT") != std::string::npos);
    const int roll = calm || !command ? 24 : Pick(24);
    const int index = unit.starts_with("AT+CMGR=") || unit.starts_with("AT+CMGD=")
                          ? std::atoi(unit.c_str() + 8)
                      : frame && (unit[2] == 0x01 || unit[2] == 0x08) ? std::uint8_t(unit[3])
                                                                      : 0;
    if (roll < 3 && texts_.count(index)) refused.insert(texts_[index]);
    Plain();
    if (roll < 4) {
      if (pdu) {  // the PDU text is dropped, and the prompt with it
        drop_ = true;
        sim_->Receive("\x1B");
        drop_ = prompt_ = false;
      }
      static const char* const kErrors[] = {"ERROR",           "ERROR",         "+CMS ERROR: 301",
                                            "+CMS ERROR: 500", "+CME ERROR: 3", "+CME ERROR: 16"};
      if (roll < 3)
        Queue(block ? Frame({0x29, std::uint8_t(2 + Pick(3))})
                    : std::string("\r\n") + kErrors[Pick(6)] + "\r\n");
      return;
    }
    if (roll == 4) delay_ = Milliseconds(Pick(4) ? 1000 + Pick(9000) : 10000 + Pick(190000));
    split_ = roll == 5;
    if (roll == 6 && (pdu || unit.starts_with("\x10\x02\x07")))
      sim_->RefuseNextSend(block ? 0x87 : 500);
    lose_ = roll == 7;
    // An empty location: some terminals refuse the read, others answer with no message.
    if (unit.starts_with("AT+CMGR=") && !sim_->Messages().Find(index) && !calm && Pick(2))
      return Queue("\r\n+CMGR: 0,,0\r\n\r\nOK\r\n");
    if (unit.find_first_of("\x1A\x1B") != std::string::npos) prompt_ = false;
    input_ = unit;
    sim_->Receive(unit);
    std::erase_if(texts_, [this](const auto& slot) {
      if (sim_->Messages().Find(slot.first)) return false;
      if (onDelete) onDelete(slot.first, slot.second);
      return true;
    });
  }

  void Sent(const sim::SentMessage& message) {
    const auto queued = expected.find(message.text);
    if (queued == expected.end() || queued->second != message.destination)
      Fault("SUBMIT of \"" + message.text + "\" to " + message.destination +
            " matching no queued message");
    sent_ = message.text;
  }

  // What the simulator writes, on its way to the line.
  void Emit(std::string bytes) {
    if (drop_) return;
    if (bytes.find("+CMS ERROR: 304") != std::string::npos ||
        bytes.find("\x10\x02\x29") != std::string::npos)
      Fault("the terminal could not take " + Readable(input_));
    if (bytes.ends_with("> ")) prompt_ = true;
    const std::string confirms = std::exchange(sent_, {});
    if (!confirms.empty()) {
      // Block Mode confirms the attempt at once; the network takes up to 3 s.
      const std::size_t cut = Block() ? bytes.find("\x10\x03") + 4 : 0;
      Queue(bytes.substr(0, cut));
      bytes.erase(0, cut);
      delay_ += Milliseconds(Pick(3000));
      if (lose_) return;
    }
    Queue(bytes, confirms);
  }

  // Answers leave in order; a late one holds back everything behind it. A confirmation
  // stays whole: it counts once it is on the line.
  void Queue(std::string bytes, const std::string& confirms = {}) {
    if (bytes.empty()) return;
    Milliseconds due = loop_.Now() + delay_;
    if (!out_.empty()) due = std::max(due, out_.back().due);
    if (split_ && confirms.empty() && bytes.size() > 1) {
      const std::size_t cut = 1 + Pick(static_cast<int>(bytes.size()) - 1);
      out_.push_back({due, bytes.substr(0, cut), {}});
      due += Milliseconds(1 + Pick(2000));
      bytes.erase(0, cut);
    }
    out_.push_back({due, bytes, confirms});
  }

  VirtualEventLoop& loop_;
  std::mt19937_64& rng_;
  std::unique_ptr<sim::Terminal> sim_;
  std::map<int, std::string> texts_;  // index -> text of each stored message
  std::deque<Out> out_;
  std::string input_;  // the command the simulator is taking
  std::string sent_;   // the message it just took for sending
  bool dsrHeld_ = false, prompt_ = false, drop_ = false;
  Milliseconds delay_{0};
  bool split_ = false, lose_ = false;
};

}  // namespace kavonet::testing
