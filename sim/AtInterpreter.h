#pragma once
// AT command mode as a terminal runs it: echo, command lines ending in CR, verbose
// or numeric result codes, the "> " prompt and the PDU text of +CMGS, unsolicited
// "+CMTI:" lines, and the command that switches to Block Mode.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/AtCommandLine.h"
#include "sim/SmsCommands.h"
#include "sim/TerminalCore.h"

namespace kavonet::sim {

class AtInterpreter {
 public:
  explicit AtInterpreter(TerminalCore& core);

  void Push(std::uint8_t byte);
  // A message was stored at `index`; "+CMTI:" goes out if +CNMI asked for it (held
  // back while the terminal waits for PDU text).
  void IndicateNewMessage(int index);
  // Back from Block Mode: a fresh command line.
  void Resume();

 private:
  enum class State { kCommandLine, kPduText };

  // Longest command line or PDU text kept; the rest is dropped and the line refused.
  static constexpr std::size_t kMaxLine = 1024;

  void PushCommandByte(std::uint8_t byte);
  void PushPduByte(std::uint8_t byte);
  void ExecuteLine();
  AtOutcome Execute(const AtCommand& command, std::vector<std::string>& lines);
  std::optional<AtOutcome> General(const AtCommand& command, std::vector<std::string>& lines);
  std::optional<AtOutcome> Basic(const AtCommand& command, std::vector<std::string>& lines);
  std::optional<AtOutcome> Identification(const AtCommand& command,
                                          std::vector<std::string>& lines);
  void FinishPduText();
  void EndPduText();

  void WriteLines(const std::vector<std::string>& lines);
  void WriteFinal(const AtOutcome& outcome);
  void WriteUnsolicited(const std::string& line);
  void RestoreProfile();

  TerminalCore& core_;
  SmsCommands sms_;
  State state_ = State::kCommandLine;
  std::string line_;
  bool overflow_ = false;
  int tpduLength_ = 0;
  bool echo_ = true;
  bool verbose_ = true;
  int errorReporting_ = 0;  // +CMEE
  std::vector<std::string> deferred_;
};

}  // namespace kavonet::sim
