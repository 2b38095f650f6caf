// The engine of runs on many units at once: every unit's backup (its 160
// settings read, decoded and compared, its file written in memory), on one
// loop. The units answer in memory on a fake clock, so this is the tools'
// own work; its cost per unit stays flat as the units grow.
#include <benchmark/benchmark.h>

#include "sim/simulated_links.h"
#include "tools/job_run.h"

namespace {

class MemoryFiles : public kelvrix::RunFiles {
 public:
  bool Write(const std::string&, std::string_view bytes) override {
    written += bytes.size();
    return true;
  }
  std::size_t written = 0;
};

void BM_BackupDialledUnitsAtOnce(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  kelvrix::DeviceSettings defaults{};
  kelvrix::ResetSettingsToDefaults(defaults);
  kelvrix::JobRunSettings settings;
  settings.serialLink = false;
  settings.timeouts = {kelvrix::cli::Millis(4000), kelvrix::cli::Millis(4000)};
  for (auto _ : state) {
    kelvrix::sim::SimulatedDialledUnits units(count);
    MemoryFiles files;
    kelvrix::JobRun run(units, files, settings);
    kelvrix::cli::Drive(run, units, [&](std::size_t, const std::string& name) {
      run.Add({-1, name, 0, {}}, {defaults, {}, kelvrix::UnitOutcome::Done, {}});
    });
    run.TakeEnded();
    benchmark::DoNotOptimize(files.written);
  }
  state.SetItemsProcessed(state.iterations() * count);  // units backed up
}
BENCHMARK(BM_BackupDialledUnitsAtOnce)->Arg(1)->Arg(32)->Arg(96)->Unit(benchmark::kMillisecond);

}  // namespace
