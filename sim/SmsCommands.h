#pragma once
// The message service commands of AT command mode (PDU format only): +CMGF, +CSMS,
// +CPMS, +CSCA, +CNMI, +CMGS, +CMGL, +CMGR, +CMGD.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/AtCommandLine.h"
#include "sim/TerminalCore.h"

namespace kavonet::sim {

class SmsCommands {
 public:
  explicit SmsCommands(TerminalCore& core) : core_(core) {}

  // Nothing when `command` is not a message service command. Information lines go
  // to `lines`; +CMGS answers with a prompt whose code is the TPDU length.
  std::optional<AtOutcome> Handle(const AtCommand& command, std::vector<std::string>& lines);
  // The hexadecimal text that followed the prompt, up to Ctrl-Z.
  AtOutcome FinishSend(std::string_view hexText, int tpduLength, std::vector<std::string>& lines);

  // +CNMI asks for "+CMTI:" indications of newly stored messages.
  bool IndicatesNewMessages() const { return indications_.mt != 0; }
  void ResetIndications() { indications_ = {}; }

 private:
  struct Indications {
    int mode = 0;
    int mt = 0;
    int bm = 0;
    int ds = 0;
    int bfr = 0;
  };

  AtOutcome MessageFormat(const AtCommand& command, std::vector<std::string>& lines);
  AtOutcome SelectService(const AtCommand& command, std::vector<std::string>& lines);
  AtOutcome PreferredStorage(const AtCommand& command, std::vector<std::string>& lines);
  AtOutcome ServiceCentre(const AtCommand& command, std::vector<std::string>& lines);
  AtOutcome NewMessageIndications(const AtCommand& command, std::vector<std::string>& lines);
  AtOutcome SendMessage(const AtCommand& command, std::vector<std::string>& lines);
  AtOutcome ListMessages(const AtCommand& command, std::vector<std::string>& lines);
  AtOutcome ReadMessage(const AtCommand& command, std::vector<std::string>& lines);
  AtOutcome DeleteMessage(const AtCommand& command, std::vector<std::string>& lines);

  std::string StorageCounts() const;
  void AppendMessage(const std::string& header, StoredMessage& message,
                     std::vector<std::string>& lines);

  TerminalCore& core_;
  Indications indications_;
};

}  // namespace kavonet::sim
