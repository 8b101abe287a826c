#pragma once
// What the communication settings dialog shows and saves: the port, line and interface
// keys of orvsms.ini, as choices of the dialog's lists (an index of -1 means nothing
// chosen). Text is UTF-8, as in the file.

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

namespace kavonet::ui {

inline constexpr std::array<std::int32_t, 9> kLineSpeeds{2400,  4800,  9600,  14400, 19200,
                                                         38400, 56000, 57600, 115200};
inline constexpr int kDefaultSpeedIndex = 2;  // 9600
inline constexpr int kPortCount = 4;          // COM1..COM4

// "COM1".."COM4" for an index of the port list.
std::string PortName(int portIndex);

enum InterfaceChoice : int { kNoInterface = -1, kBlockModeChoice = 0, kPduModeChoice = 1 };

struct CommunicationSettings {
  int PortIndex = 1;  // COM2
  int SpeedIndex = kDefaultSpeedIndex;
  std::string InitString;
  bool AutoConnect = false;
  int InterfaceIndex = kBlockModeChoice;
  std::string BlockModeCommand;
  bool WaitOK = true;
  std::string PINCode;
  std::string ServiceCentreAddress;
  bool SCAInTPDU = false;
  std::string Mem1;
  std::string Mem2;
  std::string Mem3;
  // The device each of COM1..COM4 stands for: its [Ports] entry, else /dev/ttyS0..3.
  std::array<std::string, kPortCount> Devices;

  friend bool operator==(const CommunicationSettings&, const CommunicationSettings&) = default;
};

// Creates the file with its defaults when it is missing, then reads it. A speed that is
// not one of kLineSpeeds is written back as 9600 at once, so the file and the dialog
// agree even if the user then cancels. A port outside COM1..COM4 reads as no choice.
// Throws ConfigWriteError when the file cannot be written.
CommunicationSettings LoadCommunicationSettings(const std::filesystem::path& iniPath);

// Writes every key, in the dialog's order, whatever the interface; a write that fails
// throws ConfigWriteError and leaves the keys before it written. Nothing chosen saves as
// port 0, speed 9600 and Block Mode; `settings` is updated to show the last two choices.
// A device that differs from what the file makes of its port is written into [Ports];
// the others are left as they are, so a file without that section keeps going without it.
void SaveCommunicationSettings(const std::filesystem::path& iniPath,
                               CommunicationSettings& settings);

}  // namespace kavonet::ui
