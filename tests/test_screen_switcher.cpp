// "画面切替" without a window: the screens as tiles, the line each sends,
// and the switch to each kind of target with its answer in the status line.
#include <gtest/gtest.h>

#include "fakes.h"
#include "sim/simulated_bus.h"
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
  EXPECT_EQ(sixB.spoken, "6分割B（05 ENTRANCE、08 CH08、09 CH09、10 CH10、11 CH11、12 CH12）");
  for (const char* bad : {"ch17", "ch5", "7", "4E", ""}) EXPECT_FALSE(ScreenNamed(bad)) << bad;
  EXPECT_EQ(PowerOnCommand(28).text.substr(0, 3), "POS");
}

// The tiles fill the window at its size; the arrows move as they look.
TEST(TileGrid, TilesFitTheWindowAndArrowsFollowThePicture) {
  const struct {
    int width, height, columns;
  } sizes[] = {{1600, 500, 8}, {800, 600, 6}, {1600, 300, 13}, {300, 900, 3}, {10, 10, 1}};
  for (const auto& size : sizes) {
    const TileGrid grid = LayTiles(size.width, size.height, 4);
    ASSERT_EQ(grid.tiles.size(), 29u);
    EXPECT_EQ(grid.tiles[size.columns - 1].row, 0) << size.width;
    if (size.columns < 16) {
      EXPECT_EQ(grid.tiles[size.columns].row, 1) << size.width;
    }
    EXPECT_EQ(grid.tiles[16].column, 0) << "the layouts start their own row";
    const TileGrid::Place& last = grid.tiles.back();
    if (size.width > 100) {
      EXPECT_LE(last.top + last.height, size.height) << size.width;
      EXPECT_LE(grid.tiles[size.columns - 1].left + last.width, size.width) << size.width;
      EXPECT_EQ(last.width * 3 / 4, last.height);
    }
  }
  const TileGrid grid = LayTiles(1600, 500, 4);  // 8 a row: ch.01-08, ch.09-16, 4A-9A, 9B-16 and Auto
  const struct {
    int from, across, down, to;
  } moves[] = {{0, 1, 0, 1},   {7, 1, 0, 8},   {0, -1, 0, 0},  {28, 1, 0, 28}, {3, 0, 1, 11},
               {11, 0, 1, 19}, {23, 0, 1, 28}, {27, 0, 1, 27}, {28, 0, -1, 20}, {0, 0, -1, 0}};
  for (const auto& move : moves) {
    EXPECT_EQ(grid.Neighbour(move.from, move.across, move.down), move.to) << move.from << " " << move.across << move.down;
  }
}

TEST(ChannelTyping, OneOrTwoDigitsNameAChannel) {
  const struct {
    std::vector<int> digits;
    std::vector<std::optional<int>> channels;  // after each digit
    std::optional<int> timedOut;
  } cases[] = {
      {{5}, {4}, std::nullopt},
      {{1}, {std::nullopt}, 0},
      {{1, 2}, {std::nullopt, 11}, std::nullopt},
      {{1, 6}, {std::nullopt, 15}, std::nullopt},
      {{1, 7}, {std::nullopt, 6}, std::nullopt},
      {{0, 5}, {std::nullopt, 4}, std::nullopt},
      {{0}, {std::nullopt}, std::nullopt},
      {{0, 0}, {std::nullopt, std::nullopt}, std::nullopt},
  };
  for (const auto& c : cases) {
    ChannelTyping typing;
    for (std::size_t i = 0; i < c.digits.size(); ++i) EXPECT_EQ(typing.Digit(c.digits[i]), c.channels[i]) << i;
    EXPECT_EQ(typing.TimedOut(), c.timedOut);
    EXPECT_FALSE(typing.Waiting());
  }
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
  t.link.replyPending = 1;  // a dialog's command waits for its answer
  EXPECT_FALSE(switcher.Switch(ScreenSwitcher::Target::Chosen, 4));
  EXPECT_EQ(switcher.Status(), "ch.05 → アドレス 05: ほかの送受信が終わるまで送れません");
  EXPECT_TRUE(t.transport.serialFrames.empty());
  t.link.replyPending = 0;
  ASSERT_TRUE(switcher.Switch(ScreenSwitcher::Target::Chosen, 4));
  EXPECT_EQ(t.link.batchStep, 1) << "the link is the switch's until its answer";
  EXPECT_EQ(t.transport.serialFrames, std::vector<std::string>{"05CS05\r\n"});
  switcher.LineReceived("05E3\r\n");
  EXPECT_EQ(switcher.Status(), "ch.05 → アドレス 05: E3 (Command Error)");
  EXPECT_EQ(switcher.FailedTile(), 4);
  EXPECT_EQ(t.link.batchStep, 0);
  EXPECT_TRUE(t.messages.boxes.empty()) << "no box";

  ASSERT_TRUE(switcher.Switch(ScreenSwitcher::Target::Broadcast, 21, true));
  EXPECT_EQ(t.transport.serialFrames.back(), "FFPOSD6B\r\n");
  EXPECT_FALSE(switcher.Busy()) << "nothing to wait for";
  EXPECT_EQ(t.settings.powerOnScreen, 21);
  EXPECT_EQ(switcher.LastTile(), -1) << "a power-on screen is not what shows now";

  t.link.linkInterface = kSocketInterface;
  t.link.clientServerMode = 1;
  for (int row = 1; row <= 3; ++row) t.link.connections.Fill(row, 500 + row, "127.0.0." + std::to_string(row + 1));
  ASSERT_TRUE(switcher.Switch(ScreenSwitcher::Target::AllConnected, 28));
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
  EXPECT_EQ(t.settings.screenSwitch, 28);
}

// The 28 requests answered by a unit one after the other: the pictures show
// what it holds; a unit that stops answering half way is said, not hidden.
TEST(ScreenSwitcher, TitlesAndLayoutsReadFromTheUnitRedrawTheTiles) {
  for (const int answered : {28, 20}) {
    testing::TestPanel t;
    sim::SimulatedBus bus(false, {0});
    DeviceSettings& unit = bus.units().begin()->second.settings;
    CopyText(unit.channelTitle[11], "GATE  12");
    unit.layout16[0] = 11;
    Millis now{0};
    ScreenSwitcher switcher(t.link, t.transport, t.settings, [&] { return now; });
    ASSERT_TRUE(switcher.ReadTitlesAndLayouts());
    for (std::size_t sent = 0; switcher.Busy(); now += Millis(50)) {
      for (; sent < t.transport.serialFrames.size(); ++sent) {
        const auto answer = bus.Handle(t.transport.serialFrames[sent], {});
        if (answer && sent < static_cast<std::size_t>(answered)) switcher.LineReceived(*answer);
      }
      switcher.Tick();
    }
    EXPECT_EQ(t.transport.serialFrames.size(), answered == 28 ? 28u : 26u) << "a silent unit: three requests, each twice";
    EXPECT_TRUE(switcher.TakeRead());
    const ScreenTile sixteen = ScreenTiles(t.settings)[kDivision16];
    EXPECT_EQ(sixteen.panes[0].title, answered == 28 ? "GATE  12" : "CH01");
    EXPECT_EQ(switcher.Status(), answered == 28 ? "タイトルと配置の読み込み ← RS-232C: 読み込みました"
                                                : "タイトルと配置の読み込み ← RS-232C: 読めない値 8 件");
  }
}

}  // namespace
}  // namespace kelvrix
