#pragma once
// How the gateway was started, from its command line: by the bus (automation), to
// register or unregister the server, or by a user.

#include <span>
#include <string_view>

namespace kavonet::clients {

enum class ServerStartMode { Standalone, Automation, Register, Unregister };

// A switch is an argument "-NAME" or "/NAME", NAME compared without regard to case.
// "AUTOMATION" and "EMBEDDING" are tested first, then "REGSERVER", then "UNREGSERVER":
// the first of these found anywhere on the command line wins.
ServerStartMode ParseServerStartMode(std::span<const std::string_view> arguments);

}  // namespace kavonet::clients
