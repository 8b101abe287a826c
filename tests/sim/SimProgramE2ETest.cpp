// kavonet-sim as a program: its pseudo-terminal in both modes, the control channels,
// the journal file, the device link and the latency option.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "SimProcess.h"
#include "sim/BlockFrame.h"

namespace kavonet::sim::testing {
namespace {

std::string Frame(std::string_view bodyHex) {
  const Bytes frame = BuildFrame(FromHex(bodyHex).value());
  return std::string(frame.begin(), frame.end());
}

std::string HexOf(const std::string& bytes) { return ToHex(Bytes(bytes.begin(), bytes.end())); }

TEST(SimProgram, PduModeOverThePseudoTerminal) {
  TempDir dir;
  SimProcess sim({"--journal", dir.File("journal"), "--control", dir.File("control")});
  ASSERT_TRUE(sim.Started());
  PtyClient gateway(sim.Device());
  ASSERT_TRUE(gateway.Open());

  gateway.Write("ATZE0&S0\r");
  EXPECT_EQ(gateway.ReadUntil("OK\r\n"), "ATZE0&S0\r\r\nOK\r\n");
  gateway.Write("AT+CNMI=0,1,0,0\r");
  EXPECT_EQ(gateway.ReadUntil("OK\r\n"), "\r\nOK\r\n");

  EXPECT_EQ(sim.Control("deliver +4479 hi"), "OK 1");
  EXPECT_EQ(gateway.ReadUntil("\",1\r\n"), "\r\n+CMTI: \"SM\",1\r\n");
  gateway.Write("AT+CMGR=1\r");
  const std::string read = gateway.ReadUntil("OK\r\n");
  EXPECT_NE(read.find("+CMGR: 0,,17\r\n06914497000000040491449700"), std::string::npos) << read;

  gateway.Write("AT+CMGS=12\r");
  EXPECT_EQ(gateway.ReadUntil("> "), "\r\n> ");
  gateway.Write("B100049144970000A702E834\x1a");
  EXPECT_EQ(gateway.ReadUntil("OK\r\n"), "\r\n+CMGS: 1\r\n\r\nOK\r\n");
  EXPECT_EQ(ReadFile(dir.File("journal")),
            "{\"destination\":\"+4479\",\"text\":\"hi\",\"pdu\":\"B100049144970000A702E834\"}\n");
  EXPECT_EQ(sim.Quit(), 0);
}

TEST(SimProgram, BlockModeOverThePseudoTerminal) {
  TempDir dir;
  SimProcess sim({"--mode", "block", "--control", dir.File("control")});
  ASSERT_TRUE(sim.Started());
  PtyClient gateway(sim.Device());
  ASSERT_TRUE(gateway.Open());
  ControlClient control(dir.File("control"));
  ASSERT_TRUE(control.Connected());

  gateway.Write(Frame("0502"));
  EXPECT_EQ(HexOf(gateway.ReadUntil("\xFF\xD5")), "10022A011003FFD5");
  control.Send("deliver-pdu 040491449700009930712154800002E834\n");
  EXPECT_EQ(control.ReadLine(), "OK 1");
  const std::string incoming =
      Frame("2300000100" "06914497000000" "040491449700009930712154800002E834");
  EXPECT_EQ(HexOf(gateway.ReadUntil(incoming)), HexOf(incoming));
  control.Send("leave-block-mode 3\nmode\n");
  EXPECT_EQ(control.ReadLine(), "OK");
  EXPECT_EQ(control.ReadLine(), "OK pdu");
  EXPECT_EQ(HexOf(gateway.ReadUntil("\xFF\xBE")), "10023F031003FFBE");
  gateway.Write("AT\r");
  EXPECT_EQ(gateway.ReadUntil("OK\r\n"), "AT\r\r\nOK\r\n");
}

TEST(SimProgram, ControlSocketTakesSeveralConnectionsAndLines) {
  TempDir dir;
  SimProcess sim({"--control", dir.File("control")});
  ASSERT_TRUE(sim.Started());
  ControlClient first(dir.File("control"));
  ControlClient second(dir.File("control"));
  ASSERT_TRUE(first.Connected() && second.Connected());
  first.Send("fill 3\r\ncou");
  EXPECT_EQ(first.ReadLine(), "OK 3");
  second.Send("list\n");
  EXPECT_EQ(second.ReadLine(), "OK 1 2 3");
  first.Send("nt\nbogus\n");
  EXPECT_EQ(first.ReadLine(), "OK 3");
  EXPECT_EQ(first.ReadLine(), "ERROR unknown command bogus");
  EXPECT_EQ(sim.Control("count"), "OK 3");
}

TEST(SimProgram, LinkSurvivesTheGatewayClosingTheDevice) {
  TempDir dir;
  const std::string link = dir.File("modem");
  SimProcess sim({"--link", link});
  ASSERT_TRUE(sim.Started());
  std::string target(PATH_MAX, '\0');
  const ssize_t length = readlink(link.c_str(), target.data(), target.size());
  ASSERT_GT(length, 0);
  target.resize(static_cast<std::size_t>(length));
  EXPECT_EQ(target, sim.Device());
  for (int round = 0; round < 3; ++round) {
    PtyClient gateway(link);
    ASSERT_TRUE(gateway.Open());
    gateway.Write("AT\r");
    EXPECT_EQ(gateway.ReadUntil("OK\r\n"), "AT\r\r\nOK\r\n") << round;
  }
  EXPECT_EQ(sim.Quit(), 0);
  struct stat gone {};
  EXPECT_NE(lstat(link.c_str(), &gone), 0);
}

TEST(SimProgram, LatencyDelaysAnswers) {
  SimProcess sim({"--latency", "150"});
  ASSERT_TRUE(sim.Started());
  PtyClient gateway(sim.Device());
  ASSERT_TRUE(gateway.Open());
  const auto start = std::chrono::steady_clock::now();
  gateway.Write("ATE0\r");
  EXPECT_EQ(gateway.ReadUntil("OK\r\n"), "ATE0\r\r\nOK\r\n");
  EXPECT_GE(std::chrono::steady_clock::now() - start, 150ms);
  EXPECT_EQ(sim.Control("latency 0"), "OK");
  const auto quick = std::chrono::steady_clock::now();
  gateway.Write("AT\r");
  EXPECT_EQ(gateway.ReadUntil("OK\r\n"), "\r\nOK\r\n");
  EXPECT_LT(std::chrono::steady_clock::now() - quick, 150ms);
}

TEST(SimProgram, RefusesBadOptions) {
  const auto result = RunCommand({SimExecutable(), "--mode", "text"}, kWait);
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_NE(result.output.find("usage: kavonet-sim"), std::string::npos);
}

}  // namespace
}  // namespace kavonet::sim::testing
