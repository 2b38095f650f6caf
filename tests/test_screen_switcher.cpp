// "画面切替" without a window: the screens as tiles, the line each sends,
// and the switch to each kind of target with its answer in the status line.
#include <gtest/gtest.h>

#include "fakes.h"
#include "tools/screen_switcher.h"
#include "tools/unit_comparison.h"

namespace kelvrix {
namespace {

using Millis = std::chrono::milliseconds;

TEST(ScreenTiles, EveryScreenWithItsNameLineAndPicture) {
  DeviceSettings settings = testing::Defaults();
  CopyText(settings.channelTitle[4], "ENTRANCE");
  settings.layout6[1][0] = 4;
  const std::vector<ScreenTile> tiles = ScreenTiles(settings);
  ASSERT_EQ(tiles.size(), 29u);
  const struct {
    int screen;
    std::string name, name2, line;
    std::size_t panes;
  } cases[] = {
      {4, "ch.05 ENTRANCE", "ch05", "CS05\r\n", 0},
      {16, "4分割A", "4A", "CD4A\r\n", 4},
      {21, "6分割B", "6b", "CD6B\r\n", 6},
      {27, "16分割", "16", "CD16\r\n", 16},
      {28, "Auto", "auto", "CCAS\r\n", 0},
  };
  for (const auto& c : cases) {
    const ScreenTile& tile = tiles[c.screen];
    EXPECT_EQ(tile.name, c.name);
    EXPECT_EQ(ScreenNamed(c.name2), c.screen) << c.name2;
    EXPECT_EQ(SwitchCommand(c.screen).text, c.line);
    EXPECT_EQ(tile.panes.size(), c.panes) << c.name;
  }
  const ScreenTile& sixB = tiles[21];
  EXPECT_EQ(sixB.panes[0].place, (PanePlace{0, 0, 2, 2})) << "the large pane of a 6-way layout";
  EXPECT_EQ(sixB.panes[0].channel, 4);
  EXPECT_EQ(sixB.panes[0].title, "ENTRANCE");
  for (const char* bad : {"ch17", "ch5", "7", "4E", ""}) EXPECT_FALSE(ScreenNamed(bad)) << bad;
  EXPECT_EQ(PowerOnCommand(28).text.substr(0, 3), "POS");
}

// The switch to each kind of target: the chosen unit (answered, or an error),
// every unit of the bus (FF, none answering), each of the server's units.
TEST(ScreenSwitcher, EachTargetGetsItsLineAndItsAnswerIsShown) {
  testing::TestPanel t;
  Millis now{0};
  ScreenSwitcher switcher(t.link, t.transport, t.settings, [&] { return now; });
  t.link.rsControl = kRs485;
  t.link.slaveAddressIndex = 5;
  EXPECT_EQ(switcher.Targets(), (std::vector{ScreenSwitcher::Target::Chosen, ScreenSwitcher::Target::Broadcast}));
  ASSERT_TRUE(switcher.Send(ScreenSwitcher::Target::Chosen, SwitchCommand(4), 4, "ch.05"));
  EXPECT_EQ(t.transport.serialFrames, std::vector<std::string>{"05CS05\r\n"});
  switcher.LineReceived("05E3\r\n");
  EXPECT_EQ(switcher.Status(), "ch.05 → アドレス 05: E3 (Command Error)");
  EXPECT_EQ(switcher.FailedTile(), 4);
  EXPECT_TRUE(t.messages.boxes.empty()) << "no box";

  ASSERT_TRUE(switcher.Send(ScreenSwitcher::Target::Broadcast, SwitchCommand(21), 21, "6分割B"));
  EXPECT_EQ(t.transport.serialFrames.back(), "FFCD6B\r\n");
  EXPECT_FALSE(switcher.Busy()) << "nothing to wait for";
  EXPECT_EQ(switcher.LastTile(), 21);

  t.link.linkInterface = kSocketInterface;
  t.link.clientServerMode = 1;
  for (int row = 1; row <= 3; ++row) t.link.connections.Fill(row, 500 + row, "127.0.0." + std::to_string(row + 1));
  ASSERT_TRUE(switcher.Send(ScreenSwitcher::Target::AllConnected, SwitchCommand(28), 28, "Auto"));
  EXPECT_EQ(t.transport.unitLines, (std::vector<std::pair<SocketHandle, std::string>>{
                                       {501, "CCAS\r\n"}, {502, "CCAS\r\n"}, {503, "CCAS\r\n"}}));
  switcher.Received(501, "GO\r\n");
  switcher.Received(503, "GO\r\n");
  for (int wait = 0; wait < 2; ++wait) {  // its request, and once more
    now += kSocketAnswerTimeout;
    switcher.Tick();
  }
  EXPECT_EQ(switcher.Status(), "Auto → 接続中のすべてのユニット（3 台）: 2 / 3 台 127.0.0.3 応答なし");
  EXPECT_EQ(switcher.LastTile(), 28);
  EXPECT_EQ(switcher.FailedTile(), 28);
}

}  // namespace
}  // namespace kelvrix
