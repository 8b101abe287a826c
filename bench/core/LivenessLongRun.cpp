// The liveness runs of the core tests for far longer: seeds in turn, each in PDU Mode and in
// Block Mode, until the step budget is spent. Prints the rate, and the first five failing
// seeds of each invariant.
//   core_liveness_long_run [total steps = 1000000] [steps per run = 500] [first seed = 1]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "tests/core/LivenessRun.h"

int main(int argc, char** argv) {
  const long long total = argc > 1 ? std::atoll(argv[1]) : 1000000;
  const int perRun = argc > 2 ? std::atoi(argv[2]) : 500;
  std::uint64_t seed = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1;

  const auto start = std::chrono::steady_clock::now();
  long long steps = 0;
  int runs = 0;
  std::map<std::string, int> failures;  // invariant -> runs
  for (; steps < total; ++seed) {
    for (const bool blockMode : {false, true}) {
      kavonet::testing::LivenessRun run(seed, blockMode);
      const std::string failure = run.Run(perRun);
      steps += perRun;
      ++runs;
      if (failure.empty()) continue;
      if (++failures[failure.substr(0, failure.find(':'))] > 5) continue;
      std::printf("seed %llu %s: %s\n", static_cast<unsigned long long>(seed),
                  blockMode ? "block" : "pdu", failure.c_str());
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%lld steps in %d runs, %.1f s: %.0f steps/s\n", steps, runs, seconds,
              steps / seconds);
  for (const auto& [invariant, count] : failures)
    std::printf("%s broken in %d runs\n", invariant.c_str(), count);
  return failures.empty() ? 0 : 1;
}
