// The unit simulator: what it answers, and that its answers decode back.
#include <gtest/gtest.h>

#include "model/command_catalogue.h"
#include "model/reply_decoders.h"
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

TEST(SimulatedUnit, UnknownOrMalformedCommandIsACommandError) {
  SimulatedUnit unit;
  EXPECT_EQ(unit.Answer("XYZ\r\n"), "E3\r\n");
  EXPECT_EQ(unit.Answer("VAB99120\r\n"), "E3\r\n");
  EXPECT_EQ(unit.Answer("RVAB17\r\n"), "E3\r\n");
  EXPECT_EQ(unit.Answer("RAH101\r\n"), "E3\r\n");
  EXPECT_EQ(unit.Answer("Ver. 9.99\r\n"), "E3\r\n");
}

// Every fixed read request gets an answer the panel's dispatcher decodes.
TEST(SimulatedUnit, EveryFixedReadRequestAnswersInADecodableLayout) {
  SimulatedUnit unit;
  for (std::string_view request : kFixedReadRequests) {
    const std::string answer = unit.Answer(request);
    DeviceSettings decoded{};
    ResetSettingsToDefaults(decoded);
    const ReplyDecoder* decoder = FindReplyDecoder(answer);
    ASSERT_NE(decoder, nullptr) << request << " -> " << answer;
    EXPECT_TRUE(decoder->decode(answer, decoded)) << request << " -> " << answer;
  }
}

TEST(SimulatedUnit, HistoriesFillClearAndDecode) {
  SimulatedUnit unit;
  unit.FillAlarmHistory(3);
  const std::string answer = unit.Answer("RAH002\r\n");
  DeviceSettings decoded{};
  ResetSettingsToDefaults(decoded);
  ASSERT_TRUE(FindReplyDecoder(answer)->decode(answer, decoded)) << answer;
  EXPECT_EQ(decoded.alarmHistory[1], unit.settings.alarmHistory[1]);
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
}

TEST(SimulatedBus, SimModeReplaceOrSilenceTheAnswer) {
  SimulatedBus bus(false, {});
  EXPECT_EQ(bus.Handle("RVN\r\n", SimMode::Parse("reply E3\n")), "E3\r\n");
  EXPECT_EQ(bus.Handle("RVN\r\n", SimMode::Parse("silent\n")), std::nullopt);
  EXPECT_EQ(bus.Handle("RVN\r\n", SimMode::Parse("silent\nnormal\n")), "Ver. 1.00\r\n");
  const SimMode split = SimMode::Parse("split 2,5,3\ndelay 40\n");
  EXPECT_EQ(split.split, (std::vector<std::size_t>{2, 5, 3}));
  EXPECT_EQ(split.delayMs, 40);
}

}  // namespace
}  // namespace kelvrix::sim
