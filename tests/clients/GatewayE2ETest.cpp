// The automation object of a running gateway, driven with dbus-send (and gdbus) against its
// simulated terminal.

#include <gtest/gtest.h>
#include <signal.h>

#include "GatewayFixture.h"

namespace kavonet::testing {
namespace {

class Automation : public GatewayTest {
 protected:
  void SetUp() override { StartGateway(); }
  bool ModeBecomes(const std::string& mode) {
    return Eventually([&] { return Call("Receive_Mode") == "string \"" + mode + "\""; });
  }
};

TEST_F(Automation, EveryMethodAnswersWithItsResultType) {
  EXPECT_EQ(Call("Is_Connected"), "boolean true");
  EXPECT_EQ(Call("Is_Auto_Connect"), "boolean false");
  EXPECT_EQ(Call("Receive_Mode"), "string \"No_Transfer\"");
  EXPECT_EQ(Call("Transfer_All_Mode"), "");
  EXPECT_TRUE(ModeBecomes("Transfer_All"));
  EXPECT_EQ(Call("No_Transfer_Mode"), "");
  EXPECT_TRUE(ModeBecomes("No_Transfer"));
  EXPECT_EQ(Call("Transfer_TE_Mode"), "");
  EXPECT_EQ(Call("Get_All"), "");
  EXPECT_EQ(Call("Register_Retrieve", {"string:app"}), "boolean true");
  EXPECT_EQ(Call("Retrieve_Message", {"string:app"}), "string \"\"");
  EXPECT_EQ(Call("deRegister_Retrieve", {"string:app"}), "boolean true");
  EXPECT_EQ(Call("Send_Message", {"string:", "string:123", "string:hi"}), "int32 1");
  EXPECT_EQ(Call("SMS_Minimize"), "");
  EXPECT_EQ(Call("SMS_Restore"), "");
  EXPECT_EQ(Call("Disconnect"), "");
  EXPECT_EQ(Call("Is_Connected"), "boolean false");
  EXPECT_EQ(Call("Receive_Mode"), "string \"Disconnected\"");
  EXPECT_EQ(Call("Register_Retrieve", {"string:app"}), "boolean false") << "not while disconnected";
  EXPECT_EQ(Call("Toggle_Connection"), "");
  EXPECT_TRUE(Eventually([&] { return Call("Is_Connected") == "boolean true"; }));
  EXPECT_EQ(Call("Connect"), "");
  EXPECT_EQ(Call("Is_Connected"), "boolean true");
}

TEST_F(Automation, MemberNamesMatchWithoutRegardToCase) {
  EXPECT_EQ(Call("IS_CONNECTED"), "boolean true");
  EXPECT_EQ(Call("is_connected"), "boolean true");
  EXPECT_EQ(Call("send_MESSAGE", {"string:", "string:456", "string:x"}), "int32 1");
  EXPECT_NE(DbusSend("receive_mode", {"string:"}).output.find("string \"No_Transfer\""), std::string::npos);
}

TEST_F(Automation, CallErrors) {
  EXPECT_NE(Call("Is_Connected", {}).find("InvalidArgs: bad parameter count"), std::string::npos);
  EXPECT_NE(DbusSend("Is_Connected", {"string:", "string:"}).output.find("bad parameter count"),
            std::string::npos);
  EXPECT_NE(DbusSend("Send_Message", {"string:", "string:1"}).output.find("bad parameter count"),
            std::string::npos);
  EXPECT_NE(DbusSend("Is_Connected", {"dict:string:string:a,b"}).output.find("InvalidArgs: type mismatch"),
            std::string::npos);
  EXPECT_NE(Call("Send_SMS", {"string:", "string:1", "string:x"}).find("UnknownMethod"), std::string::npos);
  EXPECT_EQ(Call("Is_Connected"), "boolean true") << "still serving";
}

TEST_F(Automation, SendMessageWorkedExamples) {
  EXPECT_EQ(Call("Send_Message", {"string:", "string:+44 123, 456;789", "string:Hello"}), "int32 2");
  EXPECT_EQ(Call("Send_Message", {"string:", "string:0044 1234;5678", "string:Again"}), "int32 1");
  EXPECT_EQ(Call("Send_Message", {"string:", "string:,,,", "string:None"}), "int32 0");
  EXPECT_EQ(Call("Send_Message", {"string:", "string:abc", "string:None"}), "int32 0");
  EXPECT_EQ(WaitSent(3), (std::vector<std::string>{"+44123=Hello", "456=Hello", "00441234=Again"}));
}

TEST_F(Automation, RetrievalProtocolEndToEnd) {
  EXPECT_EQ(Call("Transfer_All_Mode"), "");
  ASSERT_TRUE(ModeBecomes("Transfer_All"));
  EXPECT_EQ(Call("Register_Retrieve", {"string:first-app"}), "boolean true");
  EXPECT_EQ(Call("Register_Retrieve", {"string:second-app"}), "boolean false") << "a second name is refused";
  EXPECT_EQ(Call("Register_Retrieve", {"string:first-app"}), "boolean true");
  EXPECT_EQ(Sim("deliver +4412345 first message"), "OK 1");
  EXPECT_EQ(Sim("deliver +4467890 second one"), "OK 2");

  std::vector<std::string> retrieved;
  ASSERT_TRUE(Eventually([&] {
    const std::string message = Call("Retrieve_Message", {"string:first-app"});
    if (message != "string \"\"") retrieved.push_back(message);
    return retrieved.size() == 2;
  }));
  // Status, origin padded to 15, date, time, text; oldest first.
  EXPECT_EQ(retrieved[0].substr(0, 29), "string \"New  +4412345        ");
  EXPECT_NE(retrieved[0].find(" first message\""), std::string::npos) << retrieved[0];
  EXPECT_NE(retrieved[1].find("+4467890"), std::string::npos) << retrieved[1];
  EXPECT_NE(retrieved[1].find(" second one\""), std::string::npos) << retrieved[1];
  EXPECT_EQ(Call("Retrieve_Message", {"string:second-app"}), "string \"\"");
  // Retrieved messages are deleted from the terminal's store.
  EXPECT_TRUE(Eventually([&] { return Sim("count") == "OK 0"; }));
  EXPECT_EQ(Call("deRegister_Retrieve", {"string:second-app"}), "boolean false");
  EXPECT_EQ(Call("deRegister_Retrieve", {"string:first-app"}), "boolean true");
  EXPECT_EQ(Call("Register_Retrieve", {"string:second-app"}), "boolean true") << "free again";
}

// An SMS-DELIVER from 12345 saying "hi", as a +CMGR answer nobody asked for: it carries no
// message number, so the gateway records Msg# 0.
constexpr const char* kUnaskedRead =
    "+CMGR: 0,,18\r\n"
    "00040581214" "3F50000622160112233000" "2E834\r\n";

std::string Hex(const std::string& bytes) {
  static const char* const kDigits = "0123456789ABCDEF";
  std::string hex;
  for (unsigned char c : bytes) {
    hex += kDigits[c >> 4];
    hex += kDigits[c & 15];
  }
  return hex;
}

TEST_F(Automation, MessageNumberZeroIsNotDeleted) {
  EXPECT_EQ(Sim("store +4400000 kept"), "OK 1");
  EXPECT_EQ(Call("Register_Retrieve", {"string:app"}), "boolean true");
  const std::size_t mark = gateway->Output().size();
  ASSERT_EQ(Sim("send-bytes " + Hex(kUnaskedRead)).rfind("OK", 0), 0u);
  std::string message;
  ASSERT_TRUE(Eventually([&] {
    message = Call("Retrieve_Message", {"string:app"});
    return message != "string \"\"";
  }));
  EXPECT_NE(message.find("12345"), std::string::npos) << message;
  EXPECT_NE(message.find(" hi\""), std::string::npos) << message;
  EXPECT_EQ(Call("Is_Connected"), "boolean true");
  EXPECT_FALSE(gateway->WaitForOutput("AT+CMGD", 1000ms, mark)) << "no delete for Msg# 0";
  EXPECT_EQ(Sim("count"), "OK 1");
}

TEST_F(Automation, IsIntrospectable) {
  const RunResult introspection = RunProgram({"/usr/bin/dbus-send", "--session", "--print-reply", "--dest=Kavonet.SMS",
                                              "/Kavonet/SMS", "org.freedesktop.DBus.Introspectable.Introspect"},
                                             sandbox);
  EXPECT_EQ(introspection.exitCode, 0) << introspection.output;
  for (const char* method : {"Is_Connected", "Is_Auto_Connect", "Connect", "Disconnect", "Toggle_Connection",
                             "Receive_Mode", "No_Transfer_Mode", "Transfer_TE_Mode", "Transfer_All_Mode", "Get_All",
                             "Register_Retrieve", "Retrieve_Message", "deRegister_Retrieve", "Send_Message",
                             "SMS_Minimize", "SMS_Restore"}) {
    EXPECT_NE(introspection.output.find("<method name=\"" + std::string(method) + "\">"), std::string::npos)
        << method;
  }
}

// gdbus is not part of every installation (Debian's libglib2.0-bin).
TEST_F(Automation, WithGdbus) {
  if (!std::filesystem::exists("/usr/bin/gdbus")) GTEST_SKIP() << "gdbus is not installed";
  EXPECT_EQ(Gdbus("Is_Connected", {""}), "(true,)");
  EXPECT_NE(Gdbus("Is_Connected", {}).find("bad parameter count"), std::string::npos)
      << "without the '' gdbus passes no argument";
  EXPECT_EQ(Gdbus("send_message", {"", "+44 123, 456;789", "x"}), "(2,)");
  EXPECT_EQ(Gdbus("Receive_Mode", {""}), "('No_Transfer',)");
}

TEST_F(Automation, CtlDrivesTheGateway) {
  RunResult status = Ctl({"status"});
  EXPECT_EQ(status.exitCode, 0);
  EXPECT_EQ(status.output, "connected: yes\nauto connect: no\nreceive mode: No_Transfer\n");
  EXPECT_EQ(Ctl({"mode", "all"}).exitCode, 0);
  EXPECT_TRUE(ModeBecomes("Transfer_All"));
  RunResult sent = Ctl({"send", "+44 1,2", "two", "words"});
  EXPECT_EQ(sent.exitCode, 0);
  EXPECT_EQ(sent.output, "queued 2 messages\n");
  EXPECT_EQ(Ctl({"send", "abc", "x"}).exitCode, 1) << "no destination";
  EXPECT_EQ(Sim("deliver +4412345 for ctl"), "OK 1");
  RunResult retrieved;
  ASSERT_TRUE(Eventually([&] {
    retrieved = Ctl({"retrieve", "--app", "ctl"});
    return retrieved.output.find("for ctl") != std::string::npos;
  }));
  EXPECT_EQ(retrieved.exitCode, 0);
  EXPECT_EQ(Call("Register_Retrieve", {"string:other"}), "boolean true") << "ctl gave its registration up";
  EXPECT_EQ(Ctl({"retrieve", "--app", "ctl"}).exitCode, 1) << "refused while 'other' holds it";
  EXPECT_EQ(Ctl({"get-all"}).exitCode, 0);
  EXPECT_EQ(Ctl({"disconnect"}).exitCode, 0);
  EXPECT_EQ(Call("Is_Connected"), "boolean false");
  EXPECT_EQ(Ctl({"connect"}).exitCode, 0);
  EXPECT_EQ(WaitSent(2), (std::vector<std::string>{"+441=two words", "2=two words"}));
}

TEST_F(Automation, CtlFollowGivesUpItsRegistrationWhenInterrupted) {
  EXPECT_EQ(Call("Transfer_All_Mode"), "");
  ASSERT_TRUE(ModeBecomes("Transfer_All"));
  ChildProcess follow({CtlProgram(), "retrieve", "--app", "watcher", "--follow"}, sandbox.Environment(),
                      sandbox.Work());
  EXPECT_EQ(Sim("deliver +4455555 while following"), "OK 1");
  ASSERT_TRUE(follow.WaitForOutput("while following\n")) << follow.Output();
  EXPECT_EQ(Call("Register_Retrieve", {"string:other"}), "boolean false") << "held by the follower";
  follow.Signal(SIGINT);
  EXPECT_EQ(follow.Wait(), 0) << follow.Output();
  EXPECT_EQ(Call("Register_Retrieve", {"string:other"}), "boolean true");
}

TEST_F(Automation, CtlRetrievingIntoAClosedPipeStopsAndGivesUpItsRegistration) {
  EXPECT_EQ(Call("Transfer_All_Mode"), "");
  ASSERT_TRUE(ModeBecomes("Transfer_All"));
  EXPECT_EQ(Sim("deliver +4411111 one"), "OK 1");
  EXPECT_EQ(Sim("deliver +4422222 two"), "OK 2");
  ASSERT_TRUE(Eventually([&] { return Ctl({"queue", sandbox.Work().string()}).output.find("two") != std::string::npos; }));
  // The reader is gone before the first message is written.
  const std::string script = "\"$1\" retrieve --app pipe 2>/dev/null | true; echo \"ctl=${PIPESTATUS[0]}\"";
  EXPECT_EQ(RunProgram({"/bin/bash", "-c", script, "bash", CtlProgram()}, sandbox).output, "ctl=4\n");
  EXPECT_EQ(Call("Register_Retrieve", {"string:other"}), "boolean true") << "given up";
  EXPECT_NE(Call("Retrieve_Message", {"string:other"}).find("two"), std::string::npos) << "not taken";
}

TEST(CtlWithoutGateway, SaysSoWithItsExitCode) {
  Sandbox sandbox;
  PrivateBus bus(sandbox);
  ASSERT_TRUE(bus.Started());
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"status"}, {"send", "1", "x"}, {"--bus", "send", "1", "x"}, {"--socket", "send", "1", "x"},
        {"retrieve", "--app", "a"}}) {
    std::vector<std::string> argv{CtlProgram()};
    argv.insert(argv.end(), args.begin(), args.end());
    const RunResult result = RunProgram(argv, sandbox);
    EXPECT_EQ(result.exitCode, 3) << args[0] << ": " << result.output;
    EXPECT_NE(result.output.find("not"), std::string::npos) << result.output;
  }
  // Without a bus at all.
  sandbox.Set("DBUS_SESSION_BUS_ADDRESS", "");
  const RunResult noBus = RunProgram({CtlProgram(), "status"}, sandbox);
  EXPECT_EQ(noBus.exitCode, 3) << noBus.output;
  EXPECT_EQ(RunProgram({CtlProgram(), "frobnicate"}, sandbox).exitCode, 2);
}

}  // namespace
}  // namespace kavonet::testing
