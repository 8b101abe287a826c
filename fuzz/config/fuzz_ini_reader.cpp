// Arbitrary file content, looked up and edited under arbitrary section and key names: the
// text comes back byte for byte, a value read is never longer than the limit, a value set
// reads back (also after a round trip through the text), and setting one key changes no
// other key.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "config/IniDocument.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kavonet::IniDocument;
  using kavonet::fuzzing::Check;
  FuzzedDataProvider input(data, size);
  const std::string section = input.ConsumeRandomLengthString(64);
  const std::string key = input.ConsumeRandomLengthString(64);
  const std::string otherSection = input.ConsumeRandomLengthString(64);
  const std::string otherKey = input.ConsumeRandomLengthString(64);
  const std::string content = input.ConsumeRemainingBytesAsString();

  IniDocument document(content);
  Check(document.Text() == content);
  const auto otherBefore = document.Find(otherSection, otherKey);
  for (const auto& found : {document.Find(section, key), otherBefore}) {
    if (!found) continue;
    Check(found->size() <= IniDocument::kMaxValueLength);
    (void)kavonet::ParseIniInteger(*found);
  }

  const std::string value = "fuzz-value";
  if (!document.Set(section, key, value)) {
    Check(document.Text() == content);
    return 0;
  }
  Check(document.Find(section, key) == value);
  const IniDocument reread(document.Text());
  Check(reread.Find(section, key) == value && reread.Text() == document.Text());
  // Whether the other names are the same key, as the document itself matches names.
  IniDocument probe("");
  probe.Set(section, key, value);
  if (!probe.Find(otherSection, otherKey)) Check(reread.Find(otherSection, otherKey) == otherBefore);
  return 0;
}
