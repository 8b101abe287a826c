#pragma once
// The one failure of the configuration layer that reaches the user.

#include <filesystem>
#include <stdexcept>

namespace kavonet {

// A write the file system refused; what() is "Unable to write to <path>".
class ConfigWriteError : public std::runtime_error {
 public:
  explicit ConfigWriteError(const std::filesystem::path& path);
};

}  // namespace kavonet
