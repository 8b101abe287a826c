#pragma once
// What the message settings dialog shows and saves: section "Receive Message" of
// orvsms.ini, and "Long Messages" and "Fast Dispatch" of section "Configuration".

#include <filesystem>

namespace kavonet::ui {

inline constexpr int kTransferModeCount = 3;

struct MessageSettings {
  // 0 no transfer, 1 messages marked T.E. only, 2 all; -1 when nothing is chosen.
  int StartupTransfer = 0;
  bool LogReceive = true;
  bool LogTransmit = true;
  bool LongMessages = false;
  bool FastDispatch = false;

  friend bool operator==(const MessageSettings&, const MessageSettings&) = default;
};

// Creates the file with its defaults when it is missing, then reads the section; a
// transfer mode outside 0..2 reads as no choice. Throws ConfigWriteError when the
// missing file cannot be created.
MessageSettings LoadMessageSettings(const std::filesystem::path& iniPath);

// Throws ConfigWriteError; keys written before a failure stay written.
void SaveMessageSettings(const std::filesystem::path& iniPath, const MessageSettings& settings);

}  // namespace kavonet::ui
