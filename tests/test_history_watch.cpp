// kelvrix-cli watch's rounds against a simulated RS-485 bus: what each round
// reports, once, and what the state keeps across a restart.
#include <gtest/gtest.h>

#include <regex>

#include "sim/simulated_links.h"
#include "tools/history_watch.h"

namespace kelvrix {
namespace {

using sim::SimulatedBus;
using sim::SimulatedLine;

class WatchRounds : public ::testing::Test {
 protected:
  WatchRounds() : bus_(true, {0, 5, 7}), link_(bus_) { link_.mode.rs485 = true; }

  // One round over the bus's units as a scan would give them; its lines as
  // "kind unit channel/detail".
  std::vector<std::string> Round(bool all = false) {
    HistoryRound round(link_, true, std::chrono::milliseconds(300));
    for (const int address : {0, 5, 7}) {
      const auto unit = bus_.units().find(address);
      round.Add("0" + std::to_string(address), unit == bus_.units().end() ? macs_[address] : unit->second.settings.macAddress,
                address);
    }
    cli::Drive(round.Events(), link_);
    std::vector<std::string> lines;
    for (const WatchLine& line : state_.Take(round.Readings(), ++seconds_, all)) {
      lines.push_back(line.kind + " " + line.unit + " " + (line.channel > 0 ? std::to_string(line.channel) : line.detail));
    }
    return lines;
  }

  SimulatedBus bus_;
  SimulatedLine link_;
  WatchState state_;
  std::map<int, std::string> macs_ = {{0, "02-00-00-00-01-00"}, {5, "02-00-00-00-01-05"}, {7, "02-00-00-00-01-07"}};
  std::int64_t seconds_ = 1'800'000'000;
};

TEST_F(WatchRounds, EachNewEntryOnceAcrossARestartAndWhatChangedAtAUnitIsSaid) {
  for (auto& [address, unit] : bus_.units()) CopyText(unit.settings.macAddress, macs_[address]);
  link_.mode.alarms = 2;
  EXPECT_EQ(Round(), (std::vector<std::string>{"known 00 ", "known 05 ", "known 07 "})) << "a first round reports nothing";

  link_.mode.alarms = 4;  // each unit two alarms more: channels 3 and 4
  link_.mode.videoLosses = 1;
  const std::vector<std::string> news = {"alarm 00 3", "alarm 00 4", "video-loss 00 6", "alarm 05 3", "alarm 05 4",
                                         "video-loss 05 6", "alarm 07 3", "alarm 07 4", "video-loss 07 6"};
  EXPECT_EQ(Round(), news);
  state_ = *WatchState::Parse(state_.Text());  // a restart
  EXPECT_EQ(Round(), std::vector<std::string>{}) << "nothing twice";

  for (auto& record : bus_.units().find(5)->second.settings.alarmHistory) record = HistoryRecord{};  // 全消去
  EXPECT_EQ(Round(), std::vector<std::string>{"history_cleared 05 alarm"});
  EXPECT_EQ(Round(), std::vector<std::string>{}) << "said once";

  bus_.units().erase(7);  // falls silent
  link_.mode.alarms = 5;
  EXPECT_EQ(Round(), (std::vector<std::string>{"alarm 00 5", "alarm 05 1", "alarm 05 2", "alarm 05 3", "alarm 05 4",
                                               "alarm 05 5", "unit_down 07 応答なし"}))
      << "05's five after its erase, and the others go on";
  bus_.units().emplace(7, sim::SimulatedUnit());
  CopyText(bus_.units().find(7)->second.settings.macAddress, macs_[7]);
  EXPECT_EQ(Round(), (std::vector<std::string>{"unit_up 07 ", "alarm 07 5"})) << "its entry while it was away";

  link_.mode.reply = "MENU";  // the front panel's menu open: no history read, and no "nothing new" either
  EXPECT_EQ(Round(), (std::vector<std::string>{"unit_down 00 読めない履歴 200 件", "unit_down 05 読めない履歴 200 件",
                                               "unit_down 07 読めない履歴 200 件"}));
  link_.mode.reply.clear();
  bus_.units().find(5)->second = sim::SimulatedUnit();  // swapped for a new unit
  CopyText(bus_.units().find(5)->second.settings.macAddress, "02-00-00-00-09-99");
  EXPECT_EQ(Round(), (std::vector<std::string>{"unit_up 00 ", "unit_replaced 05 02-00-00-00-01-05", "known 05 ",
                                               "unit_up 07 "}));
}

// The textfile as the node exporter reads it: each sample a name, labels
// and a number, and the counters kept across a restart.
TEST_F(WatchRounds, PrometheusTextParsesAndCountsEveryEventSinceTheStateBegan) {
  link_.mode.alarms = 3;
  Round(true);  // --all: the entries held count
  state_ = *WatchState::Parse(state_.Text());
  link_.mode.alarms = 4;
  Round();
  const std::string text = state_.Prometheus(12.5);
  const std::regex sample(R"re(([a-z_]+)\{([a-z_]+="[^"\\]*"(,[a-z_]+="[^"\\]*")*)?\} ([0-9.]+))re");
  std::map<std::string, double> alarms;
  for (std::size_t start = 0, end; start < text.size(); start = end + 1) {
    end = text.find('\n', start);
    const std::string line = text.substr(start, end - start);
    std::smatch match;
    if (line.starts_with("# HELP ") || line.starts_with("# TYPE ") || line == "kelvrix_watch_round_seconds 12.500") continue;
    ASSERT_TRUE(std::regex_match(line, match, sample)) << line;
    if (match[1] == "kelvrix_events_total" && match[2].str().find("kind=\"alarm\"") != std::string::npos) {
      alarms[match[2]] += std::stod(match[4]);
    }
  }
  double total = 0;
  for (const auto& [labels, count] : alarms) total += count;
  EXPECT_EQ(alarms.size(), 3u * 16) << "every channel of every unit, from the start";
  EXPECT_EQ(total, 3 * 4);
  EXPECT_NE(text.find("kelvrix_unit_up{unit=\"05\",mac=\"00-00-00-00-00-00\"} 1"), std::string::npos)
      << "units that give one MAC address stay apart:\n" << text;
}

// A unit that did not give its MAC address on its first round is the same
// unit once it does: nothing it holds is reported again, and no ghost of it
// goes down.
TEST(WatchState, AUnitWhoseMacAddressComesLaterKeepsWhatWasSeen) {
  UnitReading reading{"05", "", true, {}};
  reading.alarm[0] = {3, 26, 12, 10, 8, 0, 0};
  WatchState state;
  ASSERT_EQ(state.Take({reading}, 1, false).size(), 1u) << "known";
  reading.mac = "02-00-00-00-01-05";
  EXPECT_TRUE(state.Take({reading}, 2, false).empty());
  EXPECT_TRUE(state.Take({reading}, 3, false).empty());
}

TEST(WatchState, AFileThatIsNoStateIsRefusedAndUnknownLinesAreSkipped) {
  EXPECT_FALSE(WatchState::Parse("unit\tx\n"));
  EXPECT_FALSE(WatchState::Parse(""));
  const auto state = WatchState::Parse("kelvrix-watch\t1\nunit\t05\t05\t\t0\t1\nfuture\tline\nseen\tnobody\talarm\tx\n");
  ASSERT_TRUE(state);
  EXPECT_EQ(state->Text(), "kelvrix-watch\t1\nunit\t05\t05\t\t0\t1\n");
}

}  // namespace
}  // namespace kelvrix
