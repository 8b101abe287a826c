#pragma once
// The gateway's settings: orvsms.ini in the working directory, read into GatewayConfig.

#include <cstdint>
#include <filesystem>
#include <string>

#include "config/ConfigWriteError.h"

namespace kavonet {

struct GatewayConfig {
  std::int32_t Port = 2;
  std::int32_t Speed = 9600;
  std::string InitString = "ZE0&S0";
  bool AutoConnect = false;
  std::string Interface = "Block Mode";
  std::string BlockModeCommand = "*T\r";  // held with its CR appended
  bool WaitOK = true;
  std::string PINCode;
  std::string ServiceCentreAddress;
  bool SCAInTPDU = false;
  std::string Mem1;
  std::string Mem2;
  std::string Mem3;
  std::int32_t StartupTransfer = 0;
  bool LogReceive = true;
  bool LogTransmit = true;
  // Send a text longer than one message in parts; off, it is cut at one message.
  bool LongMessages = false;
  // Handle each answer as soon as it is cut and start the next command or message at once,
  // instead of on the receive and send timer ticks.
  bool FastDispatch = false;

  friend bool operator==(const GatewayConfig&, const GatewayConfig&) = default;
};

inline constexpr const char* kConfigFileName = "orvsms.ini";

// Creates `iniPath` with every key at its default when it does not exist; never changes an
// existing file. The file is written whole in one replace, so a failure leaves no file.
// Throws ConfigWriteError when the file cannot be written (also when a directory has the
// file's name).
void WriteDefaultConfiguration(const std::filesystem::path& iniPath);

// Reads every key (a missing file, section or key reads as its default).
GatewayConfig ReadGatewayConfig(const std::filesystem::path& iniPath);

// The device a port name stands for: the [Ports] section maps names ("COM2=/dev/ttyUSB0");
// otherwise "COMn" (any case, n >= 1) is /dev/ttyS<n-1>, and any other name is used as it
// is.
std::string ResolveDeviceName(const std::filesystem::path& iniPath, const std::string& portName);

}  // namespace kavonet
