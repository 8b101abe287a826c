#pragma once
// The server's registration: a D-Bus activation file naming the executable, so the bus
// starts the gateway on the first call to Kavonet.SMS.

#include <filesystem>
#include <string>

namespace kavonet::clients {

// $XDG_DATA_HOME/dbus-1/services/Kavonet.SMS.service; XDG_DATA_HOME defaults to
// $HOME/.local/share. Empty when neither variable is set (or XDG_DATA_HOME is relative,
// which the base directory rules say to ignore, and HOME is unset).
std::filesystem::path ActivationFilePath(const char* xdgDataHome, const char* home);

// The file's text: the service name and the absolute executable with the automation switch.
std::string ActivationFileText(const std::filesystem::path& executable);

// Writes the file (creating its directories) in one replace; false with `error` set.
bool WriteActivationFile(const std::filesystem::path& file, const std::filesystem::path& executable,
                         std::string& error);

// Where a gateway started by the bus keeps orvsms.ini, its logs and its queues: the
// directory the systemd user unit works in, $XDG_STATE_HOME/kavonet (XDG_STATE_HOME
// defaults to $HOME/.local/state), so that a user has one configuration however the
// gateway was started. Empty under the same conditions as ActivationFilePath.
std::filesystem::path StateDirectoryPath(const char* xdgStateHome, const char* home);

// Removes the file; a missing file is no failure.
bool RemoveActivationFile(const std::filesystem::path& file, std::string& error);

}  // namespace kavonet::clients
