#include "clients/ActivationFile.h"

#include <unistd.h>

#include <fstream>
#include <system_error>

#include "clients/AutomationObject.h"

namespace kavonet::clients {
namespace {

// The bus splits Exec like a shell: quote a path that holds anything but plain characters.
std::string QuotedForExec(const std::string& path) {
  if (path.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._-+") ==
      std::string::npos) {
    return path;
  }
  std::string quoted = "\"";
  for (char c : path) {
    if (c == '"' || c == '\\' || c == '$' || c == '`') quoted.push_back('\\');
    quoted.push_back(c);
  }
  return quoted + "\"";
}

}  // namespace

std::filesystem::path ActivationFilePath(const char* xdgDataHome, const char* home) {
  std::filesystem::path base;
  if (xdgDataHome != nullptr && xdgDataHome[0] == '/') {
    base = xdgDataHome;
  } else if (home != nullptr && home[0] != '\0') {
    base = std::filesystem::path(home) / ".local" / "share";
  } else {
    return {};
  }
  return base / "dbus-1" / "services" / (std::string(kServiceName) + ".service");
}

std::string ActivationFileText(const std::filesystem::path& executable) {
  return "[D-BUS Service]\nName=" + std::string(kServiceName) +
         "\nExec=" + QuotedForExec(executable.string()) + " -automation\n";
}

bool WriteActivationFile(const std::filesystem::path& file, const std::filesystem::path& executable,
                         std::string& error) {
  std::error_code ec;
  std::filesystem::create_directories(file.parent_path(), ec);
  if (ec) {
    error = "cannot create " + file.parent_path().string() + ": " + ec.message();
    return false;
  }
  // A bus reading the directory never sees half a file.
  const std::filesystem::path temporary =
      file.string() + ".tmp." + std::to_string(static_cast<long>(getpid()));
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << ActivationFileText(executable);
    out.close();
    if (!out) {
      std::filesystem::remove(temporary, ec);
      error = "cannot write " + temporary.string();
      return false;
    }
  }
  std::filesystem::rename(temporary, file, ec);
  if (ec) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    error = "cannot write " + file.string() + ": " + ec.message();
    return false;
  }
  return true;
}

bool RemoveActivationFile(const std::filesystem::path& file, std::string& error) {
  std::error_code ec;
  std::filesystem::remove(file, ec);
  if (ec) {
    error = "cannot remove " + file.string() + ": " + ec.message();
    return false;
  }
  return true;
}

}  // namespace kavonet::clients
