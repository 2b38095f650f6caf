// What recording the link's traffic costs the link: one entry added to the
// full ring, as every frame and line is. A byte at 9600 baud takes 1.15 ms.
#include <benchmark/benchmark.h>

#include "link/traffic_log.h"

namespace {

using namespace kelvrix;

void BM_AddToFullTrafficRing(benchmark::State& state) {
  TrafficLog log;
  for (std::size_t i = 0; i < kTrafficCapacity; ++i) log.Add(0, TrafficKind::Sent, "COM1 05", "05RVAB03\r\n");
  int32_t time = 0;
  for (auto _ : state) {
    log.Add(++time, TrafficKind::Received, "COM1 05", "05VAB03120\r\n");
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_AddToFullTrafficRing);

void BM_FormatEntry(benchmark::State& state) {
  const TrafficEntry entry{12, 33907123, TrafficKind::Received, "COM1 05", "05VAB03120\r\n"};
  for (auto _ : state) benchmark::DoNotOptimize(FormatEntry(entry));
}
BENCHMARK(BM_FormatEntry);

}  // namespace
