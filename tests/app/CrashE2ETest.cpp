// The kavonet program killed with SIGKILL at random moments (half of them with a message's
// PDU on the line) and started again, against a simulated terminal that outlives it, while
// clients submit and retrieve: every acknowledged message is sent and logged once (a kill
// between a PDU and its confirmation may send that one twice), and every delivered message
// reaches a client once. KAVONET_CRASH_MESSAGES (default 12) and KAVONET_CRASH_KILLS
// (default 6) size a run in each direction; KAVONET_CRASH_SEED replays one.

#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <thread>

#include "GatewayProcess.h"

namespace kavonet::testing {
namespace {

int Setting(const char* name, int fallback) {
  const char* value = std::getenv(name);
  return value ? std::atoi(value) : fallback;
}

// How often each word between `key` and `end` occurs in `text`.
std::map<std::string, int> Count(const std::string& text, const std::string& key, char end) {
  std::map<std::string, int> counts;
  for (std::size_t at = 0; (at = text.find(key, at)) != std::string::npos;) {
    at += key.size();
    ++counts[text.substr(at, text.find(end, at) - at)];
  }
  return counts;
}

class Crash : public GatewayTest, public ::testing::WithParamInterface<const char*> {
 protected:
  static constexpr int kLatencyMs = 150;  // the simulator's answers: room to kill in between

  void StartTerminal() {
    terminal_ = std::make_unique<SimTerminal>(sandbox, sandbox.Work(),
                                              std::vector<std::string>{"--latency", std::to_string(kLatencyMs)});
    ASSERT_TRUE(terminal_->Started()) << terminal_->Process().Output();
    control = terminal_->ControlSocket();
    journal = terminal_->JournalFile();
    // Block Mode with transfer mode All (Incoming Message), PDU Mode with T.E. (+CMTI).
    std::ofstream(sandbox.Work() / "orvsms.ini") << IniText(
        {{"Configuration", "Port", "2"}, {"Configuration", "Interface", GetParam()}, {"Startup", "Auto Connect", "1"},
         {"Receive Message", "Startup Transfer", Block() ? "2" : "1"}, {"Receive Message", "Log Transmit", "1"},
         {"Ports", "COM2", terminal_->Link().string()}});
  }
  bool Block() const { return std::string(GetParam()) == "Block Mode"; }

  void StartAndKill(int round, int rounds, int messages) {
    gateway = std::make_unique<ChildProcess>(std::vector<std::string>{KavonetProgram(), "--headless"},
                                             sandbox.Environment(), sandbox.Work());
    ASSERT_TRUE(gateway->WaitForOutput("Entered ETSI SMS")) << gateway->Output();
    if (round == rounds) return;  // the last start runs on
    for (const int goal = (round + 1) * messages / rounds; done_ < goal;) {
      const std::string n = std::to_string(++done_);
      ASSERT_EQ(Command("+4479" + n + ";m" + n), "OK 1");
      ASSERT_EQ(Sim("deliver +4479 r" + n).rfind("OK", 0), 0u);
    }
    if (rng_() % 2) Retrieve();
    const std::size_t from = gateway->Output().size();
    if (rng_() % 2 && gateway->WaitForOutput(Block() ? "Request Confirmed" : "AT+CMGS=", 8000ms, from)) {
      std::this_thread::sleep_for(Milliseconds(kLatencyMs + rng_() % (3ul * kLatencyMs)));
    } else {
      std::this_thread::sleep_for(Milliseconds(rng_() % 4000));
    }
    gateway->Signal(SIGKILL);
    ASSERT_EQ(gateway->Wait(), 128 + SIGKILL);
    // A pseudo-terminal has no DTR line: do what the next start's DTR pulse does to a real
    // terminal in Block Mode.
    if (Block()) Sim("leave-block-mode");
  }

  void Retrieve() {
    for (const auto& [text, times] : Count(Ctl({"retrieve", "--app", "crash"}).output, " r", '\n'))
      retrieved_["r" + text] += times;
  }

  unsigned seed_ = static_cast<unsigned>(Setting("KAVONET_CRASH_SEED", static_cast<int>(std::random_device{}())));
  std::mt19937 rng_{seed_};
  int done_ = 0;
  std::map<std::string, int> retrieved_;
  std::unique_ptr<SimTerminal> terminal_;
};

TEST_P(Crash, NothingAcknowledgedOrDeliveredIsLostOrRepeated) {
  const int messages = Setting("KAVONET_CRASH_MESSAGES", 12), kills = Setting("KAVONET_CRASH_KILLS", 6);
  bus = std::make_unique<PrivateBus>(sandbox);
  ASSERT_TRUE(bus->Started());
  StartTerminal();
  for (int round = 0; round <= kills; ++round) ASSERT_NO_FATAL_FAILURE(StartAndKill(round, kills, messages));
  const auto logged = [&] { return Count(ReadFile(sandbox.Work() / "transmit.txt"), " m", ' '); };
  // What the terminal still holds comes in with one listing (a client listing again and
  // again would hold back the send queue).
  Ctl({"get-all"});
  EXPECT_TRUE(Eventually([&] {
    Retrieve();
    return logged().size() >= std::size_t(messages) && retrieved_.size() >= std::size_t(messages);
  }, Milliseconds(30000 + 6000 * messages))) << "seed " << seed_ << "\n" << Ctl({"queue", sandbox.Work().string()}).output << gateway->Output();
  const auto sent = Count(ReadFile(journal), "\"text\":\"m", '"');
  int twice = 0;
  for (int i = 1; i <= messages; ++i) {
    const std::string n = std::to_string(i);
    EXPECT_TRUE(sent.count(n) && logged().count(n) && logged().at(n) == 1) << "m" << n << ", seed " << seed_;
    EXPECT_EQ(retrieved_["r" + n], 1) << "r" << n << ", seed " << seed_;
    twice += sent.count(n) ? sent.at(n) - 1 : 0;
  }
  EXPECT_EQ(sent.size() + retrieved_.size(), std::size_t(2 * messages)) << "seed " << seed_;
  EXPECT_LE(twice, kills) << "seed " << seed_;
  std::cout << messages << " messages each way, " << kills << " kills: " << twice << " sent twice\n";
}

INSTANTIATE_TEST_SUITE_P(Modes, Crash, ::testing::Values("PDU Mode", "Block Mode"),
                         [](const auto& info) { return std::string(info.param).substr(0, 3) == "PDU" ? "Pdu" : "Block"; });

}  // namespace
}  // namespace kavonet::testing
