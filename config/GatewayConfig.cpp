#include "config/GatewayConfig.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>

#include "config/ConfigKeys.h"
#include "config/IniDocument.h"
#include "config/IniFile.h"

namespace kavonet {
namespace {

using namespace keys;

// The terminal needs the Block Mode command ended by CR.
constexpr char kCommandEnd = '\r';

std::string Number(std::int32_t value) {
  return std::to_string(value);
}
const char* Flag(bool value) {
  return value ? "1" : "0";
}

// The order of the keys decides the order of the sections in a new file.
IniDocument DefaultDocument() {
  const GatewayConfig defaults;
  IniDocument document;
  document.Set(kConfiguration, kPort, Number(defaults.Port));
  document.Set(kConfiguration, kSpeed, Number(defaults.Speed));
  document.Set(kConfiguration, kInitString, defaults.InitString);
  document.Set(kStartup, kAutoConnect, Flag(defaults.AutoConnect));
  document.Set(kConfiguration, kInterface, defaults.Interface);
  document.Set(kConfiguration, kBlockModeCommand, kDefaultBlockModeCommand);
  document.Set(kConfiguration, kWaitOK, Flag(defaults.WaitOK));
  document.Set(kConfiguration, kPINCode, defaults.PINCode);
  document.Set(kConfiguration, kServiceCentreAddress, defaults.ServiceCentreAddress);
  document.Set(kConfiguration, kSCAInTPDU, Flag(defaults.SCAInTPDU));
  document.Set(kConfiguration, kMem1, defaults.Mem1);
  document.Set(kConfiguration, kMem2, defaults.Mem2);
  document.Set(kConfiguration, kMem3, defaults.Mem3);
  document.Set(kReceiveMessage, kStartupTransfer, Number(defaults.StartupTransfer));
  document.Set(kReceiveMessage, kLogReceive, Flag(defaults.LogReceive));
  document.Set(kReceiveMessage, kLogTransmit, Flag(defaults.LogTransmit));
  return document;
}

// "COMn" (any case, n >= 1) is /dev/ttyS<n-1>; any other name is taken as a path.
std::string DefaultDevicePath(const std::string& name) {
  const auto isDigit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
  const bool comPrefix = name.size() > 3 && name.size() <= 6 &&
                         std::equal(name.begin(), name.begin() + 3, "COM", [](char a, char b) {
                           return std::toupper(static_cast<unsigned char>(a)) == b;
                         });
  if (comPrefix && std::all_of(name.begin() + 3, name.end(), isDigit)) {
    const int number = std::stoi(name.substr(3));
    if (number >= 1) return "/dev/ttyS" + std::to_string(number - 1);
  }
  return name;
}

}  // namespace

// The whole file in one write: a failure or crash part way never leaves a file that
// lacks keys and that, existing, would never be completed.
void WriteDefaultConfiguration(const std::filesystem::path& iniPath) {
  IniFile ini(iniPath);
  if (ini.Exists()) return;
  ini.Replace(DefaultDocument());
}

GatewayConfig ReadGatewayConfig(const std::filesystem::path& iniPath) {
  const IniFile ini(iniPath);
  const GatewayConfig defaults;
  GatewayConfig config;
  config.Port = ini.ReadInteger(kConfiguration, kPort, defaults.Port);
  config.Speed = ini.ReadInteger(kConfiguration, kSpeed, defaults.Speed);
  config.InitString = ini.ReadString(kConfiguration, kInitString, defaults.InitString);
  config.Interface = ini.ReadString(kConfiguration, kInterface, defaults.Interface);
  config.BlockModeCommand =
      ini.ReadString(kConfiguration, kBlockModeCommand, kDefaultBlockModeCommand) + kCommandEnd;
  config.WaitOK = ini.ReadBool(kConfiguration, kWaitOK, defaults.WaitOK);
  config.AutoConnect = ini.ReadBool(kStartup, kAutoConnect, defaults.AutoConnect);
  config.StartupTransfer =
      ini.ReadInteger(kReceiveMessage, kStartupTransfer, defaults.StartupTransfer);
  config.LogReceive = ini.ReadBool(kReceiveMessage, kLogReceive, defaults.LogReceive);
  config.LogTransmit = ini.ReadBool(kReceiveMessage, kLogTransmit, defaults.LogTransmit);
  config.PINCode = ini.ReadString(kConfiguration, kPINCode, defaults.PINCode);
  config.ServiceCentreAddress =
      ini.ReadString(kConfiguration, kServiceCentreAddress, defaults.ServiceCentreAddress);
  config.SCAInTPDU = ini.ReadBool(kConfiguration, kSCAInTPDU, defaults.SCAInTPDU);
  config.Mem1 = ini.ReadString(kConfiguration, kMem1, defaults.Mem1);
  config.Mem2 = ini.ReadString(kConfiguration, kMem2, defaults.Mem2);
  config.Mem3 = ini.ReadString(kConfiguration, kMem3, defaults.Mem3);
  config.LongMessages = ini.ReadBool(kConfiguration, kLongMessages, defaults.LongMessages);
  config.FastDispatch = ini.ReadBool(kConfiguration, kFastDispatch, defaults.FastDispatch);
  return config;
}

std::string ResolveDeviceName(const std::filesystem::path& iniPath, const std::string& portName) {
  std::string mapped = IniFile(iniPath).ReadString(kPorts, portName, "");
  if (!mapped.empty()) return mapped;
  return DefaultDevicePath(portName);
}

}  // namespace kavonet
