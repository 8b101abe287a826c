#pragma once
// The kavonet program running headless in a sandbox, optionally on a private bus and with
// its simulated terminal, plus the tools the tests drive it with.

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ProcessHarness.h"

namespace kavonet::testing {

struct GatewayOptions {
  bool bus = true;
  bool headless = true;  // false: without --headless, which the missing display implies
  // Empty: no simulated terminal (the configured port, which does not exist here).
  std::string simulate = "pdu";
  IniSettings ini = {};
};

class GatewayTest : public ::testing::Test {
 protected:
  // Writes orvsms.ini (when there are settings), starts the gateway and waits until it is
  // ready: the session entered, with a simulated terminal.
  void StartGateway(const GatewayOptions& options = {}) {
    if (!options.ini.empty()) std::ofstream(sandbox.Work() / "orvsms.ini") << IniText(options.ini);
    if (options.bus && !bus) {
      bus = std::make_unique<PrivateBus>(sandbox);
      ASSERT_TRUE(bus->Started());
    }
    std::vector<std::string> argv{KavonetProgram()};
    if (options.headless) argv.push_back("--headless");
    if (!options.simulate.empty()) argv.insert(argv.end(), {"--simulate", options.simulate});
    gateway = std::make_unique<ChildProcess>(argv, sandbox.Environment(), sandbox.Work());
    ASSERT_TRUE(gateway->WaitForOutput("command channel on")) << gateway->Output();
    if (options.simulate.empty()) return;
    ASSERT_TRUE(gateway->WaitForOutput("Entered ETSI SMS")) << gateway->Output();
    control = TextAfter("control socket ");
    journal = TextAfter("journal ");
  }

  // A call of a Kavonet.SMS member with dbus-send (arguments in its TYPE:VALUE form; by
  // default one empty string). The reply as dbus-send prints it, without its header:
  // "boolean true", "int32 2", "string \"No_Transfer\"", "" for an empty reply, or
  // "Error NAME: MESSAGE".
  std::string Call(const std::string& member, const std::vector<std::string>& arguments = {"string:"}) {
    std::vector<std::string> argv{"/usr/bin/dbus-send", "--session", "--print-reply", "--dest=Kavonet.SMS",
                                  "/Kavonet/SMS", "Kavonet.SMS." + member};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const std::string output = Trimmed(RunProgram(argv, sandbox).output);
    if (output.rfind("method return", 0) != 0) return output;
    const std::size_t body = output.find('\n');
    return body == std::string::npos ? std::string() : output.substr(output.find_first_not_of(' ', body + 1));
  }

  RunResult Ctl(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{CtlProgram()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return RunProgram(argv, sandbox);
  }

  // One command through the command channel; its answer.
  std::string Command(const std::string& command) { return AskSocket(sandbox.CommandSocket(), command); }

  // The simulated terminal's control socket.
  std::string Sim(const std::string& command) { return AskSocket(control, command); }

  // Waits until the journal holds `count` messages; "destination=text" each.
  std::vector<std::string> WaitSent(std::size_t count) {
    Eventually([&] { return JournalSent(journal).size() >= count; }, 60000ms);
    return JournalSent(journal);
  }

  static std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
  }

  Sandbox sandbox;
  std::unique_ptr<PrivateBus> bus;
  std::unique_ptr<ChildProcess> gateway;
  std::filesystem::path control;
  std::filesystem::path journal;

  // What follows `label` in the gateway's output, up to the line's end or a ';'.
  std::string TextAfter(const std::string& label) {
    const std::string& output = gateway->Output();
    const std::size_t start = output.find(label);
    if (start == std::string::npos) return {};
    const std::size_t from = start + label.size();
    return output.substr(from, output.find_first_of(";\n", from) - from);
  }
};

}  // namespace kavonet::testing
