#pragma once
// A private-profile (INI) file: case-insensitive section and key names, "0x" integers,
// defaults for whatever is missing. Each call opens the file, does its work and releases
// it; nothing is cached. Writing a value keeps every other line, comments included.
// The parsing rules are those of IniDocument.
//
// A write replaces the file through a new file of a unique name in the same directory,
// so a crash leaves either the old file or the new one, never half of one; the new file
// takes the old one's permission bits, and its owner and group. A file with other hard
// links, one whose owner the user cannot give to a new file, and one in a directory the
// user may not write are instead rewritten in place. A symbolic link at the path is
// followed and its target written; a new file is the user's only (0600): it may hold
// the PIN code.

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>

#include "config/ConfigWriteError.h"
#include "config/IniDocument.h"

namespace kavonet {

class IniFile {
 public:
  explicit IniFile(std::filesystem::path path) : path_(std::move(path)) {}

  const std::filesystem::path& Path() const { return path_; }
  // True when the path names a regular file (a directory there does not count).
  bool Exists() const;

  // Values are read up to 1023 characters. A file that is missing or cannot be read
  // reads as defaults.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;
  // Decimal, or hexadecimal after "0x"/"0X"; anything that is not a number gives the default,
  // a number followed by anything else included ("12abc").
  std::int32_t ReadInteger(const std::string& section, const std::string& key,
                           std::int32_t defaultValue) const;
  // Read as an integer: non-zero is true.
  bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;

  // Throw ConfigWriteError when the file cannot be written, and also when a name or value
  // cannot be stored so that it reads back (see IniDocument::Set); the file is then
  // unchanged. Integers are written in decimal, Booleans as "1" and "0".
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, std::int32_t value);
  void WriteBool(const std::string& section, const std::string& key, bool value);

  // Replaces the whole file with `document` in one write. Throws ConfigWriteError.
  void Replace(const IniDocument& document);

 private:
  std::filesystem::path path_;
};

}  // namespace kavonet
