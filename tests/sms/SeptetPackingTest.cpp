#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "sms/GsmAlphabet.h"
#include "sms/PduCodec.h"
#include "sms/SeptetPacking.h"
#include "tests/support/HexOctets.h"

namespace kavonet::sms {
namespace {

using kavonet::testing::HexOctets;

std::vector<std::uint8_t> Septets(std::string_view ascii) {
  return {ascii.begin(), ascii.end()};
}

// Every septet value turns up at every bit offset over the lengths tried.
std::vector<std::uint8_t> PatternSeptets(std::size_t count) {
  std::vector<std::uint8_t> septets(count);
  for (std::size_t k = 0; k < count; ++k)
    septets[k] = static_cast<std::uint8_t>((k * 37 + 5) % 128);
  return septets;
}

TEST(PackSeptets, KnownPackings) {
  EXPECT_EQ(PackSeptets(Septets("hello")), HexOctets("E8329BFD06"));
  EXPECT_EQ(PackSeptets(Septets("hi")), HexOctets("E834"));
  EXPECT_EQ(PackSeptets({}), std::vector<std::uint8_t>{});
  // Eight septets fill seven octets with no spare bits.
  EXPECT_EQ(PackSeptets(std::vector<std::uint8_t>(8, 0x7F)), std::vector<std::uint8_t>(7, 0xFF));
}

TEST(PackSeptets, MasksEachSeptetToSevenBits) {
  EXPECT_EQ(PackSeptets(std::vector<std::uint8_t>{0xFF, 0x80}), HexOctets("7F00"));
}

TEST(PackSeptets, RoundTripsEveryLengthUpTo160WithExactSizes) {
  for (std::size_t n = 0; n <= 160; ++n) {
    const std::vector<std::uint8_t> septets = PatternSeptets(n);
    const std::vector<std::uint8_t> packed = PackSeptets(septets);
    ASSERT_EQ(packed.size(), (7 * n + 7) / 8) << n;
    if (n % 8 != 0) {
      // Bits above the last septet are zero.
      const unsigned usedBits = (7 * n) % 8;
      EXPECT_EQ(packed.back() >> usedBits, 0) << n;
    }
    EXPECT_EQ(UnpackSeptets(packed, n), septets) << n;

    // Packing in place touches exactly its octets: the canary behind them survives.
    std::vector<std::uint8_t> buffer(packed.size() + 1, 0xAA);
    PackSeptetsInto(septets, std::span<std::uint8_t>(buffer).first(packed.size()));
    EXPECT_EQ(buffer.back(), 0xAA) << n;
    EXPECT_TRUE(std::equal(packed.begin(), packed.end(), buffer.begin())) << n;

    // The same through the user data field, which also reads the GSM alphabet.
    std::vector<std::uint8_t> record(1 + packed.size());
    record[0] = static_cast<std::uint8_t>(n);
    std::copy(packed.begin(), packed.end(), record.begin() + 1);
    std::size_t position = 0;
    const std::string text = UnpackUserData(record, position);
    EXPECT_EQ(position, record.size()) << n;
    std::string expected;
    AppendGsmText(expected, septets);
    EXPECT_EQ(text, expected) << n;
  }
}

TEST(UnpackSeptets, StopsAtTheLastWholeSeptet) {
  // Two octets hold two whole septets and two bits of a third.
  EXPECT_EQ(UnpackSeptets(HexOctets("E834"), 5), Septets("hi"));
  EXPECT_EQ(UnpackSeptets({}, 3), std::vector<std::uint8_t>{});
  EXPECT_EQ(UnpackSeptets(HexOctets("E8329BFD06"), 3), Septets("hel"));
}

}  // namespace
}  // namespace kavonet::sms
