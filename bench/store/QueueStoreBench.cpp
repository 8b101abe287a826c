// Submissions kept durably: one commit per message against commits that group many.
// The file lives under $TMPDIR (default /tmp); what it measures is that disk's fsync.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>

#include "store/SqliteQueueStore.h"

namespace kavonet {
namespace {

void BM_AddOutgoing(benchmark::State& state) {
  constexpr int kRows = 10000;
  const std::size_t perCommit = static_cast<std::size_t>(state.range(0));
  const std::vector<OutgoingMessage> batch(perCommit, {"447700900123", "a message of ordinary length for the queue"});
  for (auto _ : state) {
    state.PauseTiming();
    std::string dir = (std::filesystem::temp_directory_path() / "kavonet-bench-XXXXXX").string();
    if (::mkdtemp(dir.data()) == nullptr) state.SkipWithError("mkdtemp failed");
    {
      SqliteQueueStore store(dir);
      state.ResumeTiming();
      for (int added = 0; added < kRows; added += static_cast<int>(perCommit)) {
        if (!store.AddOutgoing(batch)) state.SkipWithError(store.Fault()->Text().c_str());
      }
      state.PauseTiming();
    }
    std::filesystem::remove_all(dir);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_AddOutgoing)->ArgName("rows_per_commit")->Arg(1)->Arg(100)->Iterations(3)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace kavonet
