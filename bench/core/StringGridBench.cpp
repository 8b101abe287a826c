// Taking every message out of a deep queue one by one, as retrieval and sending do.

#include <benchmark/benchmark.h>

#include "core/Controls.h"

namespace kavonet {
namespace {

void BM_DrainQueueRowByRow(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    StringGrid grid({"Destination", "Message Text"});
    for (int i = 0; i < rows; ++i) {
      grid.SetCell(0, grid.RowCount() - 1, "+447700900" + std::to_string(i % 1000));
      grid.SetCell(1, grid.RowCount() - 1, "a message of ordinary length for the queue");
      grid.AddRow();
    }
    state.ResumeTiming();
    while (grid.RowCount() > 2) grid.RemoveFirstRow();
    benchmark::DoNotOptimize(grid.RowCount());
  }
  state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(BM_DrainQueueRowByRow)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kavonet
