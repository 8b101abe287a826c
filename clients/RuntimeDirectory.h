#pragma once
// The per-user directory that holds the gateway's sockets: $XDG_RUNTIME_DIR/<service>;
// where the session has no runtime directory, <service>-<host> in the user's cache
// directory ($XDG_CACHE_HOME, else ~/.cache), a place no other user can create first (a
// name in /tmp could be taken by anyone, and the gateway would never start); only
// without a home, /tmp/<service>-<uid>. Only its owner may use it: a directory owned by
// someone else, or open to group or others, is refused, since whoever controls it could
// stand in for the gateway.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace kavonet::clients {

// The service name of an executable: its file name up to the first ".".
std::string ServiceNameOf(std::string_view executablePath);

// Where the per-user directories may go; the variables count when they are absolute paths.
struct RuntimePlaces {
  const char* xdgRuntimeDir = nullptr;
  const char* xdgCacheHome = nullptr;
  const char* home = nullptr;
  std::string host;  // a home may be shared between computers
  uid_t user = 0;
};

// The directory for `service`.
std::filesystem::path RuntimeDirectoryPath(std::string_view service, const RuntimePlaces& places);

// Creates the directory (mode 0700, and its missing parents) if missing and checks it: a
// real directory, not a symbolic link, owned by the effective user, without group or
// other permissions. False with `error` set otherwise.
bool PrepareRuntimeDirectory(const std::filesystem::path& directory, std::string& error);

// The same checks without creating anything: for clients about to trust what is inside.
bool CheckRuntimeDirectory(const std::filesystem::path& directory, std::string& error);

// RuntimeDirectoryPath for this process's environment and effective user.
std::filesystem::path DefaultRuntimeDirectory(std::string_view service);

}  // namespace kavonet::clients
