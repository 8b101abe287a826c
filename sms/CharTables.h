#pragma once
// Character translation between the gateway's 8-bit text (code page 437) and the
// GSM 7-bit default alphabet. The two tables are deliberately not inverses: several
// PC letters share one GSM letter, and GSM national characters come back as ASCII.

#include <array>
#include <cstdint>

namespace kavonet::sms {

// CP437 character code -> GSM septet. Every value is below 0x80; characters without
// a GSM form become a space.
extern const std::array<std::uint8_t, 256> TxCharTable;

// GSM septet -> CP437 character code. Values from 0x7F upward map to a space.
extern const std::array<std::uint8_t, 256> RxCharTable;

}  // namespace kavonet::sms
