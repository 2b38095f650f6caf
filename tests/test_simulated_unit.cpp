// The unit simulator: what it answers, and that its answers decode back.
#include <gtest/gtest.h>

#include "fakes.h"
#include "link/reply_dispatcher.h"
#include "model/all_settings_runs.h"
#include "model/command_catalogue.h"
#include "model/reply_decoders.h"
#include "model/settings_data_file.h"
#include "sim/simulated_bus.h"

namespace kelvrix::sim {
namespace {

TEST(SimulatedUnit, SetThenReadRoundTrips) {
  SimulatedUnit unit;
  EXPECT_EQ(unit.Answer("VAB03120\r\n"), "GO\r\n");
  EXPECT_EQ(unit.Answer("RVAB03\r\n"), "VAB03120\r\n");
  EXPECT_EQ(unit.Answer("SPD4C16151413\r\n"), "GO\r\n");
  EXPECT_EQ(unit.Answer("RSPD4C\r\n"), "SPD4C16151413\r\n");
  EXPECT_EQ(unit.Answer("IA192.168.001.003\r\n"), "GO\r\n");
  EXPECT_EQ(unit.Answer("REIA\r\n"), "EIA192.168.001.003\r\n");
  EXPECT_EQ(unit.Answer("PN10001\r\n"), "GO\r\n");
  EXPECT_EQ(unit.Answer("REPN\r\n"), "EPN10001\r\n");
  EXPECT_EQ(unit.Answer("CT05DOOR [1]\r\n"), "GO\r\n");
  EXPECT_EQ(unit.Answer("RCT05\r\n"), "CT05DOOR [1]\r\n");
  EXPECT_EQ(unit.Answer("RVN\r\n"), "Ver. 1.00\r\n");
}

// The unit reports what it holds; the panel's refusals are for sending only.
TEST(SimulatedUnit, ReportsAllZeroTimesAndDuplicateChannels) {
  SimulatedUnit unit;
  unit.settings.autoSequenceDwell.fill(0);
  EXPECT_EQ(unit.Answer("RCASTM\r\n"), "CASTM" + std::string(56, '0') + "\r\n");
  EXPECT_EQ(unit.Answer("SPD4A03030303\r\n"), "GO\r\n");
  EXPECT_EQ(unit.Answer("RSPD4A\r\n"), "SPD4A03030303\r\n");
}

// Every step of the write-all run is a command the unit takes, and afterwards
// it holds what the panel held, in every field the run writes.
TEST(SimulatedUnit, TakesEveryWriteAllStep) {
  SimulatedUnit source;
  source.UseOffDefaultSettings();
  DeviceSettings panel = source.settings;
  SimulatedUnit unit;
  for (int step = 1; step <= kWriteAllSteps; ++step) {
    EXPECT_EQ(unit.Answer(WriteAllStep(panel, step).text), "GO\r\n") << step;
  }
  // The run leaves the screen size and the unit's network settings alone.
  unit.settings.screenSize = panel.screenSize;
  unit.settings.connectionTry = panel.connectionTry;
  unit.settings.keepAlive = panel.keepAlive;
  unit.settings.timeRegister = panel.timeRegister;
  EXPECT_EQ(WriteSettingsData(unit.settings), WriteSettingsData(panel));
}

TEST(SimulatedUnit, UnknownOrMalformedCommandIsACommandError) {
  SimulatedUnit unit;
  EXPECT_EQ(unit.Answer("XYZ\r\n"), "E3\r\n");
  EXPECT_EQ(unit.Answer("VAB99120\r\n"), "E3\r\n");
  EXPECT_EQ(unit.Answer("RVAB17\r\n"), "E3\r\n");
  EXPECT_EQ(unit.Answer("RAH101\r\n"), "E3\r\n");
  EXPECT_EQ(unit.Answer("Ver. 9.99\r\n"), "E3\r\n");
}

// Every read request, answered by a unit whose settings are all off their
// defaults and dispatched as the panel receives it, brings back exactly what
// the unit holds: no rule of the panel's sending side may leak into a reply.
TEST(SimulatedUnit, EveryReadAnswerReportsWhatTheUnitHolds) {
  std::vector<std::string> requests(kFixedReadRequests.begin(), kFixedReadRequests.end());
  for (int c = 0; c < kChannelCount; ++c) {
    requests.push_back(BuildTitleReadRequest(c));
    for (int item = 0; item < static_cast<int>(kVideoAdjustItems.size()); ++item) {
      requests.push_back(BuildVideoAdjustReadRequest(static_cast<VideoAdjust>(item), c));
    }
  }
  for (int keepAlive : {1, 0}) {  // with keep-alive off the panel sends "ETR1", yet the unit holds its register
    SimulatedUnit unit;
    unit.UseOffDefaultSettings();
    unit.settings.keepAlive = keepAlive;
    testing::TestPanel panel;
    for (const std::string& request : requests) DispatchSerialReply(panel.panel, unit.Answer(request));
    EXPECT_TRUE(panel.messages.boxes.empty());

    DeviceSettings read = panel.settings;  // what no read request covers is the unit's own
    read.alarmHistory = unit.settings.alarmHistory;
    read.videoLossHistory = unit.settings.videoLossHistory;
    read.videoLossDetect = unit.settings.videoLossDetect;
    read.videoLossDisplay = unit.settings.videoLossDisplay;
    read.videoLossBackground = unit.settings.videoLossBackground;
    read.screenSwitch = unit.settings.screenSwitch;
    EXPECT_TRUE(read == unit.settings) << "keep-alive " << keepAlive;
    EXPECT_EQ(read.timeRegister, 2);
    EXPECT_STREQ(read.channelTitle[4], "CAM-05\xDF.");
  }
}

TEST(SimulatedUnit, HistoriesFillClearAndDecode) {
  SimulatedUnit unit;
  unit.FillAlarmHistory(3);
  testing::TestPanel panel;
  DispatchSerialReply(panel.panel, unit.Answer("RAH002\r\n"));
  EXPECT_EQ(panel.settings.alarmHistory[1], unit.settings.alarmHistory[1]);
  EXPECT_EQ(unit.Answer("RAH004\r\n"), "AH004 N\r\n");
  EXPECT_EQ(unit.Answer("AHD\r\n"), "GO\r\n");
  EXPECT_EQ(unit.Answer("RAH002\r\n"), "AH002 N\r\n");
  EXPECT_EQ(unit.Answer("RVLH100\r\n"), "VLH100 N\r\n");
}

TEST(SimulatedBus, Rs485AnswersOnlyItsOwnAddressAndNeverABroadcast) {
  SimulatedBus bus(true, {5, 7});
  EXPECT_EQ(bus.Handle("07VAB03120\r\n", {}), "07GO\r\n");
  EXPECT_EQ(bus.Handle("05RVAB03\r\n", {}), "05VAB03000\r\n");
  EXPECT_EQ(bus.Handle("06RVN\r\n", {}), std::nullopt);
  EXPECT_EQ(bus.Handle("FFVAB01050\r\n", {}), std::nullopt);
  EXPECT_EQ(bus.Handle("05RVAB01\r\n", {}), "05VAB01050\r\n");  // the broadcast reached it
  EXPECT_EQ(bus.Handle("VAB01050\r\n", {}), std::nullopt);     // "VA" is no address
  SimulatedBus shared(true, {5, 5});
  EXPECT_EQ(shared.Handle("05RVN\r\n", {}), "05VVeerr..  11..0000\r\n") << "two units on one address collide";
}

TEST(SimulatedBus, SimModeReplaceOrSilenceTheAnswer) {
  SimulatedBus bus(false, {});
  EXPECT_EQ(bus.Handle("RVN\r\n", SimMode::Parse("reply E3\n")), "E3\r\n");
  EXPECT_EQ(bus.Handle("RVN\r\n", SimMode::Parse("silent\n")), std::nullopt);
  EXPECT_EQ(bus.Handle("RVN\r\n", SimMode::Parse("silent\nnormal\n")), "Ver. 1.00\r\n");
  const SimMode split = SimMode::Parse("split 2,5,3\ndelay 40\n");
  EXPECT_EQ(split.split, (std::vector<std::size_t>{2, 5, 3}));
  EXPECT_EQ(split.delayMs, 40);
  const SimMode flood = SimMode::Parse("noise 596\nrepeat 40,60\n");
  EXPECT_EQ(flood.noise, 596u);
  EXPECT_EQ(flood.repeat, 40);
  EXPECT_EQ(flood.repeatGapMs, 60);
  const SimMode later = SimMode::Parse("reply E3 from 57\n");
  EXPECT_EQ(later.reply, "E3");
  EXPECT_EQ(later.replyFromFrame, 57);
  EXPECT_EQ(SimMode::Parse("reply E3 from 57\nreply GN\n").replyFromFrame, 0);
  EXPECT_EQ(SimMode::Parse("silent from 80\n").silentFromFrame, 80);
  EXPECT_FALSE(SimMode::Parse("silent from 80\n").silent) << "answers until frame 80";
}

}  // namespace
}  // namespace kelvrix::sim
