// Reply dispatch throughput over the mix a read-all run produces: status
// replies, video values, layouts, titles, histories and network values.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "link/reply_dispatcher.h"
#include "tests/null_panel.h"

namespace {

using namespace kelvrix;

const std::vector<std::string> kReplyMix = {
    "GO\r\n", "VAB03120\r\n", "VAC01092\r\n", "VASH1607\r\n", "VASV16128\r\n",
    "CT05DOOR [1]\r\n", "SPD4C09101112\r\n", "SPD1601020304050607080910111213141516\r\n",
    "AH012 03 - 26/12/08 19:30:05\r\n", "VLH099 N\r\n", "CTDSON\r\n", "CTDD12OF\r\n",
    "POSD12B\r\n", "EIA192.168.001.003\r\n", "EMA00-1A-2B-3C-4D-5E\r\n", "VLDON\r\n",
    "VLNNNNNNNNNNNNNNNN\r\n", "Ver. 1.23\r\n", "ETR6\r\n", "HELLO\r\n",
};

void BM_DispatchSerialReply(benchmark::State& state) {
  testing::NullPanel b;
  b.link.rsControl = kRs485;
  std::vector<std::string> lines;
  for (const auto& reply : kReplyMix) lines.push_back("05" + reply);
  for (auto _ : state) {
    for (const auto& line : lines) DispatchSerialReply(b.panel, line);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(lines.size()));
}
BENCHMARK(BM_DispatchSerialReply);

void BM_DispatchSocketReply(benchmark::State& state) {
  testing::NullPanel b;
  for (auto _ : state) {
    for (const auto& line : kReplyMix) {
      DispatchSocketReply(b.panel, line, static_cast<int>(line.size()));
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kReplyMix.size()));
}
BENCHMARK(BM_DispatchSocketReply);

}  // namespace
