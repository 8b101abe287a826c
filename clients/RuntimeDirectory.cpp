#include "clients/RuntimeDirectory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kavonet::clients {

std::string ServiceNameOf(std::string_view executablePath) {
  const std::size_t slash = executablePath.rfind('/');
  std::string_view name =
      slash == std::string_view::npos ? executablePath : executablePath.substr(slash + 1);
  return std::string(name.substr(0, name.find('.')));
}

std::filesystem::path RuntimeDirectoryPath(std::string_view service, const char* xdgRuntimeDir,
                                           uid_t user) {
  if (xdgRuntimeDir != nullptr && xdgRuntimeDir[0] == '/') {
    return std::filesystem::path(xdgRuntimeDir) / std::string(service);
  }
  return std::filesystem::path("/tmp") / (std::string(service) + "-" + std::to_string(user));
}

std::filesystem::path DefaultRuntimeDirectory(std::string_view service) {
  return RuntimeDirectoryPath(service, std::getenv("XDG_RUNTIME_DIR"), geteuid());
}

bool CheckRuntimeDirectory(const std::filesystem::path& directory, std::string& error) {
  struct stat status {};
  if (lstat(directory.c_str(), &status) != 0) {
    error = directory.string() + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(status.st_mode)) {
    error = directory.string() + " is not a directory";
    return false;
  }
  if (status.st_uid != geteuid()) {
    error = directory.string() + " belongs to another user";
    return false;
  }
  if ((status.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
    error = directory.string() + " is open to other users (mode " + mode + ")";
    return false;
  }
  return true;
}

bool PrepareRuntimeDirectory(const std::filesystem::path& directory, std::string& error) {
  if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
    error = "cannot create " + directory.string() + ": " + std::strerror(errno);
    return false;
  }
  return CheckRuntimeDirectory(directory, error);
}

}  // namespace kavonet::clients
