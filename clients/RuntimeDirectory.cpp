#include "clients/RuntimeDirectory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
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

std::filesystem::path RuntimeDirectoryPath(std::string_view service, const RuntimePlaces& places) {
  const auto absolute = [](const char* path) { return path != nullptr && path[0] == '/'; };
  if (absolute(places.xdgRuntimeDir)) {
    return std::filesystem::path(places.xdgRuntimeDir) / std::string(service);
  }
  const std::string name = std::string(service) + "-" + places.host;
  if (absolute(places.xdgCacheHome)) return std::filesystem::path(places.xdgCacheHome) / name;
  if (absolute(places.home)) return std::filesystem::path(places.home) / ".cache" / name;
  return std::filesystem::path("/tmp") / (std::string(service) + "-" + std::to_string(places.user));
}

std::filesystem::path DefaultRuntimeDirectory(std::string_view service) {
  std::array<char, 256> host{};
  if (gethostname(host.data(), host.size() - 1) != 0) host[0] = '\0';
  return RuntimeDirectoryPath(service, {std::getenv("XDG_RUNTIME_DIR"), std::getenv("XDG_CACHE_HOME"),
                                        std::getenv("HOME"), host.data(), geteuid()});
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

namespace {

// Creates the missing parents of `directory` as the XDG directories are created: 0700.
void CreateParents(const std::filesystem::path& directory) {
  const std::filesystem::path parent = directory.parent_path();
  if (parent.empty() || parent == directory) return;
  if (mkdir(parent.c_str(), 0700) == 0 || errno != ENOENT) return;
  CreateParents(parent);
  mkdir(parent.c_str(), 0700);
}

}  // namespace

bool PrepareRuntimeDirectory(const std::filesystem::path& directory, std::string& error) {
  int made = mkdir(directory.c_str(), 0700);
  if (made != 0 && errno == ENOENT) {
    CreateParents(directory);
    made = mkdir(directory.c_str(), 0700);
  }
  if (made != 0 && errno != EEXIST) {
    error = "cannot create " + directory.string() + ": " + std::strerror(errno);
    return false;
  }
  return CheckRuntimeDirectory(directory, error);
}

}  // namespace kavonet::clients
