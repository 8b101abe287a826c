#pragma once
// One seeded liveness run: the gateway on the virtual clock, the adversarial terminal as its
// port, random client calls through the automation object, and after every step:
//   I1  each submitted message is queued or logged as sent, exactly once; only messages the
//       terminal confirmed are logged, and it never confirms one twice;
//   I2  after the terminal calms down, the queue drains within kCalmBase + kCalmPerMessage
//       per queued message;
//   I3  each connection writes the whole initialisation list, in order, before anything
//       else and before the session is entered;
//   I4  the terminal deletes a message only after it reached rx_grid and receive.txt, and
//       no message reaches a client twice unless the terminal refused to read or delete it;
//   P   the terminal is never given a frame or SUBMIT it cannot take.
// Shared by the test and the long-run executable.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "AdversarialTerminal.h"
#include "ControllerHarness.h"
#include "core/TSMS.h"

namespace kavonet::testing {

using namespace std::chrono_literals;

// I2 bound. A command the terminal swallowed just before it calmed down is given up after
// the 150 s response watchdog; a session the terminal ended is reopened by the 15 s connect
// timer; reconnecting takes the 1.5 s DTR pulse and at most one 30 s initialisation retry
// plus a second per init command; a listing of all 20 stored messages (two lines each, one
// line per 350 ms tick) may still wait in the receive backlog.
constexpr Milliseconds kCalmBase = 150s + 15s + 1500ms + 30s + 10 * 1s + 20 * 2 * 350ms;
// Per message: the 1 s send timer, up to 3 s network time, and three answers (prompt, +CMGS,
// OK; Request Confirmed, Insert SMS Complete), each seen within 250 ms and handled at the
// next 350 ms tick.
constexpr Milliseconds kCalmPerMessage = 1s + 3s + 3 * 600ms;

class LivenessRun {
 public:
  LivenessRun(std::uint64_t seed, bool blockMode, bool tracing)
      : tracing_(tracing), rng_(seed * 2 + blockMode) {
    const int transfer = terminal_.Pick(3);
    const bool autoConnect = terminal_.Pick(2);
    std::ofstream(dir_.Path() / "orvsms.ini")
        << "[Configuration]\nPort=2\nSpeed=9600\nInit String=ZE0&S0\nInterface="
        << (blockMode ? "Block Mode" : "PDU Mode") << "\nService Centre Address=" << kSca
        << "\n[Startup]\nAuto Connect=" << autoConnect
        << "\n[Receive Message]\nStartup Transfer=" << transfer
        << "\nLog Receive=1\nLog Transmit=1\n";
    initList_ = {"ATZE0&S0\r", "AT*T\r\r"};
    if (!blockMode)
      initList_ = {"ATZE0&S0\r", "AT+CMGF=0\r", std::string("AT+CSCA=\"") + kSca + "\"\r",
                   transfer ? "AT+CNMI=0,1,0,0\r" : "AT+CNMI=0,0,0,0\r"};
    Note("seed " + std::to_string(seed) + (blockMode ? ", Block Mode" : ", PDU Mode") +
         ", Auto Connect=" + std::to_string(autoConnect) +
         ", Startup Transfer=" + std::to_string(transfer));
    terminal_.onLine = [this](const std::string& what, const std::string& bytes) {
      Watch(what, bytes);
    };
    terminal_.onDelete = [this](int index, const std::string& text) { Deleted(index, text); };
    if (tracing) terminal_.trace = [this](const std::string& line) { Note("  " + line); };
    main_ = std::make_unique<TSMS_Main>(loop_, terminal_, dialogs_, shell_, dir_.Path());
    tsms_ = std::make_unique<TSMS>(*main_);
  }

  // Runs `steps` random steps, then the calm phase; returns the first broken invariant.
  std::string Run(int steps) {
    for (step_ = 1; step_ <= steps && failure_.empty(); ++step_, ++stepsRun) {
      int roll = terminal_.Pick(100);
      auto action = actions_.begin();
      while (roll >= action->first) roll -= (action++)->first;
      action->second();
      terminal_.Service();
      Check();
    }
    if (failure_.empty()) Calm();
    return failure_;
  }

  std::vector<std::string> trace;  // steps, and indented: every byte either side wrote
  std::int64_t stepsRun = 0;

 private:
  static constexpr const char* kSca = "+447785016005";

  void Say(const std::string& what) { Note("step " + std::to_string(step_) + ": " + what); }
  std::function<void()> Call(const char* name, void (TSMS::*call)(const std::string&)) {
    return [=, this] {
      Say(name);
      (tsms_.get()->*call)("");
    };
  }
  std::function<void()> Event(const char* name, void (AdversarialTerminal::*event)()) {
    return [=, this] {
      Say(std::string("terminal: ") + name);
      (terminal_.*event)();
    };
  }
  std::function<void()> Wait(int from, int to) {  // ms
    return [=, this] { Advance(Milliseconds(from + terminal_.Pick(to - from)), true); };
  }

  void Send() {
    static const char* const kDestinations[] = {"+447700900123", "07700900456", "+15551234567"};
    const std::string to = kDestinations[terminal_.Pick(3)];
    const std::string text = "m" + std::to_string(terminal_.expected.size() + 1);
    terminal_.expected[text] = to;
    Say("Send_Message(" + to + ", " + text + ")");
    if (tsms_->Send_Message("", to, text) != 1) Fail("Send_Message did not queue " + text);
  }
  void Retrieve() {
    Say("Register_Retrieve + Retrieve_Message");
    SeeReceived();  // the row it takes out must have been seen
    if (!tsms_->Register_Retrieve("liveness")) return;
    const std::string got = tsms_->Retrieve_Message("liveness");
    Note("  got \"" + got + "\"");
    const std::string text = got.substr(got.find_last_of(' ') + 1);
    if (!text.empty() && !retrieved_.insert(text).second && !terminal_.refused.count(text))
      Fail("I4: " + text + " reached a client twice");
  }
  void Stray() {
    Say("terminal: stray indication");
    terminal_.Stray(!main_->CommandOutstanding() && main_->Sending() == SendState::Idle);
  }
  void Deliver() {
    const std::string text = "r" + std::to_string(++delivered_);
    Say("terminal receives " + text + (terminal_.Deliver(text) ? "" : " (store full)"));
  }

  // Percent of steps of each kind.
  const std::vector<std::pair<int, std::function<void()>>> actions_ = {
      {14, [this] { Send(); }},
      {6, [this] { Retrieve(); }},
      {8, [this] { Deliver(); }},
      {2, [this] { Stray(); }},
      {1, Event("DSR toggles", &AdversarialTerminal::ToggleDsr)},
      {1, Event("End SMS Mode", &AdversarialTerminal::EndSmsMode)},
      {45, Wait(1, 2000)},
      {8, Wait(2000, 20000)},
      {2, Wait(20000, 200000)},
      {2, Call("No_Transfer_Mode", &TSMS::No_Transfer_Mode)},
      {2, Call("Transfer_TE_Mode", &TSMS::Transfer_TE_Mode)},
      {2, Call("Transfer_All_Mode", &TSMS::Transfer_All_Mode)},
      {3, Call("Get_All", &TSMS::Get_All)},
      {3, Call("Connect", &TSMS::Connect)},
      {1, Call("Disconnect", &TSMS::Disconnect)}};

  void Advance(Milliseconds total, bool say = false) {
    if (say) Say("wait " + std::to_string(total.count()) + " ms");
    terminal_.Service();
    // The terminal reacts within a quarter second.
    for (Milliseconds left = total; left > 0ms && failure_.empty(); left -= 250ms) {
      loop_.Advance(std::min(left, Milliseconds(250)));
      terminal_.Service();
    }
  }

  void Calm() {
    Note("the terminal calms down: every command is answered correctly from now on");
    terminal_.CalmDown();
    terminal_.Service();
    const Milliseconds bound = kCalmBase + kCalmPerMessage * Queued(), start = loop_.Now();
    for (; Queued() > 0 && loop_.Now() - start <= bound && failure_.empty(); Advance(1s), Check()) {
      // An answer held back from before the calm may still end the connection (the ERROR
      // limit): the user connects again, as after any such box.
      if (loop_.Now() == start
              ? !main_->Connected()
              : main_->Link() == LinkState::Idle && (loop_.Now() - start) % 15s == 0s) {
        Note("Connect");
        tsms_->Connect("");
      }
    }
    const std::string after = std::to_string((loop_.Now() - start).count() / 1000) + " s";
    Note("calm phase: " + std::to_string(Queued()) + " message(s) left after " + after);
    if (Queued() > 0) {
      Fail("I2: " + std::to_string(Queued()) + " message(s) still queued " + after +
           " after the terminal calmed down (" +
           (main_->Connected() ? "connected" : "disconnected") + ", status \"" +
           main_->StatusText() + "\")");
    }
  }

  int Queued() const { return main_->tx_queue.RowCount() - 2; }

  void Check() {
    if (main_->rx_grid.RowCount() != gridRowsSeen_) SeeReceived();
    for (const std::string& text : NewWords(dir_.Path() / "transmit.txt", txOffset_)) {
      ++logged_[text];
      if (!terminal_.journal.count(text)) Fail("I1: " + text + " logged as sent, never confirmed");
    }
    std::map<std::string, int> queued;
    for (int row = 1; row < main_->tx_queue.RowCount() - 1; ++row)
      ++queued[main_->tx_queue.Cell(1, row)];
    for (const auto& [text, to] : terminal_.expected) {
      if (queued[text] + logged_[text] != 1) {
        Fail("I1: " + text + " is queued " + std::to_string(queued[text]) +
             " time(s) and logged as sent " + std::to_string(logged_[text]) + " time(s)");
      }
    }
    if (queued.size() + logged_.size() != 2 * terminal_.expected.size())
      Fail("I1: a message never submitted is queued or logged");
    for (const auto& [text, times] : terminal_.journal)
      if (times > 1)
        Fail("I1: the terminal confirmed " + text + " " + std::to_string(times) + " times");
    if (main_->Connected() && initNext_ >= 0)
      Fail("I3: session entered before the whole init list was written");
    if (!terminal_.fault.empty()) Fail("P: " + terminal_.fault);
  }

  // I3 follows each connection's writes from the moment it opens the port.
  void Watch(const std::string& what, const std::string& bytes) {
    Note("  gateway " + (what.empty() ? "writes " + Readable(bytes) : what));
    if (!what.empty() && what != "drops DTR") initNext_ = 0;
    if (!what.empty() || initNext_ < 0) return;  // the list is complete
    const auto next = static_cast<std::size_t>(initNext_);
    if (next == 0 && bytes == "\x1B") return;              // cancels a PDU prompt left from before
    if (next > 0 && bytes == initList_[next - 1]) return;  // a retry
    if (bytes == initList_[0]) {
      initNext_ = 1;  // the list starts over
    } else if (bytes != initList_[next]) {
      return Fail("I3: wrote \"" + Readable(bytes) + "\" where the init list expects \"" +
                  Readable(initList_[next]) + "\"");
    } else {
      ++initNext_;
    }
    if (static_cast<std::size_t>(initNext_) == initList_.size()) initNext_ = -1;
  }

  void Deleted(int index, const std::string& text) {
    SeeReceived();
    const bool inGrid = seenInGrid_.count(text), inLog = received_.count(text);
    if (!inGrid || !inLog) {
      Fail("I4: the terminal deleted " + text + " at index " + std::to_string(index) +
           " before it reached " + (inGrid ? "receive.txt" : "rx_grid"));
    }
  }

  void SeeReceived() {
    gridRowsSeen_ = main_->rx_grid.RowCount();
    for (int row = 1; row < gridRowsSeen_ - 1; ++row)
      seenInGrid_.insert(main_->rx_grid.Cell(5, row));
    for (const std::string& text : NewWords(dir_.Path() / "receive.txt", rxOffset_))
      received_.insert(text);
  }

  // The last word (the message text) of each line appended to a log since the last call.
  static std::vector<std::string> NewWords(const std::filesystem::path& file,
                                           std::uintmax_t& offset) {
    std::vector<std::string> words;
    std::error_code error;
    if (std::filesystem::file_size(file, error) == offset || error) return words;
    std::ifstream in(file, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    for (std::string line; std::getline(in, line) && !in.eof();) {
      offset += line.size() + 1;
      const std::size_t end = line.find_last_not_of(" \r");
      const std::size_t start = line.find_last_of(' ', end);
      if (end != std::string::npos) words.push_back(line.substr(start + 1, end - start));
    }
    return words;
  }

  void Fail(const std::string& what) {
    if (!failure_.empty()) return;
    failure_ = what;
    Note("FAILED " + what);
  }
  void Note(const std::string& line) {
    if (!tracing_) return;
    char time[32];
    std::snprintf(time, sizeof time, "[%9.3f s] ", static_cast<double>(loop_.Now().count()) / 1000);
    trace.push_back(time + line);
  }

  bool tracing_;
  TempDir dir_;
  VirtualEventLoop loop_;
  RecordingDialogs dialogs_;
  RecordingShell shell_;
  std::mt19937_64 rng_;
  AdversarialTerminal terminal_{loop_, rng_};
  std::unique_ptr<TSMS_Main> main_;
  std::unique_ptr<TSMS> tsms_;
  std::vector<std::string> initList_;
  int initNext_ = -1;                  // index of the init command awaited next; -1: none
  std::map<std::string, int> logged_;  // text -> times logged as sent
  std::set<std::string> seenInGrid_, received_, retrieved_;
  int gridRowsSeen_ = 0, step_ = 0, delivered_ = 0;
  std::uintmax_t txOffset_ = 0, rxOffset_ = 0;
  std::string failure_;
};

}  // namespace kavonet::testing
