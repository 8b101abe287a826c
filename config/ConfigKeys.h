#pragma once
// Section and key names of orvsms.ini, shared by the reader and the settings dialogs.

namespace kavonet::keys {

inline constexpr const char* kConfiguration = "Configuration";
inline constexpr const char* kStartup = "Startup";
inline constexpr const char* kReceiveMessage = "Receive Message";
inline constexpr const char* kPorts = "Ports";

inline constexpr const char* kPort = "Port";
inline constexpr const char* kSpeed = "Speed";
inline constexpr const char* kInitString = "Init String";
inline constexpr const char* kAutoConnect = "Auto Connect";
inline constexpr const char* kInterface = "Interface";
inline constexpr const char* kBlockModeCommand = "Enter Block Mode Command";
inline constexpr const char* kWaitOK = "Wait OK";
inline constexpr const char* kPINCode = "PIN Code";
inline constexpr const char* kServiceCentreAddress = "Service Centre Address";
inline constexpr const char* kSCAInTPDU = "SCA in TPDU";
inline constexpr const char* kMem1 = "Mem1";
inline constexpr const char* kMem2 = "Mem2";
inline constexpr const char* kMem3 = "Mem3";
inline constexpr const char* kStartupTransfer = "Startup Transfer";
inline constexpr const char* kLogReceive = "Log Receive";
inline constexpr const char* kLogTransmit = "Log Transmit";
// Optional: a new file is written without it, so it reads as its default (0).
inline constexpr const char* kLongMessages = "Long Messages";
inline constexpr const char* kFastDispatch = "Fast Dispatch";

// The two interface types the settings dialog writes.
inline constexpr const char* kBlockMode = "Block Mode";
inline constexpr const char* kPduMode = "PDU Mode";

// The file holds the Block Mode command as typed; the terminal needs it ended by CR.
inline constexpr const char* kDefaultBlockModeCommand = "*T";

}  // namespace kavonet::keys
