#include "ui/widgets/CommunicationSettings.h"

#include <algorithm>

#include "config/GatewayConfig.h"
#include "config/IniFile.h"
#include "config/ConfigKeys.h"

namespace kavonet::ui {

namespace {

using namespace keys;

int SpeedIndexOf(const std::string& text) {
  for (std::size_t i = 0; i < kLineSpeeds.size(); ++i) {
    if (text == std::to_string(kLineSpeeds[i])) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

std::string PortName(int portIndex) { return "COM" + std::to_string(portIndex + 1); }

CommunicationSettings LoadCommunicationSettings(const std::filesystem::path& iniPath) {
  WriteDefaultConfiguration(iniPath);
  IniFile ini(iniPath);
  const GatewayConfig defaults;
  CommunicationSettings settings;

  // The list shows the speeds as text, and only a value spelled as one of them selects it.
  settings.SpeedIndex =
      SpeedIndexOf(ini.ReadString(kConfiguration, kSpeed, std::to_string(defaults.Speed)));
  if (settings.SpeedIndex < 0) {
    ini.WriteInteger(kConfiguration, kSpeed, kLineSpeeds[kDefaultSpeedIndex]);
    settings.SpeedIndex = kDefaultSpeedIndex;
  }

  // Every other key reads exactly as the gateway reads it.
  const GatewayConfig config = ReadGatewayConfig(iniPath);
  settings.PortIndex = config.Port >= 1 && config.Port <= kPortCount ? config.Port - 1 : -1;
  settings.InitString = config.InitString;
  settings.AutoConnect = config.AutoConnect;
  settings.InterfaceIndex = config.Interface == kBlockMode ? kBlockModeChoice : kPduModeChoice;
  // The gateway holds the command with its CR; the file and the dialog without.
  settings.BlockModeCommand = config.BlockModeCommand.substr(
      0, config.BlockModeCommand.empty() ? 0 : config.BlockModeCommand.size() - 1);
  settings.WaitOK = config.WaitOK;
  settings.PINCode = config.PINCode;
  settings.ServiceCentreAddress = config.ServiceCentreAddress;
  settings.SCAInTPDU = config.SCAInTPDU;
  settings.Mem1 = config.Mem1;
  settings.Mem2 = config.Mem2;
  settings.Mem3 = config.Mem3;
  for (int i = 0; i < kPortCount; ++i) settings.Devices[i] = ResolveDeviceName(iniPath, PortName(i));
  return settings;
}

void SaveCommunicationSettings(const std::filesystem::path& iniPath,
                               CommunicationSettings& settings) {
  IniFile ini(iniPath);
  const bool portChosen = settings.PortIndex >= 0 && settings.PortIndex < kPortCount;
  ini.WriteInteger(kConfiguration, kPort, portChosen ? settings.PortIndex + 1 : 0);

  const auto speedCount = static_cast<int>(kLineSpeeds.size());
  if (settings.SpeedIndex < 0 || settings.SpeedIndex >= speedCount) {
    settings.SpeedIndex = kDefaultSpeedIndex;
  }
  ini.WriteInteger(kConfiguration, kSpeed,
                   kLineSpeeds[static_cast<std::size_t>(settings.SpeedIndex)]);

  ini.WriteString(kConfiguration, kInitString, settings.InitString);
  ini.WriteBool(kStartup, kAutoConnect, settings.AutoConnect);
  if (settings.InterfaceIndex != kPduModeChoice) settings.InterfaceIndex = kBlockModeChoice;
  ini.WriteString(kConfiguration, kInterface,
                  settings.InterfaceIndex == kPduModeChoice ? kPduMode : kBlockMode);
  ini.WriteString(kConfiguration, kBlockModeCommand, settings.BlockModeCommand);
  ini.WriteBool(kConfiguration, kWaitOK, settings.WaitOK);
  ini.WriteString(kConfiguration, kPINCode, settings.PINCode);
  ini.WriteString(kConfiguration, kServiceCentreAddress, settings.ServiceCentreAddress);
  ini.WriteBool(kConfiguration, kSCAInTPDU, settings.SCAInTPDU);
  ini.WriteString(kConfiguration, kMem1, settings.Mem1);
  ini.WriteString(kConfiguration, kMem2, settings.Mem2);
  ini.WriteString(kConfiguration, kMem3, settings.Mem3);
  for (int i = 0; i < kPortCount; ++i) {
    const std::string& device = settings.Devices[i];
    if (!device.empty() && device != ResolveDeviceName(iniPath, PortName(i))) {
      ini.WriteString(kPorts, PortName(i), device);
    }
  }
}

}  // namespace kavonet::ui
