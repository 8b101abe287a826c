#pragma once
// The text of a private-profile (INI) file, held line by line so that a value can be
// replaced without disturbing anything else: comments, unknown keys, blank lines, spacing
// and line endings all come back out of Text() as they went in.
//
// Reading rules (those of the Windows profile functions the file format comes from):
// - "[name]" starts a section; the name runs to the last ']' and is trimmed. Lines before
//   the first section belong to none.
// - "key = value" is a key; key and value are trimmed of blanks. A line whose first
//   non-blank character is ';' is a comment. Other lines are kept and otherwise ignored.
// - Section and key names compare case-insensitively (ASCII); requested names are trimmed.
//   When a name occurs twice, the first occurrence wins.
// - A value enclosed in a matching pair of '"' or '\'' loses them, then is cut to
//   kMaxValueLength characters.
// - Lines end in LF or CR LF; a UTF-8 byte order mark at the start is skipped.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavonet {

class IniDocument {
 public:
  static constexpr std::size_t kMaxValueLength = 1023;

  IniDocument() = default;
  explicit IniDocument(std::string_view text);

  // The value of `key` in `section`, or nothing when the section or key is missing.
  std::optional<std::string> Find(std::string_view section, std::string_view key) const;

  // Sets `key` in `section`: an existing value is replaced in its line; a missing key is
  // added after the last non-blank line of its section; a missing section is added at the
  // end, after a blank line. New lines take the ending of the document's first line (LF
  // in an empty document). Returns false, changing nothing, when the names or the value
  // cannot be stored so that they read back: a line break anywhere, '=' in the key, a key
  // starting with ';' or '['.
  bool Set(std::string_view section, std::string_view key, std::string_view value);

  std::string Text() const;

 private:
  enum class LineKind { kOther, kSection, kKey };
  struct Line {
    std::string content;  // without its line ending
    std::string ending;   // "\n", "\r\n", or "" for a last line without one
    LineKind kind = LineKind::kOther;
    std::string name;            // section or key name, trimmed
    std::size_t valueStart = 0;  // key lines: where the value begins in content
  };

  static Line ParseLine(std::string content, std::string ending);
  std::optional<std::size_t> FindKeyLine(std::string_view section, std::string_view key) const;
  std::optional<std::size_t> FindSectionLine(std::string_view section) const;
  std::size_t EndOfSection(std::size_t headerLine) const;
  void InsertLine(std::size_t index, std::string content);
  void AppendLine(std::string content);
  void TerminateLastLine();

  bool byteOrderMark_ = false;
  std::string newline_ = "\n";
  std::vector<Line> lines_;
};

// A profile integer: optionally signed decimal, or hexadecimal after "0x"/"0X" (read as a
// 32-bit pattern, so "0xFFFFFFFF" is -1). Nothing is returned for anything else, trailing
// characters after the digits and decimal values outside 32 bits included.
std::optional<std::int32_t> ParseIniInteger(std::string_view text);

}  // namespace kavonet
