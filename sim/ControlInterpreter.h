#pragma once
// The simulator's control language, one command per line, each answered by one line
// beginning "OK" or "ERROR":
//   deliver <origin> <text...>   store a message and announce it by the mode in force;
//                                a text longer than one message goes in parts, and the
//                                answer lists the index of each
//   deliver-pdu <hex>            the same with a raw SMS-DELIVER TPDU
//   store <origin> <text...>     store without announcing
//   fill <n>                     store "Message 1".."Message n"
//   refuse-next-send <cause>     refuse the next message the gateway sends
//   silent on|off                ignore everything the gateway writes
//   leave-block-mode [cause]     End SMS Mode, back to AT command mode
//   send-bytes <hex>             write raw bytes to the gateway
//   csq <rssi> <ber>             the signal quality +CSQ reports
//   latency <ms>                 delay before anything is written to the gateway
//   count | list | mode          stored messages, their indices, the interface mode
//   quit                         stop the simulator
// Numbers are decimal or 0x-prefixed hexadecimal.

#include <functional>
#include <string>
#include <string_view>

#include "sim/Terminal.h"

namespace kavonet::sim {

class ControlInterpreter {
 public:
  struct Hooks {
    std::function<void(int milliseconds)> setLatency;
    std::function<void()> quit;
  };

  // Origin of the messages that `fill` stores.
  static constexpr std::string_view kFillOrigin = "+4479123456";
  static constexpr std::uint8_t kDefaultEndCause = 0x06;  // user-invoked exit

  ControlInterpreter(Terminal& terminal, Hooks hooks)
      : terminal_(terminal), hooks_(std::move(hooks)) {}

  // The answer line without its line end; empty for a blank line.
  std::string Execute(std::string_view line);

 private:
  std::string Deliver(std::string_view arguments, bool announce);
  std::string DeliverPdu(std::string_view arguments);
  std::string Fill(std::string_view arguments);
  std::string RefuseNextSend(std::string_view arguments);
  std::string Silent(std::string_view arguments);
  std::string LeaveBlockMode(std::string_view arguments);
  std::string SendBytes(std::string_view arguments);
  std::string Signal(std::string_view arguments);
  std::string Latency(std::string_view arguments);
  std::string List();

  Terminal& terminal_;
  Hooks hooks_;
};

}  // namespace kavonet::sim
