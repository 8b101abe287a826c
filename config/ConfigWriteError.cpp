#include "config/ConfigWriteError.h"

#include <string>

namespace kavonet {

ConfigWriteError::ConfigWriteError(const std::filesystem::path& path)
    : std::runtime_error("Unable to write to " + path.string()) {}

}  // namespace kavonet
