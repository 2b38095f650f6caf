// Window height by system version, status bar texts, menu enabling, the hidden
// gesture and the tool tips.
#include <gtest/gtest.h>

#include "app/main_window_logic.h"
#include "resources/resource.h"

namespace kelvrix {
namespace {

TEST(MainWindowHeight, ByVersionClass) {
  struct { unsigned major, minor; int height; } cases[] = {
      {4, 0, 90}, {4, 10, 90}, {4, 90, 90}, {5, 0, 90}, {5, 2, 90},
      {5, 1, 104}, {6, 0, 104}, {6, 3, 104}, {10, 0, 104}, {3, 51, 104}};
  for (const auto& c : cases) EXPECT_EQ(MainWindowHeight(c.major, c.minor), c.height) << c.major << "." << c.minor;
}

TEST(MainWindowCaption, ByRole) {
  EXPECT_EQ(MainWindowCaption(0), "Kelvrix Client Program");
  EXPECT_EQ(MainWindowCaption(1), "Kelvrix Server Program");
}

TEST(MainWindowTitle, OpenFileNameBeforeTheRoleCaption) {
  EXPECT_EQ(MainWindowTitle(0, ""), "Kelvrix Client Program");
  EXPECT_EQ(MainWindowTitle(0, "C:\\設定\\setup.dat"), "setup.dat - Kelvrix Client Program");
  EXPECT_EQ(MainWindowTitle(1, "Z:/tmp/a.data.txt"), "a.data.txt - Kelvrix Server Program");
  EXPECT_EQ(MainWindowTitle(0, "setup.dat"), "setup.dat - Kelvrix Client Program");
}

TEST(StatusBar, DateRightAlignsMonthAndDayAndTwoSpacesBeforeTheWeekday) {
  EXPECT_EQ(StatusBarDate(2026, 12, 8, 2), "2026年12月 8日  火曜日");
  EXPECT_EQ(StatusBarDate(2027, 1, 31, 0), "2027年 1月31日  日曜日");
  EXPECT_EQ(StatusBarDate(2027, 1, 30, 6), "2027年 1月30日  土曜日");
}

TEST(StatusBar, TimeHasFullWidthColons) {
  EXPECT_EQ(StatusBarTime(9, 5, 7), "09：05：07");
  EXPECT_EQ(StatusBarTime(23, 59, 0), "23：59：00");
}

TEST(MenuEnabling, ByInterfaceAndSerialMode) {
  LinkState link;
  auto enabled = [&](int command) {
    for (auto item : MenuEnabling(link)) if (item.command == command) return item.enabled;
    ADD_FAILURE() << command;
    return false;
  };
  EXPECT_TRUE(enabled(IDM_SERIAL));
  EXPECT_FALSE(enabled(IDM_CLIENT_SERVER));
  EXPECT_FALSE(enabled(IDM_TCPIP));
  EXPECT_FALSE(enabled(IDM_SLAVE_ADDRESS));
  link.rsControl = kRs485;
  EXPECT_TRUE(enabled(IDM_SLAVE_ADDRESS));
  link.linkInterface = kSocketInterface;
  EXPECT_FALSE(enabled(IDM_SERIAL));
  EXPECT_TRUE(enabled(IDM_CLIENT_SERVER));
  EXPECT_TRUE(enabled(IDM_TCPIP));
  EXPECT_FALSE(enabled(IDM_SLAVE_ADDRESS));
}

TEST(HiddenGesture, TenthRequestInTheCornerOpens) {
  int32_t count = 0;
  for (int i = 1; i < 10; ++i) EXPECT_FALSE(CountHiddenClick(count, 19, 0)) << i;
  EXPECT_TRUE(CountHiddenClick(count, 0, 19));
  EXPECT_EQ(count, 0);
}

TEST(HiddenGesture, ARequestElsewhereStartsAgain) {
  int32_t count = 0;
  for (int i = 0; i < 9; ++i) CountHiddenClick(count, 5, 5);
  EXPECT_FALSE(CountHiddenClick(count, 20, 5));
  EXPECT_EQ(count, 0);
  for (int i = 1; i < 10; ++i) EXPECT_FALSE(CountHiddenClick(count, 5, 5));
  EXPECT_FALSE(CountHiddenClick(count, 65535, 3));  // off-screen to the left, as an unsigned word
  EXPECT_EQ(count, 0);
}

TEST(ToolTips, OnePerButton) {
  EXPECT_EQ(ToolTipText(IDT_DATE_TIME), "日付・時刻の設定");
  EXPECT_EQ(ToolTipText(IDT_VIDEO_ADJUST), "ビデオ調整の設定");
  EXPECT_EQ(ToolTipText(IDT_ALARM_HISTORY), "アラームの履歴");
  EXPECT_EQ(ToolTipText(500), "");
  EXPECT_EQ(ToolTipText(514), "");
}

}  // namespace
}  // namespace kelvrix
