#pragma once
// A private-profile (INI) file: case-insensitive section and key names, "0x" integers,
// defaults for whatever is missing. Each call opens the file, does its work and releases
// it; nothing is cached. Writing a value keeps every other line, comments included.

#include <cstdint>
#include <filesystem>
#include <string>

namespace kavonet {

class IniFile {
 public:
  explicit IniFile(std::filesystem::path path) : path_(std::move(path)) {}

  const std::filesystem::path& Path() const { return path_; }
  bool Exists() const;

  // Values are read up to 1023 characters.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;
  // Decimal, or hexadecimal after "0x"/"0X"; anything that is not a number gives the default.
  std::int32_t ReadInteger(const std::string& section, const std::string& key,
                           std::int32_t defaultValue) const;
  // Read as an integer: non-zero is true.
  bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;

  // Throw ConfigWriteError when the file cannot be written.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, std::int32_t value);
  void WriteBool(const std::string& section, const std::string& key, bool value);

 private:
  std::filesystem::path path_;
};

}  // namespace kavonet
