// What the setting dialogs show: entries, drawn tables and the all-set order.
#include <gtest/gtest.h>

#include "fakes.h"

#include "model/dialog_texts.h"
#include "model/digits.h"

#include <map>

namespace kelvrix {
namespace {

using testing::Defaults;

TEST(DialogTexts, SlaveAddressEntries) {
  auto withBroadcast = SlaveAddressEntries(true);
  ASSERT_EQ(withBroadcast.size(), 33u);
  EXPECT_EQ(withBroadcast[0], "00");
  EXPECT_EQ(withBroadcast[31], "31");
  EXPECT_EQ(withBroadcast[32], "Bloadcast");
  EXPECT_EQ(SlaveAddressEntries(false).size(), 32u);
}

TEST(DialogTexts, NumberEntriesAreTheirPosition) {
  auto values = NumberEntries(0, 255, 3);
  ASSERT_EQ(values.size(), 256u);
  EXPECT_EQ(values[0], "000");
  EXPECT_EQ(values[128], "128");
  auto plain = NumberEntries(0, 15, 0);
  EXPECT_EQ(plain[7], "7");
  EXPECT_EQ(plain[15], "15");
}

// Shared selections out of range, as a stale or corrupt value would leave
// them, index their tables at the nearest valid entry.
TEST(DialogState, SelectionsIndexTheirTablesWithinBounds) {
  struct Case {
    DialogState state;
    int channel, layout, pane, screen;
  };
  const Case cases[] = {
      {{}, 0, 0, 0, 0},
      {{11, 15, 15, 27}, 15, 11, 15, 27},
      {{12, 9, 16, 28}, 15, 11, 9, 27},
      {{-1, -5, -3, -1}, 0, 0, 0, 0},
      {{0, 7, 99, 2}, 15, 0, 3, 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.state.Channel(), c.channel);
    EXPECT_EQ(c.state.Layout(), c.layout);
    EXPECT_EQ(c.state.Pane(), c.pane);
    EXPECT_EQ(c.state.SequenceScreen(), c.screen);
  }
  EXPECT_EQ(LayoutPicture(Defaults(), 12), LayoutPicture(Defaults(), 11));
  EXPECT_EQ(LayoutPaneCount(-1), 4);
}

TEST(LayoutPicture, FirstOpeningShowsFourPanesAndBlanksTheRest) {
  const auto texts = LayoutPicture(Defaults(), 0);
  ASSERT_EQ(texts.size(), 1u + 4 * 2 + 12);
  EXPECT_EQ(texts[0], (PlacedText{20, 6, " 4分割A "}));
  EXPECT_EQ(texts[1], (PlacedText{10, 26, "No.01"}));
  EXPECT_EQ(texts[2], (PlacedText{70, 26, "ch.01"}));
  EXPECT_EQ(texts[8], (PlacedText{70, 86, "ch.04"}));
  EXPECT_EQ(texts[9], (PlacedText{10, 106, std::string(18, ' ')}));
  EXPECT_EQ(texts.back(), (PlacedText{10, 326, std::string(18, ' ')}));
}

TEST(LayoutPicture, SixteenPanesAndTheWrappedLayout) {
  DeviceSettings s = Defaults();
  auto sixteen = LayoutPicture(s, 11);
  EXPECT_EQ(sixteen[0].text, "16分割  ");
  EXPECT_EQ(sixteen.size(), 1u + 16 * 2);
  EXPECT_EQ(sixteen.back(), (PlacedText{70, 326, "ch.16"}));
  auto sixC = LayoutPicture(s, 6);
  EXPECT_EQ(sixC[10].text, "ch.01");  // pane 5 of 6C shows channel 1
}

TEST(LayoutDialog, PaneCountsAndThePaneKept) {
  const int counts[] = {4, 4, 4, 4, 6, 6, 6, 9, 9, 12, 12, 16};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(LayoutPaneCount(i), counts[i]);
  EXPECT_EQ(PaneEntry(0), "No.01");
  EXPECT_EQ(PaneEntry(15), "No.16");
  EXPECT_EQ(PaneIndexFor(13, 0), 3);
  EXPECT_EQ(PaneIndexFor(2, 0), 2);
  EXPECT_EQ(PaneIndexFor(13, 11), 13);
}

TEST(VideoAllSet, NinetySixStepsInButtonOrder) {
  std::string order;
  for (int step = 1; step <= kVideoAllSetSteps; ++step) {
    const VideoStep s = VideoAllSetStep(step);
    EXPECT_EQ(s.channel, (step - 1) % 16);
    if (s.channel == 0) order += std::string(kVideoAdjustItems[s.item].mnemonic) + " ";
  }
  EXPECT_EQ(order, "VAB VAC VASH VAH VASU VASV ");
}

TEST(VideoAdjustTable, ShowsTheHalfThatHoldsTheChannel) {
  DeviceSettings s = Defaults();
  s.videoSharpness[8] = 7;
  s.videoBrightness[15] = 255;
  const auto texts = VideoAdjustTable(s, 8);
  EXPECT_EQ(texts[0], (PlacedText{160, 6, "ch.09"}));
  EXPECT_EQ(texts[7], (PlacedText{580, 6, "ch.16"}));
  EXPECT_EQ(texts[8], (PlacedText{20, 26, "Brightness"}));
  EXPECT_EQ(texts[16], (PlacedText{580, 26, " 255"}));
  EXPECT_EQ(texts[3 * 9 + 8], (PlacedText{20, 86, "Sharpness"}));
  EXPECT_EQ(texts[3 * 9 + 9], (PlacedText{160, 86, "  07"}));
  EXPECT_EQ(VideoAdjustTable(s, 7)[0].text, "ch.01");
}

TEST(AutoSequence, ScreenEntriesAndDwellList) {
  const auto screens = SequenceScreenEntries();
  ASSERT_EQ(screens.size(), 28u);
  EXPECT_EQ(screens[0], "ch.01  ");
  EXPECT_EQ(screens[16], "Div.4A ");
  EXPECT_EQ(screens[26], "Div.12B");
  EXPECT_EQ(screens[27], "Div.16 ");

  DeviceSettings s = Defaults();
  s.autoSequenceDwell[4] = 10;
  const auto list = DwellList(s);
  ASSERT_EQ(list.size(), 28u);
  EXPECT_EQ(list[4], (PlacedText{0, 90, "  ch.05 = 10 秒"}));
  EXPECT_EQ(list[16], (PlacedText{130, 10, " Div.4A  = 02 秒"}));
  EXPECT_EQ(list[27], (PlacedText{130, 230, " Div.16  = 02 秒"}));
}

// --- Histories --------------------------------------------------------------------

// The texts of one history row, keyed by x, for a page of the table.
std::map<int, std::string> Row(const std::vector<PlacedText>& texts, int row) {
  std::map<int, std::string> fields;
  for (const PlacedText& text : texts) {
    if (text.y == 26 + 20 * row) fields[text.x] = text.text;
  }
  return fields;
}

TEST(HistoryTable, EmptyHistoryShowsNumbersOnly) {
  const History empty{};
  EXPECT_EQ(HistoryCount(empty), 0);
  const auto texts = HistoryTable(empty, 0);
  const std::vector<PlacedText> headings(texts.begin(), texts.begin() + 8);
  EXPECT_EQ(headings, (std::vector<PlacedText>{{20, 6, "No."}, {60, 6, "ch."}, {92, 6, "年"}, {140, 6, "月"},
                                               {180, 6, "日"}, {220, 6, "時"}, {260, 6, "分"}, {300, 6, "秒"}}))
      << "each heading at the x of its column";
  for (int row = 0; row < 10; ++row) {
    EXPECT_EQ(Row(texts, row), (std::map<int, std::string>{{20, PaddedDecimal(row + 1, 3)}, {60, std::string(44, ' ')}}));
  }
  EXPECT_EQ(Row(HistoryTable(empty, 9), 9)[20], "100");
  EXPECT_EQ(Row(HistoryTable(empty, 12), 9)[20], "100") << "a stale page stays inside the history";
}

TEST(HistoryTable, CountStopsAtTheFirstEmptyRecordAndPagesShowTheirTen) {
  History history{};
  for (int i = 0; i < 25; ++i) history[i] = {4, 12, 3, 7, 9, 5, 0};
  history[60] = {1, 12, 1, 1, 0, 0, 0};  // after the first gap: not counted
  EXPECT_EQ(HistoryCount(history), 25);
  EXPECT_EQ(PaddedDecimal(HistoryCount(history), 3), "025");
  const auto page3 = HistoryTable(history, 2);
  EXPECT_EQ(Row(page3, 0), (std::map<int, std::string>{{20, "021"}, {60, "04"}, {92, "2012"}, {140, "03"},
                                                        {180, "07"}, {220, "09"}, {260, "05"}, {300, "00"}}));
  EXPECT_EQ(Row(page3, 4)[20], "025");
  EXPECT_EQ(Row(page3, 5), (std::map<int, std::string>{{20, "026"}, {60, std::string(44, ' ')}}));
  EXPECT_EQ(Row(page3, 9)[20], "030");
  history.fill({4, 12, 3, 7, 9, 5, 0});
  EXPECT_EQ(HistoryCount(history), 100);
}

// --- Channel tables, video loss and network -------------------------------------

TEST(ChannelTables, TwoColumnsOfEight) {
  DeviceSettings s = Defaults();
  s.videoLossDetect[2] = 0;
  const auto loss = VideoLossTable(s);
  ASSERT_EQ(loss.size(), 16u);
  EXPECT_EQ(loss[0], (PlacedText{0, 10, "       ch.01 = ON "}));
  EXPECT_EQ(loss[2], (PlacedText{0, 50, "       ch.03 = OFF"}));
  EXPECT_EQ(loss[8], (PlacedText{180, 10, "       ch.09 = ON "}));
  std::array<std::string, kChannelCount> titles;
  titles[15] = "  CH16  ";
  EXPECT_EQ(ChannelTable(titles, 18)[15], (PlacedText{180, 136, "       ch.16 =   CH16  "}));
}

TEST(SettingDialogEntries, ExactTextsTrailingBlanksIncluded) {
  const auto screens = ScreenEntries();
  ASSERT_EQ(screens.size(), 29u);
  EXPECT_EQ(screens[15], "ch.16");
  EXPECT_EQ(screens[16], "Div.4A");
  EXPECT_EQ(screens[25], "Div.12A");
  EXPECT_EQ(screens[27], "Div.16");
  EXPECT_EQ(screens[28], "Auto");
  EXPECT_EQ(ConnectorEntries(), (std::vector<std::string>{"ALARM ", "REMOTE"}));
  EXPECT_EQ(BorderEntries(), (std::vector<std::string>{"BLACK ", "GRAY ", "WHITE"}));
  EXPECT_EQ(CharacterSizeEntries(), (std::vector<std::string>{"Normal ", "Small "}));
  EXPECT_EQ(AspectEntries(), (std::vector<std::string>{" 4:3", "FULL"}));
  EXPECT_EQ(DateTimeFormEntries()[7], "\u3000\u3000\u3000時分\u3000");
}

TEST(NetworkDialog, EntriesAndReadBackRequests) {
  EXPECT_EQ(TimeRegisterEntries(), (std::vector<std::string>{"10", "20", "30", "40", "50", "60"}));
  EXPECT_EQ(SubnetClassEntries()[1], "Class B");
  std::string joined;
  for (auto request : kNetworkReadRequests) joined += request;
  EXPECT_EQ(joined, "REAA\r\nREGA\r\nREIA\r\nRECT\r\nREKA\r\nREPN\r\nRESM\r\nRETR\r\nREMA\r\nRVN\r\n");
  EXPECT_EQ(ChannelEntries()[15], "ch.16");
}

}  // namespace
}  // namespace kelvrix
