#pragma once
// kavonet-ctl's command line.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavonet::ctl {

enum class Command { Send, Status, Mode, GetAll, Retrieve, Connect, Disconnect, Queue, Ports, Help };
enum class Transport { Automatic, Bus, Socket };

struct CtlOptions {
  Command command = Command::Help;
  Transport transport = Transport::Automatic;
  std::string service = "kavonet";  // the gateway executable's name: names its socket directory
  int timeoutMs = 30000;
  std::string destinations;  // send
  std::string text;          // send
  std::string mode;          // mode: the automation method to call
  std::string appName;       // retrieve
  bool follow = false;       // retrieve
  std::string directory = ".";  // queue: the gateway's working directory
  std::string ini = "orvsms.ini";  // ports: the configuration whose mapping is shown
};

inline constexpr const char* kCtlUsage =
    "usage: kavonet-ctl [--bus|--socket] [--service NAME] [--timeout SECONDS] COMMAND\n"
    "commands:\n"
    "  send DESTINATIONS TEXT...   queue TEXT for each number in DESTINATIONS (comma-separated)\n"
    "  status                      connection, auto connect and receive mode\n"
    "  mode none|te|all            choose which incoming messages the terminal passes on\n"
    "  get-all                     copy every message stored in the terminal\n"
    "  retrieve --app NAME [--follow]\n"
    "                              print received messages, oldest first, until none is left\n"
    "                              (--follow: keep waiting for more until interrupted)\n"
    "  connect, disconnect         connect to the terminal or disconnect from it\n"
    "  queue [DIRECTORY]           list the messages waiting to be sent and to be retrieved,\n"
    "                              from the queue file in the gateway's working directory\n"
    "                              (default: the current one; a gateway started by the bus\n"
    "                              or systemd works in ~/.local/state/kavonet)\n"
    "  ports [--ini FILE]          list the serial devices present and which device each of\n"
    "                              COM1..COM4 stands for in FILE (default ./orvsms.ini; a\n"
    "                              gateway started by the bus or systemd uses\n"
    "                              ~/.local/state/kavonet/orvsms.ini)\n"
    "send goes over D-Bus when the gateway is on the session bus, otherwise over its\n"
    "command channel; --bus and --socket choose. queue and ports need no gateway; every\n"
    "other command needs D-Bus.\n"
    "exit codes: 0 done, 1 refused by the gateway, 2 usage, 3 gateway not reachable,\n"
    "            4 call failed\n";

// Parses the arguments after the program name; nullopt with `error` set on a usage error.
std::optional<CtlOptions> ParseCtlOptions(const std::vector<std::string_view>& arguments,
                                          std::string& error);

}  // namespace kavonet::ctl
