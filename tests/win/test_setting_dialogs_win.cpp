// The setting dialogs driven by control id, each on a panel whose transport
// and boxes record what the dialog hands them.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "dialog_harness.h"
#include "dialogs/dialog_frame_win.h"
#include "dialogs/setting_dialogs_win.h"
#include "fakes.h"
#include "resources/resource.h"

namespace kelvrix {
namespace {

using namespace std::chrono;
using testing::Box;
using testing::DialogHarness;
using testing::PumpUntil;
using Lines = std::vector<std::string>;

class SettingDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { dialogs::SharedDialogState() = {}; }
  Lines Sent() const { return t.transport.serialFrames; }
  std::vector<Box>& Boxes() { return t.messages.boxes; }
  testing::TestPanel t;
};

// --- The frame -----------------------------------------------------------------

TEST_F(SettingDialogTest, SlaveAddressBoxFollowsTheSerialMode) {
  {
    DialogHarness dialog(IDD_ALARM, dialogs::AlarmDialogProc, t.panel);
    EXPECT_FALSE(dialog.IsEnabled(IDC_SLAVE_ADDRESS));
    EXPECT_EQ(dialog.Selection(IDC_SLAVE_ADDRESS), -1);
    EXPECT_EQ(dialog.Caption(), L"アラームの設定 ");
  }
  t.link.rsControl = kRs485;
  t.link.slaveAddressIndex = 7;
  DialogHarness dialog(IDD_VIDEO_ADJUST, dialogs::VideoAdjustDialogProc, t.panel);
  ASSERT_TRUE(dialog.IsEnabled(IDC_SLAVE_ADDRESS));
  const auto entries = dialog.Entries(IDC_SLAVE_ADDRESS);
  ASSERT_EQ(entries.size(), 33u);
  EXPECT_EQ(entries[32], L"Bloadcast");
  EXPECT_EQ(dialog.SelectedText(IDC_SLAVE_ADDRESS), L"07");

  dialog.Choose(IDC_SLAVE_ADDRESS, 32);
  EXPECT_EQ(t.link.slaveAddressIndex, kBroadcastAddressIndex);
  dialog.Click(IDC_VIDEO_SEND_CONTRAST);
  EXPECT_EQ(Sent(), (Lines{"FFVAC01092\r\n"}));
}

TEST_F(SettingDialogTest, SocketReplyReachesTheOpenDialog) {
  DialogHarness dialog(IDD_ALARM, dialogs::AlarmDialogProc, t.panel);
  EXPECT_EQ(dialogs::replyWindow, dialog.window);
  t.link.receiveBuffer = "AME\r\n";
  t.link.receiveLength = 5;
  SendMessageW(dialog.window, dialogs::MsgReplyReceived, 0, 0);
  EXPECT_EQ(t.settings.alarmMode, 1);
}

// --- Division layout -----------------------------------------------------------

TEST_F(SettingDialogTest, LayoutFirstOpening) {
  DialogHarness dialog(IDD_DIVISION_LAYOUT, dialogs::DivisionLayoutDialogProc, t.panel);
  EXPECT_EQ(dialog.Caption(), L"分割画面の配置設定 ");
  EXPECT_EQ(dialog.SelectedText(IDC_LAYOUT), L" Div.4A ");
  EXPECT_EQ(dialog.SelectedText(IDC_LAYOUT_PANE), L"No.01");
  EXPECT_EQ(dialog.SelectedText(IDC_CHANNEL), L"01");
  EXPECT_EQ(dialog.Entries(IDC_LAYOUT_PANE), (std::vector<std::wstring>{L"No.01", L"No.02", L"No.03", L"No.04"}));
  EXPECT_EQ(dialog.Entries(IDC_LAYOUT).size(), 12u);
  EXPECT_EQ(dialog.Entries(IDC_CHANNEL).back(), L"16");
}

TEST_F(SettingDialogTest, PaneBoxFollowsTheLayout) {
  DialogHarness dialog(IDD_DIVISION_LAYOUT, dialogs::DivisionLayoutDialogProc, t.panel);
  auto panes = [&] { return dialog.Entries(IDC_LAYOUT_PANE); };
  dialog.Choose(IDC_LAYOUT, 11);  // " Div.16 "
  ASSERT_EQ(panes().size(), 16u);
  dialog.Choose(IDC_LAYOUT_PANE, 13);
  dialog.Choose(IDC_LAYOUT, 0);   // " Div.4A ": the pane moves to the last one left
  EXPECT_EQ(panes().size(), 4u);
  EXPECT_EQ(dialog.SelectedText(IDC_LAYOUT_PANE), L"No.04");
  dialog.Choose(IDC_CHANNEL, 9);
  EXPECT_EQ(t.settings.layout4[0][3], 9);
  EXPECT_EQ(t.settings.layout16[13], 13);
  dialog.Choose(IDC_LAYOUT, 11);
  ASSERT_EQ(panes().size(), 16u);
  for (int pane = 0; pane < 16; ++pane) {
    EXPECT_EQ(panes()[pane], L"No." + std::wstring(pane < 9 ? L"0" : L"") + std::to_wstring(pane + 1));
  }
  dialog.Choose(IDC_LAYOUT, 9);   // " Div.12A"
  dialog.Choose(IDC_LAYOUT, 4);   // " Div.6A "
  EXPECT_EQ(panes().size(), 6u);
  EXPECT_EQ(panes().back(), L"No.06");
  dialog.Choose(IDC_LAYOUT, 7);
  dialog.Choose(IDC_LAYOUT_PANE, 5);
  dialog.Choose(IDC_LAYOUT, 8);   // between " Div.9A " and " Div.9B " nothing changes
  EXPECT_EQ(panes().size(), 9u);
  EXPECT_EQ(dialog.SelectedText(IDC_LAYOUT_PANE), L"No.06");
}

// Dark pixels in one row of the drawn pane list (20 pixels a row, from y 26).
int InkInPaneRow(HWND dialog, int row) {
  HWND frame = GetDlgItem(dialog, IDC_LAYOUT_PICTURE);
  HDC context = GetDC(frame);
  int ink = 0;
  for (int y = 26 + 20 * row; y < 42 + 20 * row; ++y) {
    for (int x = 10; x < 130; ++x) {
      if (GetRValue(GetPixel(context, x, y)) < 128) ++ink;
    }
  }
  ReleaseDC(frame, context);
  return ink;
}

TEST_F(SettingDialogTest, FewerPanesWipeTheRowsALargerLayoutDrew) {
  DialogHarness dialog(IDD_DIVISION_LAYOUT, dialogs::DivisionLayoutDialogProc, t.panel);
  dialog.Choose(IDC_LAYOUT, 11);  // " Div.16 " draws at once
  testing::Pump(milliseconds(300));
  ASSERT_GT(InkInPaneRow(dialog.window, 15), 0);
  dialog.Choose(IDC_LAYOUT, 0);
  for (int row = 4; row < 16; ++row) EXPECT_EQ(InkInPaneRow(dialog.window, row), 0) << "row " << row;
  EXPECT_GT(InkInPaneRow(dialog.window, 3), 0);
}

TEST_F(SettingDialogTest, DuplicateChannelIsRefusedThenTheLayoutGoesOut) {
  DialogHarness dialog(IDD_DIVISION_LAYOUT, dialogs::DivisionLayoutDialogProc, t.panel);
  dialog.Choose(IDC_LAYOUT_PANE, 1);
  dialog.Choose(IDC_CHANNEL, 0);  // pane 2 shows channel 1, as pane 1 does
  dialog.Click(IDC_LAYOUT_SEND);
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(Boxes(), (std::vector<Box>{{"warning", "チャンネルが重複しています"}}));
  dialog.Choose(IDC_CHANNEL, 1);
  dialog.Click(IDC_LAYOUT_SEND);
  dialog.Choose(IDC_LAYOUT, 11);
  dialog.Click(IDC_LAYOUT_SEND);
  EXPECT_EQ(Sent(), (Lines{"SPD4A01020304\r\n", "SPD1601020304050607080910111213141516\r\n"}));
}

TEST_F(SettingDialogTest, LayoutSelectionsOutliveTheDialog) {
  {
    DialogHarness dialog(IDD_DIVISION_LAYOUT, dialogs::DivisionLayoutDialogProc, t.panel);
    dialog.Choose(IDC_LAYOUT, 6);
    dialog.Choose(IDC_LAYOUT_PANE, 2);
    dialog.Choose(IDC_CHANNEL, 11);
  }
  DialogHarness dialog(IDD_DIVISION_LAYOUT, dialogs::DivisionLayoutDialogProc, t.panel);
  EXPECT_EQ(dialog.SelectedText(IDC_LAYOUT), L" Div.6C ");
  EXPECT_EQ(dialog.SelectedText(IDC_LAYOUT_PANE), L"No.03");
  EXPECT_EQ(dialog.SelectedText(IDC_CHANNEL), L"12");
  EXPECT_EQ(dialog.Entries(IDC_LAYOUT_PANE).size(), 6u);
}

// --- Video adjust --------------------------------------------------------------

TEST_F(SettingDialogTest, VideoSetButtonsSendTheChannelsValue) {
  DialogHarness dialog(IDD_VIDEO_ADJUST, dialogs::VideoAdjustDialogProc, t.panel);
  EXPECT_EQ(dialog.Caption(), L"ビデオ調整 ");
  EXPECT_EQ(dialog.Entries(IDC_VIDEO_BRIGHTNESS).size(), 256u);
  EXPECT_EQ(dialog.Entries(IDC_VIDEO_SHARPNESS).back(), L"15");
  EXPECT_EQ(dialog.SelectedText(IDC_VIDEO_CONTRAST), L"092");
  dialog.Choose(IDC_CHANNEL, 4);
  dialog.Choose(IDC_VIDEO_BRIGHTNESS, 128);
  dialog.Click(IDC_VIDEO_SEND_BRIGHTNESS);
  dialog.Choose(IDC_CHANNEL, 11);
  dialog.Choose(IDC_VIDEO_SHARPNESS, 7);
  dialog.Click(IDC_VIDEO_SEND_SHARPNESS);
  EXPECT_EQ(Sent(), (Lines{"VAB05128\r\n", "VASH1207\r\n"}));
  EXPECT_EQ(t.settings.videoBrightness[4], 128);
  EXPECT_EQ(dialogs::SharedDialogState().currentChannel, 11);
}

TEST_F(SettingDialogTest, AllSetSendsNinetySixLinesInOrderThroughARepaint) {
  t.settings.videoHue[15] = 77;
  DialogHarness dialog(IDD_VIDEO_ADJUST, dialogs::VideoAdjustDialogProc, t.panel);
  dialog.Click(IDC_VIDEO_SEND_ALL);
  EXPECT_FALSE(dialog.IsEnabled(IDC_CLOSE));
  ASSERT_TRUE(PumpUntil([&] { return Sent().size() >= 40; }, seconds(10)));
  RedrawWindow(dialog.window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  dialog.Click(IDC_VIDEO_SEND_ALL);  // a second start while it runs does nothing
  ASSERT_TRUE(PumpUntil([&] { return t.link.batchStep == 0; }, seconds(15)));

  const Lines sent = Sent();
  ASSERT_EQ(sent.size(), 96u);
  EXPECT_EQ(sent[0], "VAB01000\r\n");
  EXPECT_EQ(sent[16], "VAC01092\r\n");
  EXPECT_EQ(sent[32], "VASH0101\r\n");
  EXPECT_EQ(sent[63], "VAH16077\r\n");
  EXPECT_EQ(sent[64], "VASU01128\r\n");
  EXPECT_EQ(sent[95], "VASV16128\r\n");
  EXPECT_TRUE(dialog.IsEnabled(IDC_CLOSE));
  EXPECT_EQ(SendDlgItemMessageW(dialog.window, IDC_VIDEO_PROGRESS, PBM_GETPOS, 0, 0), 0);
}

TEST_F(SettingDialogTest, ErrorReplyStopsTheAllSetAtTheNextTick) {
  DialogHarness dialog(IDD_VIDEO_ADJUST, dialogs::VideoAdjustDialogProc, t.panel);
  dialog.Click(IDC_VIDEO_SEND_ALL);
  ASSERT_TRUE(PumpUntil([&] { return Sent().size() >= 10; }, seconds(5)));
  t.link.replyError = 1;  // as the dispatcher leaves it after "E3"
  ASSERT_TRUE(PumpUntil([&] { return t.link.batchStep == 0; }, seconds(2)));
  EXPECT_EQ(Sent().size(), 10u);
  EXPECT_TRUE(dialog.IsEnabled(IDC_CLOSE));
  EXPECT_EQ(t.link.replyError, 0);
  EXPECT_EQ(SendDlgItemMessageW(dialog.window, IDC_VIDEO_PROGRESS, PBM_GETPOS, 0, 0), 10);
}

TEST_F(SettingDialogTest, EndingTheDialogMidRunFreesTheStepCounter) {
  {
    DialogHarness dialog(IDD_VIDEO_ADJUST, dialogs::VideoAdjustDialogProc, t.panel);
    dialog.Click(IDC_VIDEO_SEND_ALL);
    ASSERT_TRUE(PumpUntil([&] { return Sent().size() >= 3; }, seconds(5)));
  }
  EXPECT_EQ(t.link.batchStep, 0);
  const auto sent = Sent().size();
  testing::Pump(milliseconds(300));
  EXPECT_EQ(Sent().size(), sent);
}

TEST_F(SettingDialogTest, AllSetRefusedWithoutASocket) {
  t.link.linkInterface = kSocketInterface;
  DialogHarness dialog(IDD_VIDEO_ADJUST, dialogs::VideoAdjustDialogProc, t.panel);
  dialog.Click(IDC_VIDEO_SEND_ALL);
  EXPECT_EQ(Boxes(), (std::vector<Box>{{"warning", "Socket が接続されていません"}}));
  EXPECT_EQ(t.link.batchStep, 0);
  EXPECT_TRUE(dialog.IsEnabled(IDC_CLOSE));
}

// --- Alarm ---------------------------------------------------------------------

TEST_F(SettingDialogTest, AlarmButtonsSendTheStoredValues) {
  DialogHarness dialog(IDD_ALARM, dialogs::AlarmDialogProc, t.panel);
  EXPECT_EQ(dialog.Entries(IDC_ALARM_POLARITY), (std::vector<std::wstring>{L"Make ", L"Break"}));
  EXPECT_EQ(dialog.SelectedText(IDC_ALARM_RETURN), L" ON");
  dialog.Click(IDC_ALARM_SEND_MODE);
  dialog.Choose(IDC_ALARM_MODE, 1);
  dialog.Click(IDC_ALARM_SEND_MODE);
  dialog.Type(IDC_ALARM_HOLD_TIME, L"005");
  dialog.Click(IDC_ALARM_SEND_HOLD_TIME);
  dialog.Choose(IDC_ALARM_RETURN, 0);
  dialog.Choose(IDC_ALARM_RETURN, 1);
  dialog.Click(IDC_ALARM_SEND_RETURN);
  dialog.Choose(IDC_ALARM_POLARITY, 1);
  dialog.Click(IDC_ALARM_SEND_POLARITY);
  dialog.Choose(IDC_ALARM_DISPLAY, 0);
  dialog.Click(IDC_ALARM_SEND_DISPLAY);
  EXPECT_EQ(Sent(), (Lines{"AMI\r\n", "AME\r\n", "ADT005\r\n", "ARON\r\n", "APB\r\n", "ADOF\r\n"}));
  EXPECT_STREQ(t.settings.alarmHoldTime, "005");
}

TEST_F(SettingDialogTest, AlarmHoldTimeTakesThreeDigitsAndTheNumberGroupStaysHidden) {
  DialogHarness dialog(IDD_ALARM, dialogs::AlarmDialogProc, t.panel);
  EXPECT_EQ(SendDlgItemMessageW(dialog.window, IDC_ALARM_HOLD_TIME, EM_GETLIMITTEXT, 0, 0), 3);
  dialog.Type(IDC_ALARM_HOLD_TIME, L"7");
  dialog.Click(IDC_ALARM_SEND_HOLD_TIME);
  EXPECT_EQ(Sent(), (Lines{"ADT007\r\n"}));
  EXPECT_FALSE(dialog.IsVisible(IDC_ALARM_NUMBER_DISPLAY));
  EXPECT_FALSE(dialog.IsVisible(IDC_ALARM_SEND_NUMBER_DISPLAY));
  EXPECT_FALSE(dialog.IsVisible(IDC_STATIC_NUMBER_DISPLAY));
  dialogs::SharedDialogState().hiddenClickCount = 4;
  DialogHarness again(IDD_ALARM, dialogs::AlarmDialogProc, t.panel);
  EXPECT_EQ(dialogs::SharedDialogState().hiddenClickCount, 4);  // this dialog leaves it
}

// --- Auto sequence -------------------------------------------------------------

TEST_F(SettingDialogTest, SameTimeSetsEveryScreenAndGoesOutAsOneLine) {
  DialogHarness dialog(IDD_AUTO_SEQUENCE, dialogs::AutoSequenceDialogProc, t.panel);
  EXPECT_EQ(dialog.Caption(), L"自動切換えの設定 ");
  EXPECT_EQ(dialog.SelectedText(IDC_SEQUENCE_ALL_TIMES), L"2");
  EXPECT_EQ(dialog.Entries(IDC_SEQUENCE_SCREEN)[27], L"Div.16 ");
  dialog.Choose(IDC_SEQUENCE_ALL_TIMES, 5);
  dialog.Click(IDC_SEQUENCE_SEND_TIMES);
  std::string expected = "CASTM";
  for (int k = 0; k < 28; ++k) expected += "05";
  dialog.Choose(IDC_SEQUENCE_MODE, 1);
  dialog.Click(IDC_SEQUENCE_SEND_MODE);
  EXPECT_EQ(Sent(), (Lines{expected + "\r\n", "CASMD\r\n"}));
}

TEST_F(SettingDialogTest, AllZeroDwellTimesAreRefused) {
  DialogHarness dialog(IDD_AUTO_SEQUENCE, dialogs::AutoSequenceDialogProc, t.panel);
  dialog.Choose(IDC_SEQUENCE_ALL_TIMES, 0);
  dialog.Click(IDC_SEQUENCE_SEND_TIMES);
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(Boxes(), (std::vector<Box>{{"warning", "全て0秒です"}}));
  dialog.Choose(IDC_SEQUENCE_SCREEN, 17);
  dialog.Choose(IDC_SEQUENCE_TIME, 9);
  dialog.Click(IDC_SEQUENCE_SEND_TIMES);
  ASSERT_EQ(Sent().size(), 1u);
  EXPECT_EQ(Sent()[0].substr(5 + 2 * 16, 6), "000900");
}

TEST_F(SettingDialogTest, SequenceScreenIsKeptBetweenOpenings) {
  {
    DialogHarness dialog(IDD_AUTO_SEQUENCE, dialogs::AutoSequenceDialogProc, t.panel);
    dialog.Choose(IDC_SEQUENCE_SCREEN, 20);
    dialog.Choose(IDC_SEQUENCE_TIME, 33);
  }
  DialogHarness dialog(IDD_AUTO_SEQUENCE, dialogs::AutoSequenceDialogProc, t.panel);
  EXPECT_EQ(dialog.SelectedText(IDC_SEQUENCE_SCREEN), L"Div.6A ");
  EXPECT_EQ(dialog.SelectedText(IDC_SEQUENCE_TIME), L"33");
}

}  // namespace
}  // namespace kelvrix
