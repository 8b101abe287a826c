#pragma once
// The per-user directory that holds the gateway's sockets: $XDG_RUNTIME_DIR/<service>,
// or /tmp/<service>-<uid> where the session has no runtime directory. Only its owner
// may use it: a directory owned by someone else, or open to group or others, is refused,
// since whoever controls it could stand in for the gateway.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace kavonet::clients {

// The service name of an executable: its file name up to the first ".".
std::string ServiceNameOf(std::string_view executablePath);

// The directory for `service`; `xdgRuntimeDir` is used when it is an absolute path.
std::filesystem::path RuntimeDirectoryPath(std::string_view service, const char* xdgRuntimeDir,
                                           uid_t user);

// Creates the directory (mode 0700) if missing and checks it: a real directory, not a
// symbolic link, owned by the effective user, without group or other permissions.
// False with `error` set otherwise.
bool PrepareRuntimeDirectory(const std::filesystem::path& directory, std::string& error);

// The same checks without creating anything: for clients about to trust what is inside.
bool CheckRuntimeDirectory(const std::filesystem::path& directory, std::string& error);

// RuntimeDirectoryPath for this process's environment and effective user.
std::filesystem::path DefaultRuntimeDirectory(std::string_view service);

}  // namespace kavonet::clients
