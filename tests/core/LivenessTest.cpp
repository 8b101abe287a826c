// Seeded random runs of the gateway against the adversarial terminal (see LivenessRun.h for
// the invariants). To replay one seed with its full step list:
//   KAVONET_LIVENESS_SEED=17 KAVONET_LIVENESS_MODE=block core_tests --gtest_filter=Liveness.OneSeed
// KAVONET_LIVENESS_STEPS changes the number of steps before the calm phase.

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <map>
#include <sstream>

#include "LivenessRun.h"

namespace kavonet::testing {
namespace {

constexpr int kSeeds = 1000;
constexpr int kSteps = 250;

void RunSeeds(bool blockMode) {
  std::map<std::string, std::vector<std::uint64_t>> failing;  // invariant -> seeds
  for (std::uint64_t seed = 1; seed <= kSeeds; ++seed) {
    const std::string failure = LivenessRun(seed, blockMode, false).Run(kSteps);
    if (!failure.empty()) failing[failure.substr(0, failure.find(':'))].push_back(seed);
  }
  if (failing.empty()) return;
  std::ostringstream report;
  std::uint64_t first = kSeeds;
  for (const auto& [invariant, seeds] : failing) {
    report << invariant << " broken by " << seeds.size() << " of " << kSeeds << " seeds:";
    for (std::size_t i = 0; i < std::min<std::size_t>(seeds.size(), 12); ++i)
      report << " " << seeds[i];
    report << "\n";
    first = std::min(first, seeds[0]);
  }
  LivenessRun replay(first, blockMode, true);
  replay.Run(kSteps);
  report << "Steps of seed " << first << " (replay with KAVONET_LIVENESS_SEED=" << first
         << " KAVONET_LIVENESS_MODE=" << (blockMode ? "block" : "pdu")
         << " core_tests --gtest_filter=Liveness.OneSeed):\n";
  for (const std::string& line : replay.trace)
    if (line.find("s]   ") == std::string::npos) report << line << "\n";  // steps only
  ADD_FAILURE() << report.str();
}

TEST(Liveness, PduModeSeeds) {
  RunSeeds(false);
}
TEST(Liveness, BlockModeSeeds) {
  RunSeeds(true);
}

TEST(Liveness, OneSeed) {
  const char* seed = std::getenv("KAVONET_LIVENESS_SEED");
  if (seed == nullptr)
    GTEST_SKIP() << "set KAVONET_LIVENESS_SEED (and KAVONET_LIVENESS_MODE=pdu|block)";
  const char* mode = std::getenv("KAVONET_LIVENESS_MODE");
  const char* steps = std::getenv("KAVONET_LIVENESS_STEPS");
  LivenessRun run(std::strtoull(seed, nullptr, 10), mode && std::string(mode) == "block", true);
  const std::string failure = run.Run(steps ? std::atoi(steps) : kSteps);
  for (const std::string& line : run.trace) std::cout << line << "\n";
  EXPECT_EQ(failure, "");
}

}  // namespace
}  // namespace kavonet::testing
