#pragma once
// One seeded liveness run: the gateway on the virtual clock, an adversarial terminal as its
// port, random client calls through the automation object, and after every step:
//   I1  each submitted message is queued or logged as sent, exactly once; only messages the
//       terminal confirmed are logged, and it never confirms one twice;
//   I2  after the terminal calms down, the queue drains within kCalmBase + kCalmPerMessage
//       per queued message;
//   I3  each connection writes the whole initialisation list, in order, before anything
//       else and before the session is entered;
//   I4  the terminal deletes a message only after it reached rx_grid and receive.txt, and no
//       message reaches a client twice unless the terminal refused to read or delete it;
//   P   the terminal is never given a frame or SUBMIT it cannot take;
//   R   a gateway killed and started again on the same queue store gets both queues back
//       as they were, and sends at most one message twice per kill.
// The terminal is the simulator's (its own AT interpreter, Block Mode session, store and
// codec) behind a layer that, until it calms down, refuses, swallows, delays or splits. It
// never lies: a refused or swallowed command has no effect, a message counts as sent once its
// confirmation is on the line. Shared by the test and the long-run executable.

#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <random>
#include <set>

#include "ControllerHarness.h"
#include "core/TSMS.h"
#include "sim/BlockFrame.h"
#include "sim/Terminal.h"

namespace kavonet::testing {

using namespace std::chrono_literals;

// I2 bound: the 150 s response watchdog (a command swallowed just before the calm), the 15 s
// connect timer, the 1.5 s DTR pulse, one 30 s init retry and a second per init command, and
// a listing of 20 messages (two lines each, one per 350 ms tick) still in the receive ring;
// per message the 1 s send timer, up to 3 s network time and three answers (prompt, +CMGS,
// OK; Request Confirmed, Insert SMS Complete), each seen within 250 ms and handled in 350 ms.
constexpr Milliseconds kCalmBase = 150s + 15s + 1500ms + 30s + 10 * 1s + 20 * 2 * 350ms;
constexpr Milliseconds kCalmPerMessage = 1s + 3s + 3 * 600ms;

// Printable text as it is; other bytes, and frames whole, in hex.
inline std::string Readable(const std::string& bytes) {
  std::string text;
  for (const unsigned char c : bytes) {
    const char hex[] = {'<', "0123456789ABCDEF"[c >> 4], "0123456789ABCDEF"[c & 15], '>', 0};
    text += c >= 0x20 && c < 0x7F && !bytes.starts_with("\x10\x02") ? std::string(1, char(c)) : hex;
  }
  return text;
}

class LivenessRun : public FakeCommPort {
 public:
  LivenessRun(std::uint64_t seed, bool blockMode)
      : rng_(seed * 2 + blockMode), long_(seed % 2 == 1) {
    Reset();
    const int transfer = Pick(3), autoConnect = Pick(2);
    std::ofstream(dir_.Path() / "orvsms.ini")
        << "[Configuration]\nPort=2\nSpeed=9600\nInit String=ZE0&S0\nInterface="
        << (blockMode ? "Block" : "PDU") << " Mode\nService Centre Address=+447785016005"
        << "\nLong Messages=" << long_ << "\nFast Dispatch=" << (seed % 4 >= 2)
        << "\n[Startup]\nAuto Connect=" << autoConnect
        << "\n[Receive Message]\nStartup Transfer=" << transfer
        << "\nLog Receive=1\nLog Transmit=1\n";
    initList_ = {"ATZE0&S0\r", "AT*T\r\r"};
    if (!blockMode)
      initList_ = {"ATZE0&S0\r", "AT+CMGF=0\r", "AT+CSCA=\"+447785016005\"\r",
                   transfer ? "AT+CNMI=0,1,0,0\r" : "AT+CNMI=0,0,0,0\r"};
    Start();
  }
  bool EscapeCommFunction(LineFunction function) override {
    if (function == LineFunction::SetDTR) initNext_ = 0;  // I3 follows each connection from here
    if (function == LineFunction::ClrDTR) Reset();  // &D2: back to command mode
    return FakeCommPort::EscapeCommFunction(function);
  }
  // The gateway writes one command (a line, PDU text, a frame, an ESC) at a time.
  bool Write(const std::uint8_t* bytes, int count) override {
    if (!FakeCommPort::Write(bytes, count)) return false;
    const std::string command(reinterpret_cast<const char*>(bytes), count);
    Line(command);
    if (!dsrHeld_ && count > 0) Take(command);
    return true;
  }

  // Runs `steps` random steps, then the calm phase; returns the first broken invariant.
  std::string Run(int steps) {
    for (int step = 1; step <= steps && failure_.empty(); ++step) {
      int roll = Pick(100);
      auto action = actions_.begin();
      while (roll >= action->weight) roll -= (action++)->weight;
      action->run(*this);
      Service();
      Check();
    }
    if (failure_.empty()) Calm();
    return failure_;
  }

 private:
  static constexpr int kSlots = 20;

  int Pick(int n) { return static_cast<int>(rng_() % static_cast<std::uint64_t>(n)); }
  void Fail(const std::string& what) {
    if (failure_.empty()) failure_ = what;
  }

  void Service() {
    while (!out_.empty() && out_.front().due <= loop_.Now()) {
      const Out item = std::move(out_.front());
      out_.pop_front();
      // A kill between a message's PDU and its confirmation sends it again.
      if (!item.confirms.empty() && ++journal_[item.confirms] > 1 && ++duplicates_ > kills_)
        Fail("I1: " + item.confirms + " confirmed twice");
      Receive(item.bytes);
    }
  }
  // An indication for an empty location or, while the gateway awaits nothing, a
  // confirmation, final result, refusal or prompt nobody asked for.
  void Stray() {
    const bool quiet = !main_->CommandOutstanding() && main_->Sending() == SendState::Idle;
    if (dsrHeld_ || prompt_) return;
    Plain();
    int empty = 1 + Pick(kSlots);
    while (sim_->Messages().Find(empty)) ++empty;
    const std::string strays[2][5] = {
        {"\r\n+CMTI: \"SM\"," + std::to_string(empty) + "\r\n", "\r\n+CMGS: 99\r\n",
         "\r\nOK\r\n", "\r\nERROR\r\n", "\r\n> "},
        {Frame({0x24, 0, 0, std::uint8_t(empty)}), Frame({0x2A, 1}), Frame({0x29, 3}),
         Frame({0x25, 0, 99})}};
    Queue(strays[Block()][Pick(quiet && out_.empty() ? 5 - Block() : 1)]);
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

  struct Out { Milliseconds due; std::string bytes, confirms; };

  void Plain() { delay_ = 0ms, split_ = lose_ = false; }
  bool Block() const { return sim_->Mode() == sim::InterfaceMode::kBlock; }
  static std::string Frame(const sim::Bytes& body) {
    const sim::Bytes frame = sim::BuildFrame(body);
    return {frame.begin(), frame.end()};
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

  // Of 24 commands 3 are refused with an error, 1 is swallowed, 1 is answered late and 1 in
  // two pieces; of 24 sends 1 more is refused by the network and 1 loses its confirmation.
  void Take(const std::string& unit) {
    const bool block = Block(), pdu = prompt_ && unit.back() == '\x1A';
    if (!block && !prompt_ && unit.back() == '\x1A') Fail("P: PDU text with no prompt");
    const bool command =
        block ? unit.starts_with("\x10\x02") : pdu || (!prompt_ && unit.starts_with("AT"));
    const int roll = calm_ || !command ? 24 : Pick(24);
    const int index =
        unit.starts_with("AT+CMGR=") || unit.starts_with("AT+CMGD=") ? std::atoi(unit.c_str() + 8)
        : block && command && (unit[2] == 0x01 || unit[2] == 0x08)   ? std::uint8_t(unit[3])
                                                                     : 0;
    if (roll < 3 && texts_.count(index)) refused_.insert(texts_[index]);
    Plain();
    const char* error[] = {"\r\nERROR\r\n", "\r\n+CMS ERROR: 500\r\n", "\r\n+CME ERROR: 3\r\n"};
    if (roll < 3 && !pdu) Queue(block ? Frame({0x29, std::uint8_t(2 + roll)}) : error[roll]);
    if (roll < 4 && !pdu) return;
    // PDU text goes out whole: the network refuses it, or the confirmation is lost.
    if (roll == 4) delay_ = Milliseconds(Pick(4) ? 1000 + Pick(9000) : 10000 + Pick(190000));
    split_ = roll == 5;
    if ((roll == 6 || (pdu && roll < 3)) && (pdu || unit.starts_with("\x10\x02\x07")))
      sim_->RefuseNextSend(block ? 0x87 : 500);
    lose_ = roll == 7 || roll == 3;
    // An empty location: some terminals refuse the read, others answer with no message.
    if (unit.starts_with("AT+CMGR=") && !sim_->Messages().Find(index) && !calm_ && Pick(2))
      return Queue("\r\n+CMGR: 0,,0\r\n\r\nOK\r\n");
    if (unit.find_first_of("\x1A\x1B") != std::string::npos) prompt_ = false;
    input_ = unit;
    sim_->Receive(unit);
    // I4: a message the terminal no longer holds must have been received.
    std::erase_if(texts_, [this](const auto& slot) {
      if (sim_->Messages().Find(slot.first)) return false;
      SeeReceived();
      if (!seenInGrid_.count(slot.second) || !received_.count(slot.second))
        Fail("I4: " + slot.second + " deleted at " + std::to_string(slot.first) +
             " before it was received");
      return true;
    });
  }

  void Sent(const sim::SentMessage& message) {
    std::string text = message.text;
    if (message.part) {  // a part counts as its own send; the last one as the message
      auto& parts = parts_[message.destination + "/" + std::to_string(message.part->reference)];
      parts[message.part->number] = text;
      text += "#" + std::to_string(message.part->number);
      if (message.part->number == message.part->total && parts.size() == message.part->total)
        for (text.clear(); const auto& part : parts) text += part.second;
    }
    const auto queued = std::find_if(expected_.begin(), expected_.end(), [&](const auto& e) {
      return e.second == message.destination && e.first.find(message.text) != std::string::npos;
    });
    if (queued == expected_.end() || (!message.part && !expected_.count(text)))
      Fail("P: SUBMIT of " + message.text + " to " + message.destination +
           ", no such message queued");
    sent_ = text;
  }

  // What the simulator writes, on its way to the line.
  void Emit(std::string bytes) {
    if (bytes.find("+CMS ERROR: 304") != std::string::npos ||
        bytes.find("\x10\x02\x29") != std::string::npos)
      Fail("P: the terminal could not take " + Readable(input_));
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

  // Answers leave in order; a late one holds back everything behind it. A confirmation stays
  // whole: it counts once it is on the line.
  void Queue(std::string bytes, const std::string& confirms = {}) {
    if (bytes.empty()) return;
    Milliseconds due = std::max(loop_.Now() + delay_, out_.empty() ? 0ms : out_.back().due);
    if (split_ && confirms.empty() && bytes.size() > 1) {
      const std::size_t cut = 1 + Pick(static_cast<int>(bytes.size()) - 1);
      out_.push_back({due, bytes.substr(0, cut), {}});
      due += Milliseconds(1 + Pick(2000));
      bytes.erase(0, cut);
    }
    out_.push_back({due, bytes, confirms});
  }

  VirtualEventLoop loop_;
  std::mt19937_64 rng_;
  std::string failure_;
  std::unique_ptr<sim::Terminal> sim_;
  std::map<int, std::string> texts_;  // index -> text of each stored message (of each part)
  std::map<std::string, std::map<unsigned, std::string>> parts_;  // parts sent, by message
  std::deque<Out> out_;
  std::string input_, sent_;  // the command the simulator takes; the message it took to send
  bool dsrHeld_ = false, prompt_ = false, calm_ = false, split_ = false, lose_ = false;
  Milliseconds delay_{0};  // split_, lose_, delay_: how the answer to the command taken goes out
  struct Action {
    int weight;  // percent of the steps
    std::function<void(LivenessRun&)> run;
  };
  static std::function<void(LivenessRun&)> Wait(int from, int to) {  // ms
    return [=](LivenessRun& r) { r.Advance(Milliseconds(from + r.Pick(to - from))); };
  }
  const std::vector<Action> actions_ = {
      {14, &LivenessRun::Send},
      {6, &LivenessRun::Retrieve},
      {8, &LivenessRun::Arrive},
      {2, &LivenessRun::Stray},
      {1, &LivenessRun::ToggleDsr},
      {1, &LivenessRun::EndSmsMode},
      {44, Wait(1, 2000)},
      {1, &LivenessRun::Kill},
      {8, Wait(2000, 20000)},
      {2, Wait(20000, 200000)},
      {2, [](LivenessRun& r) { r.tsms_->No_Transfer_Mode(""); }},
      {2, [](LivenessRun& r) { r.tsms_->Transfer_TE_Mode(""); }},
      {2, [](LivenessRun& r) { r.tsms_->Transfer_All_Mode(""); }},
      {3, [](LivenessRun& r) { r.tsms_->Get_All(""); }},
      {3, [](LivenessRun& r) { r.tsms_->Connect(""); }},
      {1, [](LivenessRun& r) { r.tsms_->Disconnect(""); }}};

  void Start() {
    tsms_.reset();
    main_ = std::make_unique<TSMS_Main>(loop_, *this, dialogs_, shell_, dir_.Path());
    main_->UseQueueStore(store_);
    tsms_ = std::make_unique<TSMS>(*main_);
  }
  // The texts of a queue's message rows.
  static std::vector<std::string> Texts(const StringGrid& grid, int col) {
    std::vector<std::string> cells;
    for (int row = 1; row < grid.RowCount() - 1; ++row) cells.push_back(grid.Cell(col, row));
    return cells;
  }
  void Kill() {
    SeeReceived();
    const auto sending = Texts(main_->tx_queue, 1), received = Texts(main_->rx_grid, 5);
    ++kills_;
    main_.reset();  // nothing runs on the way out, as after a SIGKILL
    Start();
    if (Texts(main_->tx_queue, 1) != sending) Fail("R: the send queue came back changed");
    if (Texts(main_->rx_grid, 5) != received) Fail("R: the receive queue came back changed");
    gridRowsSeen_ = main_->rx_grid.RowCount();
  }
  void Send() {
    static const char* const kDestinations[] = {"+447700900123", "07700900456", "+15551234567"};
    const std::string to = kDestinations[Pick(3)],
                      text = "m" + std::to_string(expected_.size() + 1) +
                             std::string(long_ && expected_.size() % 4 == 3 ? 200 : 0, 'x');
    expected_[text] = to;
    if (tsms_->Send_Message("", to, text) != 1) Fail("Send_Message did not queue " + text);
  }
  void Retrieve() {
    if (main_->rx_grid.RowCount() > 2) SeeReceived();  // the row it takes out must be seen
    if (!tsms_->Register_Retrieve("liveness")) return;
    const std::string got = tsms_->Retrieve_Message("liveness"),
                      text = got.substr(got.rfind(' ') + 1);
    if (!text.empty() && !retrieved_.insert(text).second && !refused_.count(text))
      Fail("I4: " + text + " reached a client twice");
  }
  // A message from the network; a long one in parts, from a sender of its own: the
  // simulator's references start again with it.
  void Arrive() {
    const bool inParts = ++delivered_ % 4 == 0 && long_;
    const std::string text =
        "r" + std::to_string(delivered_) + std::string(inParts ? 200 : 0, 'y');
    const std::string origin = inParts ? "+4477009002" + std::to_string(delivered_) : "+447700900123";
    Plain();
    const auto index = dsrHeld_ ? sim_->Store(origin, text) : sim_->Deliver(origin, text);
    if (index)
      for (const int part : *index.value) texts_[part] = text;
  }

  void Advance(Milliseconds total) {
    Service();
    // The terminal reacts within a quarter second.
    for (Milliseconds left = total; left > 0ms && failure_.empty(); left -= 250ms) {
      loop_.Advance(std::min(left, 250ms));
      Service();
    }
  }

  void Calm() {
    if (dsrHeld_) ToggleDsr();
    calm_ = true;
    for (Out& item : out_) item.due = std::min(item.due, loop_.Now());
    const Milliseconds bound = kCalmBase + kCalmPerMessage * Queued() * (long_ ? 2 : 1),
                       start = loop_.Now();
    // Every 15 s the user connects again if the gateway has given up, as after any error box,
    // or asks for a listing; a client keeps taking what arrives.
    for (Milliseconds t = 0ms; (Queued() > 0 || t < 60s) && t <= bound && failure_.empty();
         Advance(1s), Retrieve(), Check(), t = loop_.Now() - start)
      if (t % 15s == 0s) main_->Link() == LinkState::Idle ? tsms_->Connect("") : tsms_->Get_All("");
    if (Queued() > 0) Fail("I2: " + std::to_string(Queued()) + " left: " + main_->StatusText());
  }

  int Queued() const { return main_->tx_queue.RowCount() - 2; }

  void Check() {
    if (main_->rx_grid.RowCount() != gridRowsSeen_) SeeReceived();
    if (main_->Connected() && initNext_ >= 0) Fail("I3: session entered before the init list");
    // Queued and logged messages change only with the row count or a new message.
    if (std::pair(main_->tx_queue.RowCount(), expected_.size()) == queueSeen_) return;
    queueSeen_ = {main_->tx_queue.RowCount(), expected_.size()};
    for (const std::string& text : NewWords("transmit.txt", txOffset_)) {
      ++logged_[text];
      if (!journal_.count(text)) Fail("I1: " + text + " logged as sent, never confirmed");
    }
    std::map<std::string, int> times = logged_;  // queued or logged as sent
    for (const std::string& text : Texts(main_->tx_queue, 1)) ++times[text];
    for (const auto& [text, to] : expected_)
      if (times[text] != 1) Fail("I1: " + text + " queued or sent " + std::to_string(times[text]));
    if (times.size() != expected_.size()) Fail("I1: a message never submitted is queued or logged");
  }

  // I3: each write of a connection, until its init list is complete.
  void Line(const std::string& bytes) {
    // An ESC first cancels a PDU prompt left from before.
    if (initNext_ < 0 || (initNext_ == 0 && bytes == "\x1B")) return;
    if (bytes != initList_[initNext_])
      Fail("I3: wrote " + Readable(bytes) + " for " + Readable(initList_[initNext_]));
    else if (++initNext_ == static_cast<int>(initList_.size()))
      initNext_ = -1;  // the list is complete
  }

  void SeeReceived() {
    gridRowsSeen_ = main_->rx_grid.RowCount();
    for (const std::string& text : Texts(main_->rx_grid, 5)) seenInGrid_.insert(text);
    for (const std::string& text : NewWords("receive.txt", rxOffset_)) received_.insert(text);
  }

  // The message text (the last word) of each line added to a log since the last call.
  std::vector<std::string> NewWords(const char* log, std::uintmax_t& at) {
    std::ifstream in(dir_.Path() / log, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(at));
    std::vector<std::string> words;
    for (std::string line; std::getline(in, line, '\r') && in.get() == '\n';
         at += line.size() + 2) {
      const std::size_t end = line.find_last_not_of(' '), start = line.rfind(' ', end);
      words.push_back(line.substr(start + 1, end - start));
    }
    return words;
  }

  bool long_;  // Long Messages: some messages go and come in parts
  std::map<std::string, std::string> expected_;  // text -> destination of each queued message
  std::map<std::string, int> journal_;           // text -> confirmations that went out
  std::set<std::string> refused_;  // messages whose location it refused to read or delete
  int kills_ = 0, duplicates_ = 0;
  TempDir dir_;
  RecordingDialogs dialogs_;
  RecordingShell shell_;
  std::vector<std::string> initList_;
  int initNext_ = -1, gridRowsSeen_ = 0, delivered_ = 0;  // initNext_ -1: list done
  std::map<std::string, int> logged_;                                // text -> times logged as sent
  std::set<std::string> seenInGrid_, received_, retrieved_;
  std::uintmax_t txOffset_ = 0, rxOffset_ = 0;
  std::pair<int, std::size_t> queueSeen_;  // the send queue's row count and messages submitted
  MemoryQueueStore store_;
  std::unique_ptr<TSMS_Main> main_;        // last: its port calls back into everything above
  std::unique_ptr<TSMS> tsms_;
};

}  // namespace kavonet::testing
