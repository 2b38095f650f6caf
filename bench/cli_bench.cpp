// The command-line tool's engine for many units at once: every unit's read
// of its 160 settings, its replies decoded and compared, on one loop. The
// units answer in memory on a fake clock, so this is the tool's own work.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "model/device_settings.h"
#include "sim/simulated_dialled_units.h"
#include "tools/unit_comparison.h"

namespace {

void BM_ReadDialledUnitsAtOnce(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  kelvrix::DeviceSettings defaults{};
  kelvrix::ResetSettingsToDefaults(defaults);
  for (auto _ : state) {
    kelvrix::sim::SimulatedDialledUnits units(count);
    std::vector<kelvrix::UnitComparison> comparisons(static_cast<std::size_t>(count));
    std::vector<kelvrix::cli::UnitSequence> runs;
    for (kelvrix::UnitComparison& comparison : comparisons) {
      comparison.StartReading(defaults, kelvrix::cli::Millis(4000));
      runs.push_back({comparison, comparison.unit});
    }
    kelvrix::cli::RunSequences(runs, units);
    benchmark::DoNotOptimize(comparisons.back().unit);
  }
  state.SetItemsProcessed(state.iterations() * count);  // units read
}
BENCHMARK(BM_ReadDialledUnitsAtOnce)->Arg(1)->Arg(32)->Arg(96)->Unit(benchmark::kMillisecond);

}  // namespace
