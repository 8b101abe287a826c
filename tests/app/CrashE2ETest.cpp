// The kavonet program killed with SIGKILL at random moments and started again, against a
// simulated terminal that outlives it: nothing acknowledged or delivered is lost, a
// confirmed message is never sent again, and only a kill that fell between a message's
// PDU and its confirmation may send that message twice.
//
// KAVONET_CRASH_MESSAGES and KAVONET_CRASH_KILLS set the size of a run (default 20
// messages, 10 kills); KAVONET_CRASH_SEED replays one.

#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "GatewayFixture.h"

namespace kavonet::testing {
namespace {

int Setting(const char* name, int fallback) {
  const char* value = std::getenv(name);
  return value ? std::atoi(value) : fallback;
}

// Times each text occurs as a whole word after `key` in `text` (journal lines and log lines).
std::map<std::string, int> CountTexts(const std::string& text, const std::string& key,
                                      const std::string& end) {
  std::map<std::string, int> counts;
  for (std::size_t at = 0; (at = text.find(key, at)) != std::string::npos;) {
    at += key.size();
    const std::size_t stop = text.find(end, at);
    ++counts[text.substr(at, stop - at)];
  }
  return counts;
}

class Crash : public GatewayTest {
 protected:
  static constexpr int kLatencyMs = 150;

  void SetUp() override {
    seed_ = static_cast<unsigned>(Setting("KAVONET_CRASH_SEED", static_cast<int>(std::random_device{}())));
    rng_.seed(seed_);
    RecordProperty("seed", std::to_string(seed_));
  }

  void StartTerminal(const std::string& interface, int transfer) {
    blockMode_ = interface == "Block Mode";
    const std::filesystem::path work = sandbox.Work();
    control = work / "sim.sock";
    journal = work / "journal";
    terminal_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{SimProgram(), "--link", (work / "modem").string(), "--journal",
                                 journal.string(), "--control", control.string(), "--latency",
                                 std::to_string(kLatencyMs)},
        sandbox.Environment(), work);
    ASSERT_TRUE(terminal_->WaitForOutput("/dev/")) << terminal_->Output();
    std::ofstream(work / "orvsms.ini")
        << "[Configuration]\nPort=2\nSpeed=9600\nInit String=ZE0&S0\nInterface=" << interface
        << "\n[Startup]\nAuto Connect=1\n[Receive Message]\nStartup Transfer=" << transfer
        << "\nLog Receive=1\nLog Transmit=1\n[Ports]\nCOM2=" << (work / "modem").string() << "\n";
  }

  void Start() {
    gateway = std::make_unique<ChildProcess>(std::vector<std::string>{KavonetProgram(), "--headless"},
                                             sandbox.Environment(), sandbox.Work());
    ASSERT_TRUE(gateway->WaitForOutput("command channel on")) << gateway->Output();
  }

  // Kills the gateway at a random moment; half the time while a message's PDU is on the
  // line (the simulator answers each write after kLatencyMs).
  void KillAtRandom(const char* sending) {
    const std::size_t from = gateway->Output().size();
    if (Pick(2) == 0 && gateway->WaitForOutput(sending, 8000ms, from)) {
      std::this_thread::sleep_for(Milliseconds(kLatencyMs + Pick(3 * kLatencyMs)));
    } else {
      std::this_thread::sleep_for(Milliseconds(Pick(4000)));
    }
    gateway->Signal(SIGKILL);
    ASSERT_EQ(gateway->Wait(), 128 + SIGKILL);
    ++kills_;
    // A pseudo-terminal has no DTR line: do what the next gateway's DTR pulse does to a
    // real terminal in Block Mode.
    if (blockMode_) Sim("leave-block-mode");
  }

  // Waits, with the gateway running, until `done` holds.
  void Settle(const std::function<bool()>& done, int messages) {
    EXPECT_TRUE(Eventually(done, Milliseconds(20000 + 4000 * messages)))
        << "seed " << seed_ << "\n" << Ctl({"queue", sandbox.Work().string()}).output << gateway->Output();
  }

  int Pick(int n) { return static_cast<int>(rng_() % static_cast<unsigned>(n)); }

  unsigned seed_ = 0;
  std::mt19937 rng_;
  int kills_ = 0;
  bool blockMode_ = false;
  std::unique_ptr<ChildProcess> terminal_;
};

TEST_F(Crash, EveryAcknowledgedMessageIsSentAndLoggedOnce) {
  const int messages = Setting("KAVONET_CRASH_MESSAGES", 20), rounds = Setting("KAVONET_CRASH_KILLS", 10);
  StartTerminal("PDU Mode", 0);
  int submitted = 0;
  for (int round = 0; round < rounds; ++round) {
    Start();
    for (int goal = (round + 1) * messages / rounds; submitted < goal;) {
      ASSERT_EQ(Socat("+4479" + std::to_string(submitted) + ";m" + std::to_string(submitted + 1)), "OK 1");
      ++submitted;
    }
    KillAtRandom("AT+CMGS=");
  }
  Start();
  const auto logLines = [&] { return CountTexts(ReadFile(sandbox.Work() / "transmit.txt"), " m", " \r\n"); };
  Settle([&] { return logLines().size() >= static_cast<std::size_t>(messages); }, messages);
  const auto sent = CountTexts(ReadFile(journal), "\"text\":\"", "\"");
  const auto logged = logLines();
  int duplicates = 0;
  for (int i = 1; i <= messages; ++i) {
    const std::string text = std::to_string(i);
    EXPECT_GE(sent.count("m" + text) ? sent.at("m" + text) : 0, 1) << "m" << text << " never sent, seed " << seed_;
    duplicates += sent.count("m" + text) ? sent.at("m" + text) - 1 : 0;
    EXPECT_EQ(logged.count(text) ? logged.at(text) : 0, 1) << "m" << text << " logged, seed " << seed_;
  }
  EXPECT_EQ(sent.size(), static_cast<std::size_t>(messages)) << "seed " << seed_;
  EXPECT_LE(duplicates, kills_) << "seed " << seed_;
  RecordProperty("duplicates", duplicates);
}

// Received messages: delivered by the terminal (Block Mode Incoming Message with transfer
// mode All, or +CMTI with T.E.), taken by a client over the bus, the gateway killed between.
class CrashReceiving : public Crash, public ::testing::WithParamInterface<std::pair<const char*, int>> {
 protected:
  // Every message a client can retrieve now, by text.
  void RetrieveAll(std::map<std::string, int>& retrieved) {
    const RunResult result = Ctl({"retrieve", "--app", "crash"});
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind(" r") != std::string::npos) ++retrieved[line.substr(line.rfind(' ') + 1)];
    }
  }
};

TEST_P(CrashReceiving, EveryDeliveredMessageReachesAClientOnce) {
  const int messages = Setting("KAVONET_CRASH_MESSAGES", 20) / 2, rounds = Setting("KAVONET_CRASH_KILLS", 10) / 2;
  bus = std::make_unique<PrivateBus>(sandbox);
  ASSERT_TRUE(bus->Started());
  StartTerminal(GetParam().first, GetParam().second);
  std::map<std::string, int> retrieved;
  int delivered = 0;
  for (int round = 0; round <= rounds; ++round) {
    Start();
    ASSERT_TRUE(gateway->WaitForOutput("Entered ETSI SMS")) << gateway->Output();
    if (round == rounds) break;
    for (int goal = (round + 1) * messages / rounds; delivered < goal;) {
      ASSERT_EQ(Sim("deliver +4479 r" + std::to_string(++delivered)).rfind("OK", 0), 0u);
    }
    if (Pick(2)) RetrieveAll(retrieved);
    KillAtRandom("Message");
  }
  // What the terminal still holds comes in with a listing.
  Settle([&] {
    Ctl({"get-all"});
    RetrieveAll(retrieved);
    return retrieved.size() >= static_cast<std::size_t>(delivered);
  }, messages);
  for (int i = 1; i <= delivered; ++i) {
    const std::string text = "r" + std::to_string(i);
    EXPECT_EQ(retrieved.count(text) ? retrieved.at(text) : 0, 1) << text << ", seed " << seed_;
  }
  EXPECT_EQ(retrieved.size(), static_cast<std::size_t>(delivered)) << "seed " << seed_;
}

INSTANTIATE_TEST_SUITE_P(Modes, CrashReceiving,
                         ::testing::Values(std::pair("Block Mode", 2), std::pair("PDU Mode", 1)),
                         [](const auto& info) { return info.param.second == 2 ? "BlockAll" : "PduTE"; });

}  // namespace
}  // namespace kavonet::testing
