#include "ui/widgets/MessageSettings.h"

#include "config/GatewayConfig.h"
#include "config/IniFile.h"
#include "config/ConfigKeys.h"

namespace kavonet::ui {

using namespace keys;

MessageSettings LoadMessageSettings(const std::filesystem::path& iniPath) {
  WriteDefaultConfiguration(iniPath);
  const IniFile ini(iniPath);
  const GatewayConfig defaults;
  MessageSettings settings;
  const int mode = ini.ReadInteger(kReceiveMessage, kStartupTransfer, defaults.StartupTransfer);
  settings.StartupTransfer = mode >= 0 && mode < kTransferModeCount ? mode : -1;
  settings.LogReceive = ini.ReadBool(kReceiveMessage, kLogReceive, defaults.LogReceive);
  settings.LogTransmit = ini.ReadBool(kReceiveMessage, kLogTransmit, defaults.LogTransmit);
  settings.LongMessages = ini.ReadBool(kConfiguration, kLongMessages, defaults.LongMessages);
  settings.FastDispatch = ini.ReadBool(kConfiguration, kFastDispatch, defaults.FastDispatch);
  return settings;
}

void SaveMessageSettings(const std::filesystem::path& iniPath, const MessageSettings& settings) {
  IniFile ini(iniPath);
  const bool chosen =
      settings.StartupTransfer >= 0 && settings.StartupTransfer < kTransferModeCount;
  ini.WriteInteger(kReceiveMessage, kStartupTransfer, chosen ? settings.StartupTransfer : -1);
  ini.WriteBool(kReceiveMessage, kLogReceive, settings.LogReceive);
  ini.WriteBool(kReceiveMessage, kLogTransmit, settings.LogTransmit);
  ini.WriteBool(kConfiguration, kLongMessages, settings.LongMessages);
  ini.WriteBool(kConfiguration, kFastDispatch, settings.FastDispatch);
}

}  // namespace kavonet::ui
