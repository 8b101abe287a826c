// Seeded random runs of the gateway against the adversarial terminal (see LivenessRun.h for
// the invariants). To replay one seed with its full step list:
//   KAVONET_LIVENESS_SEED=17 KAVONET_LIVENESS_MODE=block core_tests --gtest_filter=Liveness.OneSeed
// KAVONET_LIVENESS_STEPS changes the number of steps before the calm phase.

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>

#include "LivenessRun.h"

namespace kavonet::testing {
namespace {

constexpr int kSeeds = 1000, kSteps = 250;

// Reports the first failing seeds of each mode; OneSeed replays one with its steps.
TEST(Liveness, PduAndBlockModeSeeds) {
  for (const bool blockMode : {false, true}) {
    std::string seeds;
    int failed = 0;
    for (std::uint64_t seed = 1; seed <= kSeeds; ++seed) {
      const std::string failure = LivenessRun(seed, blockMode, false).Run(kSteps);
      if (!failure.empty() && ++failed <= 12) seeds += "seed " + std::to_string(seed) + ": " + failure + "\n";
    }
    EXPECT_EQ(failed, 0) << seeds << "Replay a seed with KAVONET_LIVENESS_SEED=<seed> KAVONET_LIVENESS_MODE="
                         << (blockMode ? "block" : "pdu") << " core_tests --gtest_filter=Liveness.OneSeed";
  }
}

TEST(Liveness, OneSeed) {
  const char *seed = std::getenv("KAVONET_LIVENESS_SEED"), *mode = std::getenv("KAVONET_LIVENESS_MODE"),
             *steps = std::getenv("KAVONET_LIVENESS_STEPS");
  if (seed == nullptr) GTEST_SKIP() << "set KAVONET_LIVENESS_SEED (and KAVONET_LIVENESS_MODE)";
  LivenessRun run(std::strtoull(seed, nullptr, 10), mode && std::string(mode) == "block", true);
  const std::string failure = run.Run(steps ? std::atoi(steps) : kSteps);
  for (const std::string& line : run.trace) std::cout << line << "\n";
  EXPECT_EQ(failure, "");
}

}  // namespace
}  // namespace kavonet::testing
