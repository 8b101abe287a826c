// Arbitrary file content, looked up and edited under arbitrary section and key names.
// Beyond "no crash": the text comes back byte for byte, a value read is never longer than
// the limit, a value set reads back (also after a round trip through the text), and
// setting one key changes no other key.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "config/IniDocument.h"
#include "fuzz/FuzzCheck.h"

namespace {

using kavonet::fuzzing::Check;

using kavonet::IniDocument;

// The document's own notion of one name: blanks at both ends do not count, case does not.
std::string NameKey(std::string_view name) {
  constexpr std::string_view kBlanks = " \t\r\v\f";
  const auto first = name.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  std::string key(name.substr(first, name.find_last_not_of(kBlanks) - first + 1));
  std::transform(key.begin(), key.end(), key.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
  return key;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string section = input.ConsumeRandomLengthString(64);
  const std::string key = input.ConsumeRandomLengthString(64);
  const std::string otherSection = input.ConsumeRandomLengthString(64);
  const std::string otherKey = input.ConsumeRandomLengthString(64);
  const std::string content = input.ConsumeRemainingBytesAsString();

  IniDocument document(content);
  Check(document.Text() == content);

  for (const auto& [s, k] : {std::pair{&section, &key}, std::pair{&otherSection, &otherKey}}) {
    if (const auto value = document.Find(*s, *k)) {
      Check(value->size() <= IniDocument::kMaxValueLength);
      (void)kavonet::ParseIniInteger(*value);
    }
  }

  const auto otherBefore = document.Find(otherSection, otherKey);
  const std::string value = "fuzz-value";
  if (!document.Set(section, key, value)) {
    Check(document.Text() == content);
    return 0;
  }
  Check(document.Find(section, key) == value);
  const IniDocument reread(document.Text());
  Check(reread.Find(section, key) == value);
  Check(reread.Text() == document.Text());
  const bool sameKey =
      NameKey(section) == NameKey(otherSection) && NameKey(key) == NameKey(otherKey);
  if (!sameKey) Check(reread.Find(otherSection, otherKey) == otherBefore);
  return 0;
}
