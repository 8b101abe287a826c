#pragma once
// A property a fuzz target checks: when it breaks, the target aborts and libFuzzer keeps
// the input.

#include <cstdio>
#include <cstdlib>

namespace kavonet::fuzzing {

inline void Check(bool ok, const char* what = "a checked property") {
  if (ok) return;
  std::fprintf(stderr, "broken: %s\n", what);
  std::abort();
}

}  // namespace kavonet::fuzzing
