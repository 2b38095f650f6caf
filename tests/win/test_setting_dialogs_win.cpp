// The setting dialogs driven by control id, each on a panel whose transport
// and boxes record what the dialog hands them.
#include <gtest/gtest.h>

#include <algorithm>

#include <windows.h>
#include <commctrl.h>

#include "dialog_harness.h"
#include "dialogs/dialog_frame_win.h"
#include "dialogs/setting_dialogs_win.h"
#include "fakes.h"
#include "link/send_command.h"
#include "resources/resource.h"

namespace kelvrix {
namespace {

using namespace std::chrono;
using testing::Box;
using testing::DialogHarness;
using testing::Pump;
using testing::PumpUntil;
using testing::Lines;
using testing::SettingDialogTest;

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
  EXPECT_EQ(replyWindow, dialog.window);
  t.link.receiveBuffer = "AME\r\n";
  t.link.receiveLength = 5;
  SendMessageW(dialog.window, MsgReplyReceived, 0, 0);
  EXPECT_EQ(t.settings.alarmMode, 1);
}

// A dialog that states every difference from the frame as data, on the alarm
// template (its hold-time edit shows the percentage).
namespace frame_options {

using namespace dialogs;

int finished = 0;
void Finish(HWND) { ++finished; }
void Open(HWND, Panel&) {}
void SendRvn(HWND dialog, int) { SendCommand(dialogs::PanelOf(dialog), "RVN\r\n"); }

constexpr SteppedRun kRun = {.timerId = 7, .periodMs = 30, .stepCount = 4, .percentId = IDC_ALARM_HOLD_TIME,
                             .percentCleared = L"  ", .endStep = 5, .closeEnabledAt = 4, .linkGuard = false,
                             .finish = Finish};
void Command(HWND dialog, WPARAM wParam) {
  if (LOWORD(wParam) == IDC_ALARM_SEND_MODE) StartRun(dialog, kRun);
}

constexpr DialogParts kReading = {{.caption = L"reading ", .slaveAddressBox = SlaveAddressBox::UnitsOnly,
                                   .closesOnOk = true, .refusesCloseWhileRunning = true,
                                   .handlesSocketReplies = false},
                                  Open, Command, nullptr, 0, &kRun, SendRvn};
constexpr DialogParts kAlwaysEnabled = {{.caption = L"slave ", .slaveAddressBox = SlaveAddressBox::AlwaysEnabled},
                                        Open, Command};
constexpr DialogParts kNoBox = {{.caption = L"protocol ", .slaveAddressBox = SlaveAddressBox::None}, Open, Command};

template <const DialogParts& Parts>
INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  return HandleDialogMessage(dialog, message, wParam, lParam, Parts);
}

}  // namespace frame_options

TEST_F(SettingDialogTest, FrameOptionsAndARunWithItsOwnEnd) {
  using namespace frame_options;
  t.link.rsControl = kRs485;
  t.link.slaveAddressIndex = kBroadcastAddressIndex;
  DialogHarness dialog(IDD_ALARM, Proc<kReading>, t.panel);
  EXPECT_EQ(dialog.Entries(IDC_SLAVE_ADDRESS).size(), 32u);
  EXPECT_EQ(dialog.Selection(IDC_SLAVE_ADDRESS), -1) << "broadcast cannot be shown";
  t.link.receiveBuffer = "AME\r\n";
  t.link.receiveLength = 5;
  SendMessageW(dialog.window, MsgReplyReceived, 0, 0);
  EXPECT_EQ(t.settings.alarmMode, 0) << "this dialog takes no socket replies";

  t.link.slaveAddressIndex = 5;
  t.link.linkInterface = kSocketInterface;  // no link guard: the run starts, its sends fail
  dialog.Click(IDC_ALARM_SEND_MODE);
  ASSERT_TRUE(PumpUntil([&] { return t.link.batchStep == 0; }, seconds(2)));
  EXPECT_EQ(Boxes(), (std::vector<Box>{{"warning", "Socket が接続されていません"}}));
  t.link.linkInterface = kSerialInterface;

  finished = 0;
  dialog.Click(IDC_ALARM_SEND_MODE);
  EXPECT_FALSE(dialog.IsEnabled(IDC_CLOSE));
  dialog.Click(IDC_CLOSE);
  dialog.Click(IDOK);
  EXPECT_TRUE(IsWindowVisible(dialog.window)) << "Close, Enter and Esc are refused while the run goes";
  ASSERT_TRUE(PumpUntil([&] { return Sent().size() == 4; }, seconds(2)));
  wchar_t percent[8] = {};
  GetDlgItemTextW(dialog.window, IDC_ALARM_HOLD_TIME, percent, 8);
  EXPECT_STREQ(percent, L"100");
  EXPECT_TRUE(dialog.IsEnabled(IDC_CLOSE)) << "enabled before the last tick";
  EXPECT_NE(t.link.batchStep, 0);
  ASSERT_TRUE(PumpUntil([&] { return t.link.batchStep == 0; }, seconds(2)));
  EXPECT_EQ(Sent(), (Lines(4, "05RVN\r\n"))) << "the fifth tick sends nothing";
  EXPECT_EQ(finished, 1);
  GetDlgItemTextW(dialog.window, IDC_ALARM_HOLD_TIME, percent, 8);
  EXPECT_STREQ(percent, L"  ");
  dialog.Click(IDOK);
  EXPECT_FALSE(IsWindowVisible(dialog.window));

  t.link.rsControl = kRs232c;
  DialogHarness slave(IDD_ALARM, Proc<kAlwaysEnabled>, t.panel);
  EXPECT_TRUE(slave.IsEnabled(IDC_SLAVE_ADDRESS));
  EXPECT_EQ(slave.SelectedText(IDC_SLAVE_ADDRESS), L"05");
  EXPECT_EQ(slave.Entries(IDC_SLAVE_ADDRESS).size(), 33u);
  slave.Click(IDOK);
  EXPECT_TRUE(IsWindowVisible(slave.window)) << "Enter does not close this one";
  DialogHarness protocol(IDD_ALARM, Proc<kNoBox>, t.panel);
  EXPECT_TRUE(protocol.Entries(IDC_SLAVE_ADDRESS).empty());
}

// Shared selections out of range (never expected, but they outlive every
// dialog) select nothing instead of reading past a table.
TEST_F(SettingDialogTest, SharedSelectionsOutOfRangeStayInBounds) {
  dialogs::SharedDialogState() = {.layoutIndex = 40, .paneIndex = 99, .currentChannel = 16,
                                  .sequenceScreenIndex = 28};
  {
    DialogHarness layout(IDD_DIVISION_LAYOUT, dialogs::DivisionLayoutDialogProc, t.panel);
    layout.Click(IDC_LAYOUT_SEND);
    DialogHarness video(IDD_VIDEO_ADJUST, dialogs::VideoAdjustDialogProc, t.panel);
    video.Click(IDC_VIDEO_SEND_HUE);
    DialogHarness sequence(IDD_AUTO_SEQUENCE, dialogs::AutoSequenceDialogProc, t.panel);
    sequence.Choose(IDC_SEQUENCE_TIME, 7);
    testing::Pump(milliseconds(300));  // the tables are drawn
  }
  EXPECT_EQ(Sent(), (Lines{"SPD1601020304050607080910111213141516\r\n", "VAH16000\r\n"}));
  EXPECT_EQ(t.settings.autoSequenceDwell[27], 7);
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
  return testing::InkIn(GetDlgItem(dialog, IDC_LAYOUT_PICTURE), {10, 26 + 20 * row, 130, 42 + 20 * row});
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
  EXPECT_EQ(dialog.SelectedText(IDC_VIDEO_BRIGHTNESS), L"000") << "channel 12's own value, the one 設定 sends";
  dialog.Choose(IDC_VIDEO_SHARPNESS, 7);
  dialog.Click(IDC_VIDEO_SEND_SHARPNESS);
  dialog.Choose(IDC_CHANNEL, 4);
  EXPECT_EQ(dialog.SelectedText(IDC_VIDEO_BRIGHTNESS), L"128");
  EXPECT_EQ(dialog.SelectedText(IDC_VIDEO_SHARPNESS), L"1");
  EXPECT_EQ(Sent(), (Lines{"VAB05128\r\n", "VASH1207\r\n"}));
  EXPECT_EQ(t.settings.videoBrightness[4], 128);
  EXPECT_EQ(dialogs::SharedDialogState().currentChannel, 4);
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

  // The next start begins afresh: an error a single command left is not the
  // run's, and the bar counts from 0 again.
  t.link.replyError = 1;
  dialog.Click(IDC_VIDEO_SEND_ALL);
  ASSERT_TRUE(PumpUntil([&] { return Sent().size() >= 15; }, seconds(5)));
  EXPECT_EQ(SendDlgItemMessageW(dialog.window, IDC_VIDEO_PROGRESS, PBM_GETPOS, 0, 0), 5);
}

// A step that cannot go out stops the run at the next tick, with one report.
TEST_F(SettingDialogTest, FailedSendStopsTheAllSet) {
  {
    t.transport.serialWriteSucceeds = false;
    DialogHarness dialog(IDD_VIDEO_ADJUST, dialogs::VideoAdjustDialogProc, t.panel);
    dialog.Click(IDC_VIDEO_SEND_ALL);
    ASSERT_TRUE(PumpUntil([&] { return t.link.batchStep == 0; }, seconds(3)));
    EXPECT_EQ(Sent().size(), 1u);
    EXPECT_TRUE(dialog.IsEnabled(IDC_CLOSE));
  }
  t.link.linkInterface = kSocketInterface;
  t.link.socketConnected = 1;
  DialogHarness dialog(IDD_VIDEO_ADJUST, dialogs::VideoAdjustDialogProc, t.panel);
  dialog.Click(IDC_VIDEO_SEND_ALL);
  ASSERT_TRUE(PumpUntil([&] { return t.transport.socketLines.size() >= 3; }, seconds(3)));
  t.link.socketConnected = 0;  // the unit hung up
  ASSERT_TRUE(PumpUntil([&] { return t.link.batchStep == 0; }, seconds(3)));
  EXPECT_EQ(t.transport.socketLines.size(), 3u);
  EXPECT_EQ(Boxes(), (std::vector<Box>{{"warning", "Socket が接続されていません"}}));
}

TEST_F(SettingDialogTest, EndingTheDialogMidRunFreesTheStepCounter) {
  {
    DialogHarness dialog(IDD_VIDEO_ADJUST, dialogs::VideoAdjustDialogProc, t.panel);
    dialog.Click(IDC_VIDEO_SEND_ALL);
    ASSERT_TRUE(PumpUntil([&] { return Sent().size() >= 3; }, seconds(5)));
    t.link.replyError = 1;  // seen by this dialog, not to stop the next one's run
  }
  EXPECT_EQ(t.link.batchStep, 0);
  EXPECT_EQ(t.link.replyError, 0);
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
  dialog.Type(IDC_ALARM_HOLD_TIME, L"1a2");  // pasted: the edit shows what the model holds
  wchar_t shown[8] = {};
  GetDlgItemTextW(dialog.window, IDC_ALARM_HOLD_TIME, shown, 8);
  EXPECT_STREQ(shown, L"12");
  EXPECT_STREQ(t.settings.alarmHoldTime, "12");
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
  dialog.Choose(IDC_SEQUENCE_SCREEN, 3);
  dialog.Choose(IDC_SEQUENCE_TIME, 9);
  dialog.Choose(IDC_SEQUENCE_SCREEN, 4);
  EXPECT_EQ(dialog.SelectedText(IDC_SEQUENCE_TIME), L"2") << "the chosen screen's own time";
  dialog.Choose(IDC_SEQUENCE_SCREEN, 3);
  EXPECT_EQ(dialog.SelectedText(IDC_SEQUENCE_TIME), L"9");
  dialog.Choose(IDC_SEQUENCE_ALL_TIMES, 5);
  EXPECT_EQ(dialog.SelectedText(IDC_SEQUENCE_TIME), L"5") << "as 同時間 set it";
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

// --- Reading and writing every setting -------------------------------------

std::wstring TextOf(const DialogHarness& dialog, int id) {
  wchar_t text[16] = {};
  GetDlgItemTextW(dialog.window, id, text, 16);
  return text;
}

LRESULT BarOf(const DialogHarness& dialog, int id) { return SendDlgItemMessageW(dialog.window, id, PBM_GETPOS, 0, 0); }

TEST_F(SettingDialogTest, ReadAllSendsItsRequestsToTheChosenUnitThenCloses) {
  t.link.rsControl = kRs485;
  t.link.slaveAddressIndex = 5;
  DialogHarness dialog(IDD_READ_ALL, dialogs::ReadAllDialogProc, t.panel);
  EXPECT_EQ(dialog.Caption(), L"設定項目の読み込み");
  EXPECT_EQ(dialog.Entries(IDC_SLAVE_ADDRESS).size(), 32u) << "no broadcast for a read";
  EXPECT_EQ(dialog.SelectedText(IDC_SLAVE_ADDRESS), L"05");

  dialog.Click(IDC_READ_ALL_START);
  EXPECT_FALSE(dialog.IsEnabled(IDC_CLOSE));
  ASSERT_TRUE(PumpUntil([&] { return Sent().size() >= 80; }, seconds(15)));
  const auto step = static_cast<int>(Sent().size());
  EXPECT_EQ(TextOf(dialog, IDC_READ_ALL_PERCENT), std::to_wstring(step * 100 / 160));
  EXPECT_EQ(BarOf(dialog, IDC_READ_ALL_PROGRESS), step);
  dialog.Click(IDC_CLOSE);  // refused while the run goes
  EXPECT_TRUE(IsWindowVisible(dialog.window));
  ASSERT_TRUE(PumpUntil([&] { return t.link.batchStep == 0; }, seconds(15)));

  const Lines sent = Sent();
  ASSERT_EQ(sent.size(), 160u);
  EXPECT_EQ(sent[0], "05RCT01\r\n");
  EXPECT_EQ(sent[64], "05RVASH01\r\n");
  EXPECT_EQ(sent[159], "05RVN\r\n");
  EXPECT_EQ(TextOf(dialog, IDC_READ_ALL_PERCENT), L"   ");
  EXPECT_EQ(BarOf(dialog, IDC_READ_ALL_PROGRESS), 0);
  EXPECT_FALSE(IsWindowVisible(dialog.window)) << "the dialog closes itself";
}

// No unit answers a broadcast: a read chosen there would "succeed" having read nothing.
TEST_F(SettingDialogTest, ReadsAreRefusedWhileTheAddressIsBroadcast) {
  struct Read {
    int templateId;
    DLGPROC procedure;
    int start;
  };
  const Read reads[] = {{IDD_READ_ALL, dialogs::ReadAllDialogProc, IDC_READ_ALL_START},
                        {IDD_ALARM_HISTORY, dialogs::AlarmHistoryDialogProc, IDC_HISTORY_READ},
                        {IDD_NETWORK, dialogs::NetworkDialogProc, IDC_UNIT_READ}};
  t.link.rsControl = kRs485;
  for (const Read& read : reads) {
    t.link.slaveAddressIndex = kBroadcastAddressIndex;  // chosen in another dialog
    Boxes().clear();
    DialogHarness dialog(read.templateId, read.procedure, t.panel);
    dialog.Click(read.start);
    EXPECT_EQ(t.link.batchStep, 0) << read.templateId;
    EXPECT_EQ(Boxes(), (std::vector<Box>{{"warning", "Bloadcast ではユニットから読み出せません。スレーブアドレスを選んでください。"}}))
        << read.templateId;
  }
  Pump(milliseconds(300));
  EXPECT_TRUE(Sent().empty());
}

TEST_F(SettingDialogTest, ReadAllStopsWhereAStepFailed) {
  DialogHarness dialog(IDD_READ_ALL, dialogs::ReadAllDialogProc, t.panel);
  dialog.Click(IDC_READ_ALL_START);
  ASSERT_TRUE(PumpUntil([&] { return Sent().size() >= 10; }, seconds(5)));
  t.link.replyError = 1;  // as the dispatcher leaves it after "E3"
  ASSERT_TRUE(PumpUntil([&] { return t.link.batchStep == 0; }, seconds(2)));
  EXPECT_EQ(Sent().size(), 10u);
  EXPECT_EQ(TextOf(dialog, IDC_READ_ALL_PERCENT), L"6");
  EXPECT_EQ(BarOf(dialog, IDC_READ_ALL_PROGRESS), 10);
  EXPECT_TRUE(dialog.IsEnabled(IDC_CLOSE));
  EXPECT_TRUE(IsWindowVisible(dialog.window));
}

// Broadcast to every unit on the bus; refused steps show why and are skipped.
TEST_F(SettingDialogTest, WriteAllPadsTitlesAndSkipsRefusedSteps) {
  t.link.rsControl = kRs485;
  CopyText(t.settings.channelTitle[0], "CH01");
  CopyText(t.settings.channelTitle[4], "ch05");
  t.settings.autoSequenceDwell.fill(0);
  t.settings.layout4[0][1] = t.settings.layout4[0][0];
  DialogHarness dialog(IDD_WRITE_ALL, dialogs::WriteAllDialogProc, t.panel);
  EXPECT_EQ(dialog.Caption(), L"全項目の設定");
  dialog.Choose(IDC_SLAVE_ADDRESS, 32);
  dialog.Click(IDC_WRITE_ALL_START);
  ASSERT_TRUE(PumpUntil([&] { return t.link.batchStep == 0; }, seconds(25)));

  const Lines sent = Sent();
  ASSERT_EQ(sent.size(), 149u);
  EXPECT_TRUE(std::all_of(sent.begin(), sent.end(), [](const std::string& l) { return l.starts_with("FF"); }));
  EXPECT_EQ(sent[0], "FFCT01CH01    \r\n");
  EXPECT_STREQ(t.settings.channelTitle[0], "CH01    ");
  EXPECT_EQ(sent[4], "FFCT06  CH06  \r\n") << "channel 5's title was skipped";
  EXPECT_EQ(sent.back(), "FFVLBCN\r\n");
  EXPECT_EQ(Boxes(), (std::vector<Box>{{"warning", "仕様以外の字が選択されてます"},
                                       {"warning", "全て0秒です"},
                                       {"warning", "チャンネルが重複しています"}}));
  EXPECT_EQ(TextOf(dialog, IDC_WRITE_ALL_PERCENT), L"   ");
  EXPECT_FALSE(IsWindowVisible(dialog.window));
}

// Over TCP/IP each answer is posted to the dialog after its send: the run
// ends on the tick after, so an error to the last step is shown and stops
// the run where it is, rather than reaching a dialog that has ended.
TEST_F(SettingDialogTest, WriteAllOverTcpHandlesTheAnswerToItsLastStep) {
  struct Answering : testing::RecordingTransport {
    explicit Answering(LinkState& link) : link(link) {}
    void AwaitSocketReply(ResultMessages&) override {
      link.receiveBuffer = socketLines.back() == "VLBCN\r\n" ? "E3\r\n" : "GO\r\n";
      link.receiveLength = static_cast<int32_t>(link.receiveBuffer.size());
      PostMessageW(replyWindow, MsgReplyReceived, 0, 0);
    }
    LinkState& link;
  } answering(t.link);
  Panel panel{t.settings, t.link, t.messages, answering};
  t.link.linkInterface = kSocketInterface;
  t.link.socketConnected = 1;
  DialogHarness dialog(IDD_WRITE_ALL, dialogs::WriteAllDialogProc, panel);
  dialog.Click(IDC_WRITE_ALL_START);
  ASSERT_TRUE(PumpUntil([&] { return t.link.batchStep == 0; }, seconds(25)));
  EXPECT_EQ(answering.socketLines.size(), 152u);
  EXPECT_EQ(Boxes(), (std::vector<Box>{{"error", "Socket Command"}}));
  EXPECT_TRUE(IsWindowVisible(dialog.window)) << "stopped where the error came";
  EXPECT_TRUE(dialog.IsEnabled(IDC_CLOSE));
}

}  // namespace
}  // namespace kelvrix
