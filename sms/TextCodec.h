#pragma once
// The gateway keeps message text as 8-bit code page 437 inside, the character set its
// GSM tables are written for; text crossing to clients, the window and the log files
// is UTF-8.

#include <string>
#include <string_view>

namespace kavonet::sms {

// Characters without a CP437 form become '?', and so does each malformed UTF-8
// sequence. Control characters and ASCII pass unchanged; U+00A7 (§) becomes 0x15,
// the code page's glyph for that code, which the GSM table sends as §.
std::string Utf8ToCp437(std::string_view utf8);

// Every CP437 code has a UTF-8 form; 0x15 comes out as §, other controls unchanged.
std::string Cp437ToUtf8(std::string_view cp437);

}  // namespace kavonet::sms
