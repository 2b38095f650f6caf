// The dialogs with drawn tables and paced runs of their own (the histories,
// the channel titles, video loss, the unit's network settings), and the
// dialogs of boxes and set buttons (date and time, screen, title display,
// aspect ratio, other settings, slave address, About).
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "dialog_harness.h"
#include "dialogs/dialog_frame_win.h"
#include "dialogs/setting_dialogs_win.h"
#include "link/reply_dispatcher.h"
#include "model/digits.h"
#include "model/wide_text_win.h"
#include "resources/resource.h"
#include "version.h"

namespace kelvrix {
namespace {

using namespace std::chrono;
using testing::Box;
using testing::DialogHarness;
using testing::Lines;
using testing::PumpUntil;

class TableDialogTest : public testing::SettingDialogTest {
 protected:
  // Pumps until the run is over, answering each request `answer` knows as
  // the unit would; false when the run outlasts `limit`.
  bool RunAnswering(const std::function<std::string(const std::string&)>& answer, seconds limit) {
    std::size_t answered = 0;
    return PumpUntil(
        [&] {
          for (; answered < Sent().size(); ++answered) {
            const std::string reply = answer(Sent()[answered]);
            if (!reply.empty()) DispatchSerialReply(t.panel, reply);
          }
          return t.link.batchStep == 0;
        },
        limit);
  }
  LRESULT Progress(const DialogHarness& dialog, int id) const {
    return SendDlgItemMessageW(dialog.window, id, PBM_GETPOS, 0, 0);
  }
};

// --- Histories -------------------------------------------------------------------

TEST_F(TableDialogTest, HistoryReadTakesItsHundredAndOneTicksAndShowsWhatArrived) {
  dialogs::SharedDialogState().historyPage = 2;
  t.link.rsControl = kRs485;
  t.link.slaveAddressIndex = 3;
  DialogHarness dialog(IDD_ALARM_HISTORY, dialogs::AlarmHistoryDialogProc, t.panel);
  EXPECT_EQ(dialog.Entries(IDC_SLAVE_ADDRESS).size(), 32u);
  EXPECT_EQ(dialog.SelectedText(IDC_HISTORY_PAGE), L"03");
  EXPECT_EQ(dialog.Entries(IDC_HISTORY_PAGE).back(), L"10");
  EXPECT_EQ(dialog.Text(IDC_HISTORY_COUNT), L"000");

  dialog.Click(IDC_HISTORY_READ);
  EXPECT_FALSE(dialog.IsEnabled(IDC_CLOSE));
  dialog.Click(IDC_HISTORY_ERASE);  // ignored while the read runs
  dialog.Click(IDC_HISTORY_READ);   // and so is a second start
  bool lastTickPending = false;
  ASSERT_TRUE(RunAnswering(
      [&](const std::string& request) {
        const int entry = std::stoi(request.substr(5, 3));  // "03RAH001"
        if (entry == 100) lastTickPending = t.link.batchStep != 0 && !dialog.IsEnabled(IDC_CLOSE);
        if (entry > 25) return std::string("03AH") + request.substr(5, 3) + " N\r\n";
        return "03AH" + request.substr(5, 3) + " 04 - 12/03/07 09:05:00\r\n";
      },
      seconds(15)));
  Lines expected;
  for (int entry = 1; entry <= 100; ++entry) expected.push_back("03RAH" + PaddedDecimal(entry, 3) + "\r\n");
  EXPECT_EQ(Sent(), expected);
  EXPECT_TRUE(lastTickPending) << "the tick after the 100th request ends the read";
  EXPECT_EQ(dialog.Text(IDC_HISTORY_COUNT), L"025");
  EXPECT_EQ(Progress(dialog, IDC_HISTORY_PROGRESS), 0);
  EXPECT_TRUE(dialog.IsEnabled(IDC_CLOSE));
  EXPECT_EQ(t.settings.alarmHistory[20], (HistoryRecord{4, 12, 3, 7, 9, 5, 0}));

  dialog.Click(IDC_HISTORY_ERASE);
  EXPECT_EQ(Sent().back(), "03AHD\r\n");
  EXPECT_EQ(dialog.Text(IDC_HISTORY_COUNT), L"025") << "the records shown stay until the next read";
}

TEST_F(TableDialogTest, VideoLossHistoryIsTheTwinWithItsOwnRecordsAndErase) {
  {
    DialogHarness alarm(IDD_ALARM_HISTORY, dialogs::AlarmHistoryDialogProc, t.panel);
    alarm.Choose(IDC_HISTORY_PAGE, 6);
  }
  t.settings.videoLossHistory[0] = {1, 26, 12, 9, 0, 0, 0};
  DialogHarness dialog(IDD_VIDEO_LOSS_HISTORY, dialogs::VideoLossHistoryDialogProc, t.panel);
  EXPECT_EQ(dialog.Caption(), L"ビデオロス履歴 ");
  EXPECT_EQ(dialog.SelectedText(IDC_HISTORY_PAGE), L"07") << "one page for both histories";
  EXPECT_EQ(dialog.Text(IDC_HISTORY_COUNT), L"001");
  dialog.Click(IDC_HISTORY_ERASE);
  EXPECT_EQ(Sent(), (Lines{"VLHD\r\n"}));
  t.link.linkInterface = kSocketInterface;
  dialog.Click(IDC_HISTORY_READ);
  EXPECT_EQ(Boxes(), (std::vector<Box>{{"warning", "Socket が接続されていません"}}));
  EXPECT_EQ(t.link.batchStep, 0);
}

// --- Channel titles ----------------------------------------------------------------

TEST_F(TableDialogTest, TitleOpensOnChannelOneAndStoresWhatIsTypedAsTheUnitsBytes) {
  dialogs::SharedDialogState().currentChannel = 7;
  DialogHarness dialog(IDD_TITLE, dialogs::TitleDialogProc, t.panel);
  EXPECT_EQ(dialogs::SharedDialogState().currentChannel, 0);
  EXPECT_EQ(dialog.SelectedText(IDC_CHANNEL), L"ch.01");
  EXPECT_EQ(dialog.Text(IDC_TITLE_EDIT), L"  CH01  ");
  EXPECT_EQ(t.settings.dataChanged, 1) << "filling the edit marks the settings changed, as typing does";
  EXPECT_STREQ(t.settings.channelTitle[0], "  CH01  ") << "but stores nothing back";

  dialog.Type(IDC_TITLE_EDIT, L"ﾟAB");
  EXPECT_STREQ(t.settings.channelTitle[0], "\xDF" "AB");
  dialog.Click(IDC_TITLE_SEND);
  EXPECT_EQ(Sent(), (Lines{"CT01\xDF" "AB     \r\n"}));
  EXPECT_STREQ(t.settings.channelTitle[0], "\xDF" "AB     ") << "the model holds the padded title";

  dialog.Choose(IDC_CHANNEL, 2);
  EXPECT_EQ(dialog.Text(IDC_TITLE_EDIT), L"  CH03  ");
  // "Á" and "²" have only approximations in code page 932: stored as those,
  // the unit would get what the edit does not show.
  for (const wchar_t* refused : {L"ｱ", L"あ", L"ab", L"Á", L"²"}) {
    dialog.Type(IDC_TITLE_EDIT, refused);
    dialog.Click(IDC_TITLE_SEND);
  }
  EXPECT_EQ(Sent().size(), 1u);
  EXPECT_EQ(Boxes(), (std::vector<Box>(5, {"warning", "仕様以外の字が選択されてます"})));
  EXPECT_EQ(SendDlgItemMessageW(dialog.window, IDC_TITLE_EDIT, EM_GETLIMITTEXT, 0, 0), 8);
}

// Dark pixels of channel 1's row in the title table from the title's
// character `from` on ("       ch.01 = " is 15 cells of 6 pixels).
int InkOfFirstTitleFrom(HWND dialog, int from) {
  return testing::InkIn(GetDlgItem(dialog, IDC_TITLE_TABLE), {6 * (15 + from), 10, 6 * (15 + 8) + 20, 24});
}

TEST_F(TableDialogTest, TitleIsEightBytesInTheEditAndTheTable) {
  DialogHarness dialog(IDD_TITLE, dialogs::TitleDialogProc, t.panel);
  dialog.Type(IDC_TITLE_EDIT, L"ENTRANCE");
  testing::Pump(milliseconds(300));
  ASSERT_GT(InkOfFirstTitleFrom(dialog.window, 7), 0);
  dialog.Type(IDC_TITLE_EDIT, L"ENTRANC");
  EXPECT_EQ(InkOfFirstTitleFrom(dialog.window, 7), 0) << "the deleted letter stays drawn";
  EXPECT_GT(InkOfFirstTitleFrom(dialog.window, 6), 0);

  dialog.Type(IDC_TITLE_EDIT, L"ABCDEFGあ");  // nine bytes: the last character is refused whole
  EXPECT_EQ(dialog.Text(IDC_TITLE_EDIT), L"ABCDEFG");
  EXPECT_STREQ(t.settings.channelTitle[0], "ABCDEFG");
  dialog.Type(IDC_TITLE_EDIT, L"あいうえ");
  EXPECT_STREQ(t.settings.channelTitle[0], "\x82\xA0\x82\xA2\x82\xA4\x82\xA6");
  dialog.Type(IDC_TITLE_EDIT, L"あいうえお");
  EXPECT_EQ(dialog.Text(IDC_TITLE_EDIT), L"あいうえ");
}

TEST_F(TableDialogTest, TitleAllSetShowsItsPercentagesAndEndsAtARefusedTitle) {
  DialogHarness dialog(IDD_TITLE, dialogs::TitleDialogProc, t.panel);
  testing::TextRecorder percent(dialog.window, IDC_TITLE_PERCENT);
  dialog.Click(IDC_TITLE_SEND_ALL);
  dialog.Click(IDC_CLOSE);
  EXPECT_TRUE(IsWindowVisible(dialog.window)) << "Close is refused while the titles go out";
  RedrawWindow(dialog.window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  ASSERT_TRUE(PumpUntil([&] { return t.link.batchStep == 0; }, seconds(6)));
  EXPECT_EQ(percent.texts, (std::vector<std::wstring>{L"6", L"12", L"18", L"25", L"31", L"37", L"43", L"50", L"56",
                                              L"62", L"68", L"75", L"81", L"87", L"93", L"100", L"  "}));
  ASSERT_EQ(Sent().size(), 16u);
  EXPECT_EQ(Sent()[15], "CT16  CH16  \r\n");

  t.transport.serialFrames.clear();
  CopyText(t.settings.channelTitle[4], "ch05");
  dialog.Click(IDC_TITLE_SEND_ALL);
  ASSERT_TRUE(PumpUntil([&] { return t.link.batchStep == 0; }, seconds(3)));
  EXPECT_EQ(Sent(), (Lines{"CT01  CH01  \r\n", "CT02  CH02  \r\n", "CT03  CH03  \r\n", "CT04  CH04  \r\n"}));
  EXPECT_EQ(Boxes(), (std::vector<Box>{{"warning", "仕様以外の字が選択されてます"}}));
  EXPECT_TRUE(dialog.IsEnabled(IDC_CLOSE));
  EXPECT_EQ(dialog.Text(IDC_TITLE_PERCENT), L"  ");
  EXPECT_EQ(t.link.replyError, 0);
  dialog.Click(IDC_CLOSE);
  EXPECT_FALSE(IsWindowVisible(dialog.window));
}

// --- Video loss --------------------------------------------------------------------

TEST_F(TableDialogTest, VideoLossDetectionBoxShowsTheChosenChannel) {
  dialogs::SharedDialogState().currentChannel = 2;
  DialogHarness dialog(IDD_VIDEO_LOSS, dialogs::VideoLossDialogProc, t.panel);
  EXPECT_EQ(dialog.SelectedText(IDC_CHANNEL), L"3");
  EXPECT_EQ(dialog.Entries(IDC_VIDEO_LOSS_DETECT), (std::vector<std::wstring>{L"OFF", L"ON "}));
  EXPECT_EQ(dialog.SelectedText(IDC_VIDEO_LOSS_DETECT), L"ON ");
  EXPECT_EQ(dialog.Entries(IDC_VIDEO_LOSS_BACKGROUND), (std::vector<std::wstring>{L"Normal", L"Black "}));

  dialog.Choose(IDC_VIDEO_LOSS_DETECT, 0);
  dialog.Choose(IDC_CHANNEL, 4);
  EXPECT_EQ(dialog.SelectedText(IDC_VIDEO_LOSS_DETECT), L"ON ") << "channel 5's own detection";
  dialog.Choose(IDC_CHANNEL, 2);
  EXPECT_EQ(dialog.SelectedText(IDC_VIDEO_LOSS_DETECT), L"OFF");
  EXPECT_EQ(t.settings.videoLossDetect[4], 1);
  dialog.Choose(IDC_VIDEO_LOSS_BACKGROUND, 1);
  EXPECT_TRUE(Sent().empty()) << "a choice sends nothing";
  dialog.Click(IDC_VIDEO_LOSS_SEND_DETECT);
  dialog.Click(IDC_VIDEO_LOSS_SEND_DISPLAY);
  dialog.Click(IDC_VIDEO_LOSS_SEND_BACKGROUND);
  EXPECT_EQ(Sent(), (Lines{"VLNNFNNNNNNNNNNNNN\r\n", "VLDON\r\n", "VLBCB\r\n"}));
}

// --- The unit's network settings ----------------------------------------------------

TEST_F(TableDialogTest, NetworkButtonsSendToTheSerialLine) {
  t.link.rsControl = kRs485;
  t.link.slaveAddressIndex = 5;
  DialogHarness dialog(IDD_NETWORK, dialogs::NetworkDialogProc, t.panel);
  EXPECT_EQ(GetDlgItem(dialog.window, IDC_SLAVE_ADDRESS), nullptr);
  EXPECT_EQ(dialog.Text(IDC_UNIT_MAC), L"00-00-00-00-00-00");
  EXPECT_EQ(dialog.Text(IDC_UNIT_VERSION), L"0.00");

  dialogs::ShowAddress(dialog.window, IDC_UNIT_IP, {192, 168, 0, 10});
  dialog.Click(IDC_UNIT_SEND_IP);
  EXPECT_EQ(t.settings.unitIpAddress, (Ipv4Address{192, 168, 0, 10}));
  SendDlgItemMessageW(dialog.window, IDC_UNIT_GATEWAY, IPM_CLEARADDRESS, 0, 0);
  const Ipv4Address gateway = t.settings.unitGatewayAddress;
  dialog.Click(IDC_UNIT_SEND_GATEWAY);
  EXPECT_EQ(t.settings.unitGatewayAddress, gateway) << "a blank field is refused, not sent as 0";
  EXPECT_EQ(Boxes().size(), 1u);
  dialog.Choose(IDC_UNIT_SUBNET, 1);
  dialog.Click(IDC_UNIT_SEND_SUBNET);
  dialog.Type(IDC_UNIT_PORT, L"9004");
  dialog.Click(IDC_UNIT_SEND_PORT);
  dialog.Choose(IDC_UNIT_TIME_REGISTER, 2);
  dialog.Choose(IDC_UNIT_KEEP_ALIVE, 1);
  dialog.Click(IDC_UNIT_SEND_TIME_REGISTER);
  dialog.Choose(IDC_UNIT_KEEP_ALIVE, 0);
  dialog.Click(IDC_UNIT_SEND_TIME_REGISTER);
  dialog.Click(IDC_UNIT_SEND_KEEP_ALIVE);
  EXPECT_EQ(Sent(), (Lines{"05IA192.168.000.010\r\n", "05SMB\r\n", "05PN09004\r\n", "05ETR3\r\n", "05ETR1\r\n",
                           "05EKAOF\r\n"}));

  t.link.linkInterface = kSocketInterface;  // the serial sender whatever the interface says
  dialog.Click(IDC_UNIT_SEND_SUBNET);
  EXPECT_EQ(Sent().back(), "05SMB\r\n");
  EXPECT_TRUE(t.transport.socketLines.empty());
}

TEST_F(TableDialogTest, NetworkReadBackRefreshesTheControlsAfterItsTenRequests) {
  DialogHarness dialog(IDD_NETWORK, dialogs::NetworkDialogProc, t.panel);
  dialog.Click(IDC_UNIT_READ);
  dialog.Click(IDC_UNIT_READ);  // a second press starts nothing
  EXPECT_FALSE(dialog.IsEnabled(IDC_CLOSE));
  LRESULT progressAtTen = -1;
  ASSERT_TRUE(RunAnswering(
      [&](const std::string& request) -> std::string {
        if (request == "REMA\r\n") return "EMA00-11-22-33-44-55\r\n";
        if (request == "RVN\r\n") {
          progressAtTen = Progress(dialog, IDC_UNIT_READ_PROGRESS);
          return "Ver. 2.10\r\n";
        }
        if (request == "REPN\r\n") return "EPN10001\r\n";
        return {};
      },
      seconds(5)));
  EXPECT_EQ(Sent(), (Lines{"REAA\r\n", "REGA\r\n", "REIA\r\n", "RECT\r\n", "REKA\r\n", "REPN\r\n", "RESM\r\n",
                           "RETR\r\n", "REMA\r\n", "RVN\r\n"}));
  EXPECT_EQ(progressAtTen, 10) << "the bar has room for every tick: it does not wrap";
  EXPECT_EQ(dialog.Text(IDC_UNIT_MAC), L"00-11-22-33-44-55");
  EXPECT_EQ(dialog.Text(IDC_UNIT_VERSION), L"2.10");
  EXPECT_EQ(dialog.Text(IDC_UNIT_PORT), L"10001");
  EXPECT_EQ(Progress(dialog, IDC_UNIT_READ_PROGRESS), 0);
  EXPECT_TRUE(dialog.IsEnabled(IDC_CLOSE));
}

// --- Dialogs of boxes and set buttons -------------------------------------------------

// One box of a dialog: what it holds at opening, the entry chosen, and the
// line its button then sends.
struct RowCase {
  int combo;
  int button;
  std::size_t entries;
  std::wstring opened;  // the entry the model selects
  int chosen;
  std::string line;
};
struct DialogCase {
  int templateId;
  DLGPROC procedure;
  std::wstring caption;
  std::vector<RowCase> rows;
};

TEST_F(TableDialogTest, EachBoxOpensOnTheModelStoresWithoutSendingAndItsButtonSends) {
  t.settings.titleDisplay[4] = 7;   // out of the box's range: nothing selected, sent as ON
  t.settings.borderLine = 1;
  const DialogCase cases[] = {
      {IDD_TITLE_DISPLAY, dialogs::TitleDisplayDialogProc, L"タイトル表示の設定 ",
       {{IDC_TITLE_DISPLAY_SINGLE, IDC_TITLE_DISPLAY_SEND_SINGLE, 2, L"ON ", 0, "CTDSOF\r\n"},
        {IDC_TITLE_DISPLAY_DIV12, IDC_TITLE_DISPLAY_SEND_DIV12, 2, L"", -1, "CTDD12ON\r\n"},
        {IDC_TITLE_DISPLAY_DIV16, IDC_TITLE_DISPLAY_SEND_DIV16, 2, L"ON ", 0, "CTDD16OF\r\n"}}},
      {IDD_ASPECT_RATIO, dialogs::AspectRatioDialogProc, L"アスペクト比の設定 ",
       {{IDC_ASPECT_SINGLE, IDC_ASPECT_SEND_SINGLE, 2, L" 4:3", -1, "SARS1\r\n"},
        {IDC_ASPECT_DIV12, IDC_ASPECT_SEND_DIV12, 2, L"FULL", -1, "SARD122\r\n"},
        {IDC_ASPECT_DIV16, IDC_ASPECT_SEND_DIV16, 2, L" 4:3", 1, "SARD162\r\n"}}},
      {IDD_OTHER, dialogs::OtherSettingsDialogProc, L"その他の設定 ",
       {{IDC_OTHER_CONNECTOR, IDC_OTHER_SEND_CONNECTOR, 2, L"ALARM ", 1, "CIR\r\n"},
        {IDC_OTHER_BORDER, IDC_OTHER_SEND_BORDER, 3, L"GRAY ", 2, "BLW\r\n"},
        {IDC_OTHER_CHARACTER_SIZE, IDC_OTHER_SEND_CHARACTER_SIZE, 2, L"Normal ", 1, "CDSS\r\n"}}},
      {IDD_SCREEN, dialogs::ScreenDialogProc, L"画面の設定 ",
       {{IDC_SCREEN_POWER_ON, IDC_SCREEN_SEND_POWER_ON, 29, L"Div.16", 17, "POSD4B\r\n"},
        {IDC_SCREEN_SWITCH, IDC_SCREEN_SEND_SWITCH, 29, L"ch.01", 9, "CS10\r\n"}}},
  };
  for (const DialogCase& c : cases) {
    SCOPED_TRACE(c.templateId);
    DialogHarness dialog(c.templateId, c.procedure, t.panel);
    EXPECT_EQ(dialog.Caption(), c.caption);
    EXPECT_FALSE(dialog.IsEnabled(IDC_SLAVE_ADDRESS)) << "RS-232C";
    for (const RowCase& row : c.rows) {
      EXPECT_EQ(dialog.Entries(row.combo).size(), row.entries);
      EXPECT_EQ(dialog.SelectedText(row.combo), row.opened);
      if (row.chosen >= 0) dialog.Choose(row.combo, row.chosen);
    }
    EXPECT_TRUE(Sent().empty()) << "a choice sends nothing";
    Lines expected;
    for (const RowCase& row : c.rows) {
      dialog.Click(row.button);
      expected.push_back(row.line);
    }
    EXPECT_EQ(Sent(), expected);
    t.transport.serialFrames.clear();
  }
  EXPECT_EQ(t.settings.powerOnScreen, 17);
  EXPECT_EQ(t.settings.screenSwitch, 9);
}

TEST_F(TableDialogTest, OtherSettingsMenuOffAndTheHiddenScreenSize) {
  {
    DialogHarness dialog(IDD_OTHER, dialogs::OtherSettingsDialogProc, t.panel);
    dialog.Click(IDC_OTHER_MENU_OFF);
    EXPECT_EQ(Sent(), (Lines{"MOF\r\n"}));
  }
  dialogs::SharedDialogState().hiddenClickCount = 4;
  DialogHarness screen(IDD_SCREEN, dialogs::ScreenDialogProc, t.panel);
  EXPECT_EQ(dialogs::SharedDialogState().hiddenClickCount, 4) << "the screen dialog keeps the gesture's count";
  EXPECT_EQ(screen.Entries(IDC_SCREEN_SIZE), (std::vector<std::wstring>{L"1280×1024", L"1280× 720", L"1920×1080"}));
  for (int id : {IDC_SCREEN_SIZE, IDC_SCREEN_SEND_SIZE}) {
    EXPECT_FALSE(screen.IsVisible(id));
    EXPECT_FALSE(screen.IsEnabled(id));
  }
  screen.Click(IDC_SCREEN_SEND_SIZE);
  EXPECT_EQ(Sent().size(), 1u) << "the size button has no behaviour";
}

TEST_F(TableDialogTest, DateAndTimeStartFromTheClockAndEachButtonSendsItsBox) {
  dialogs::dateTimeDialogClock = [] { return SYSTEMTIME{2012, 3, 0, 4, 5, 6, 7, 0}; };
  t.link.rsControl = kRs485;
  t.link.slaveAddressIndex = 5;
  dialogs::SharedDialogState().hiddenClickCount = 3;
  DialogHarness dialog(IDD_DATE_TIME, dialogs::DateTimeDialogProc, t.panel);
  dialogs::dateTimeDialogClock = [] {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return now;
  };
  EXPECT_EQ(dialog.Caption(), L"日付・時刻の設定 ");
  EXPECT_EQ(dialogs::SharedDialogState().hiddenClickCount, 3);
  EXPECT_EQ(dialog.SelectedText(IDC_SLAVE_ADDRESS), L"05");
  EXPECT_EQ(dialog.Entries(IDC_DATE_YEAR).size(), 100u);
  EXPECT_EQ(dialog.SelectedText(IDC_DATE_FORM), L"年月日時分秒");
  for (int button : {IDC_DATE_SEND_YEAR, IDC_DATE_SEND_MONTH, IDC_DATE_SEND_DAY, IDC_TIME_SEND_HOUR,
                     IDC_TIME_SEND_MINUTE, IDC_TIME_SEND_SECOND, IDC_TIME_SEND_CORRECTION}) {
    dialog.Click(button);
  }
  EXPECT_EQ(Sent(), (Lines{"05DSY12\r\n", "05DSM03\r\n", "05DSD04\r\n", "05TSH05\r\n", "05TSM06\r\n",
                           "05TSS07\r\n", "05TSA\r\n"}));
  t.transport.serialFrames.clear();
  dialog.Choose(IDC_DATE_MONTH, 1);
  dialog.Choose(IDC_DATE_DAY, 30);
  dialog.Choose(IDC_DATE_FORM, 7);
  dialog.Choose(IDC_DATE_DISPLAY, 0);
  EXPECT_EQ(t.settings.dateTimeDisplayForm, 7);
  for (int button : {IDC_DATE_SEND_MONTH, IDC_DATE_SEND_DAY, IDC_DATE_SEND_FORM, IDC_DATE_SEND_DISPLAY}) {
    dialog.Click(button);
  }
  EXPECT_EQ(Sent(), (Lines{"05DSM02\r\n", "05DSD31\r\n", "05TSDR8\r\n", "05TSDOF\r\n"}));
  EXPECT_TRUE(Boxes().empty()) << "day 31 of month 2 goes out without complaint";
  dialog.Click(IDOK);
  EXPECT_FALSE(IsWindowVisible(dialog.window)) << "Enter closes";
}

TEST_F(TableDialogTest, BroadcastChosenInTheSlaveAddressDialogAddressesEveryDialog) {
  {
    DialogHarness slave(IDD_SLAVE_ADDRESS, dialogs::SlaveAddressDialogProc, t.panel);
    EXPECT_EQ(slave.Caption(), L"スレーブアドレスの設定 ");
    ASSERT_TRUE(slave.IsEnabled(IDC_SLAVE_ADDRESS)) << "enabled whatever the link";
    EXPECT_EQ(slave.Entries(IDC_SLAVE_ADDRESS).size(), 33u);
    slave.Choose(IDC_SLAVE_ADDRESS, kBroadcastAddressIndex);
    EXPECT_TRUE(Sent().empty());
  }
  t.link.rsControl = kRs485;
  DialogHarness other(IDD_OTHER, dialogs::OtherSettingsDialogProc, t.panel);
  EXPECT_EQ(other.SelectedText(IDC_SLAVE_ADDRESS), L"Bloadcast");
  other.Click(IDC_OTHER_MENU_OFF);
  EXPECT_EQ(Sent(), (Lines{"FFMOF\r\n"}));
}

// The widest entry of each drop-down box the operator sees, against the room
// the box leaves beside its arrow, in the box's own font.
TEST_F(TableDialogTest, EveryDropDownShowsItsWidestEntryWhole) {
  t.link.rsControl = kRs485;  // the slave address boxes filled
  const std::pair<int, DLGPROC> dialogs[] = {
      {IDD_ALARM, dialogs::AlarmDialogProc},           {IDD_AUTO_SEQUENCE, dialogs::AutoSequenceDialogProc},
      {IDD_DIVISION_LAYOUT, dialogs::DivisionLayoutDialogProc}, {IDD_VIDEO_ADJUST, dialogs::VideoAdjustDialogProc},
      {IDD_ALARM_HISTORY, dialogs::AlarmHistoryDialogProc}, {IDD_TITLE, dialogs::TitleDialogProc},
      {IDD_VIDEO_LOSS, dialogs::VideoLossDialogProc},   {IDD_NETWORK, dialogs::NetworkDialogProc},
      {IDD_DATE_TIME, dialogs::DateTimeDialogProc},     {IDD_SCREEN, dialogs::ScreenDialogProc},
      {IDD_TITLE_DISPLAY, dialogs::TitleDisplayDialogProc}, {IDD_ASPECT_RATIO, dialogs::AspectRatioDialogProc},
      {IDD_OTHER, dialogs::OtherSettingsDialogProc},    {IDD_SLAVE_ADDRESS, dialogs::SlaveAddressDialogProc},
  };
  for (const auto& [templateId, procedure] : dialogs) {
    DialogHarness dialog(templateId, procedure, t.panel);
    for (HWND box = GetWindow(dialog.window, GW_CHILD); box; box = GetWindow(box, GW_HWNDNEXT)) {
      wchar_t className[16] = {};
      GetClassNameW(box, className, 16);
      if (std::wstring(className) != L"ComboBox" || !IsWindowVisible(box)) continue;
      RECT client{};
      GetClientRect(box, &client);
      // Less the arrow, the sunken border and the text's margins on both sides.
      const int room = client.right - GetSystemMetrics(SM_CXVSCROLL) - 8;
      HDC context = GetDC(box);
      HGDIOBJ old = SelectObject(context, reinterpret_cast<HFONT>(SendMessageW(box, WM_GETFONT, 0, 0)));
      for (const std::wstring& entry : dialog.Entries(GetDlgCtrlID(box))) {
        SIZE size{};
        GetTextExtentPoint32W(context, entry.c_str(), static_cast<int>(entry.size()), &size);
        EXPECT_LE(size.cx, room) << "dialog " << templateId << ", box " << GetDlgCtrlID(box) << ": \""
                                 << Utf8FromWide(entry) << "\"";
      }
      SelectObject(context, old);
      ReleaseDC(box, context);
    }
  }
}

// The version resource is made from the project's version in CMakeLists.txt.
TEST_F(TableDialogTest, AboutShowsTheVersionResource) {
  DialogHarness about(IDD_ABOUT, dialogs::AboutDialogProc, t.panel);
  EXPECT_EQ(about.Text(IDC_ABOUT_VERSION), L"Version " + WideFromUtf8(KELVRIX_VERSION_TEXT));
  about.Click(IDCANCEL);
  EXPECT_FALSE(IsWindowVisible(about.window));
}

}  // namespace
}  // namespace kelvrix
