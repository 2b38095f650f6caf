// The software side of the settings file and of the runs over every setting:
// writing and reading a settings data file, and building the 160 read and
// 152 write steps. The wire takes 16 s and 15 s for those runs.
#include <benchmark/benchmark.h>

#include "model/all_settings_runs.h"
#include "model/settings_data_file.h"

namespace {

using namespace kelvrix;

DeviceSettings Defaults() {
  DeviceSettings s{};
  ResetSettingsToDefaults(s);
  return s;
}

void BM_WriteSettingsData(benchmark::State& state) {
  const DeviceSettings s = Defaults();
  for (auto _ : state) benchmark::DoNotOptimize(WriteSettingsData(s));
}
BENCHMARK(BM_WriteSettingsData);

void BM_ReadSettingsData(benchmark::State& state) {
  const std::string file = WriteSettingsData(Defaults());
  DeviceSettings s = Defaults();
  for (auto _ : state) {
    ReadSettingsData(file, s);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.size()));
}
BENCHMARK(BM_ReadSettingsData);

void BM_ReadAllRequests(benchmark::State& state) {
  for (auto _ : state) {
    for (int step = 1; step <= kReadAllSteps; ++step) benchmark::DoNotOptimize(ReadAllRequest(step));
  }
}
BENCHMARK(BM_ReadAllRequests);

void BM_WriteAllSteps(benchmark::State& state) {
  DeviceSettings s = Defaults();
  for (auto _ : state) {
    for (int step = 1; step <= kWriteAllSteps; ++step) benchmark::DoNotOptimize(WriteAllStep(s, step));
  }
}
BENCHMARK(BM_WriteAllSteps);

}  // namespace
