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

// An XDG base directory: the variable when it is absolute, else under HOME.
std::filesystem::path BaseDirectory(const char* variable, const char* home, const char* underHome) {
  if (variable != nullptr && variable[0] == '/') return variable;
  if (home != nullptr && home[0] != '\0') return std::filesystem::path(home) / underHome;
  return {};
}

}  // namespace

std::filesystem::path ActivationFilePath(const char* xdgDataHome, const char* home) {
  const std::filesystem::path base = BaseDirectory(xdgDataHome, home, ".local/share");
  if (base.empty()) return {};
  return base / "dbus-1" / "services" / (std::string(kServiceName) + ".service");
}

std::filesystem::path StateDirectoryPath(const char* xdgStateHome, const char* home) {
  const std::filesystem::path base = BaseDirectory(xdgStateHome, home, ".local/state");
  if (base.empty()) return {};
  return base / "kavonet";
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
