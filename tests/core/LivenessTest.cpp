// Seeded random runs of the gateway against the adversarial terminal (see LivenessRun.h for
// the invariants).

#include <gtest/gtest.h>

#include "LivenessRun.h"

namespace kavonet::testing {
namespace {

constexpr int kSeeds = 1000, kSteps = 250;

// Reports the first failing seeds of each mode with the invariant each broke.
TEST(Liveness, PduAndBlockModeSeeds) {
  for (const bool blockMode : {false, true}) {
    std::string seeds;
    int failed = 0;
    for (std::uint64_t seed = 1; seed <= kSeeds; ++seed) {
      const std::string failure = LivenessRun(seed, blockMode).Run(kSteps);
      if (!failure.empty() && ++failed <= 12) seeds += "seed " + std::to_string(seed) + ": " + failure + "\n";
    }
    EXPECT_EQ(failed, 0) << (blockMode ? "Block Mode\n" : "PDU Mode\n") << seeds;
  }
}

}  // namespace
}  // namespace kavonet::testing
