// The maintenance tools driven in-process: what they refuse to start, and
// that the comparison advances on each reply, decodes into a model of its own
// and ends cleanly when cancelled.
#include <gtest/gtest.h>

#include <windows.h>

#include "dialog_harness.h"
#include "dialogs/dialog_frame_win.h"
#include "dialogs/setting_dialogs_win.h"
#include "resources/resource.h"

namespace kelvrix {
namespace {

using namespace std::chrono;
using testing::Box;
using testing::DialogHarness;
using testing::Lines;
using testing::PumpUntil;

using ToolDialogTest = testing::SettingDialogTest;

TEST_F(ToolDialogTest, ComparisonRefusesABroadcastAndAMissingSocketAndSendsNothing) {
  struct Case {
    void (*link)(LinkState&);
    Box box;
  };
  const Case cases[] = {
      {[](LinkState& l) { l.rsControl = kRs485, l.slaveAddressIndex = kBroadcastAddressIndex; },
       {"warning", "Bloadcast ではユニットから読み出せません。スレーブアドレスを選んでください。"}},
      {[](LinkState& l) { l.linkInterface = kSocketInterface; }, {"warning", "Socket が接続されていません"}},
  };
  for (const Case& c : cases) {
    testing::TestPanel panel;
    c.link(panel.link);
    DialogHarness dialog(IDD_COMPARE, dialogs::CompareDialogProc, panel.panel);
    dialog.Click(IDC_COMPARE_START);
    EXPECT_EQ(panel.messages.boxes, std::vector<Box>{c.box});
    EXPECT_TRUE(panel.transport.serialFrames.empty() && panel.transport.socketLines.empty());
    EXPECT_EQ(panel.link.batchStep, 0);
    EXPECT_TRUE(dialog.IsEnabled(IDC_CLOSE));
  }
}

TEST_F(ToolDialogTest, BusScanSaysWhyItCannotRunOffRs485) {
  struct Case {
    int32_t linkInterface, rsControl;
    std::wstring status;
    bool startEnabled;
  };
  const Case cases[] = {
      {kSerialInterface, kRs232c, L"RS-232C では 1 台としかつながらないため、検索できません。", false},
      {kSocketInterface, kRs485, L"TCP/IP ではユニットにアドレスがないため、検索できません。", false},
      {kSerialInterface, kRs485, L"", true},
  };
  for (const Case& c : cases) {
    t.link.linkInterface = c.linkInterface;
    t.link.rsControl = c.rsControl;
    DialogHarness dialog(IDD_BUS_SCAN, dialogs::BusScanDialogProc, t.panel);
    EXPECT_EQ(dialog.Caption(), L"RS-485 バス検索");
    EXPECT_EQ(dialog.Text(IDC_SCAN_STATUS), c.status);
    EXPECT_EQ(dialog.IsEnabled(IDC_SCAN_START), c.startEnabled);
    dialog.Click(IDC_SCAN_START);
    EXPECT_EQ(Sent().empty(), !c.startEnabled) << "the scan went out where it may";
    t.transport.serialFrames.clear();
  }
}

// The unit list on each link: over TCP/IP it says why it lists nothing; on
// RS-232C it lists the one unit, checked; on RS-485 it scans the bus as it opens.
TEST_F(ToolDialogTest, UnitListShowsTheUnitsOfEachLink) {
  struct Case {
    int32_t linkInterface, rsControl;
    std::wstring status;
    int rows;
    Lines sent;
  };
  const Case cases[] = {
      {kSocketInterface, kRs485, L"ホストリストにホストがありません。", 0, {}},
      {kSerialInterface, kRs232c, L"RS-232C: 1 台", 1, {}},
      {kSerialInterface, kRs485, L"検索中…", 0, {"00RVN\r\n"}},
  };
  for (const Case& c : cases) {
    t.link.linkInterface = c.linkInterface;
    t.link.rsControl = c.rsControl;
    DialogHarness dialog(IDD_UNIT_LIST, dialogs::UnitListDialogProc, t.panel);
    PumpUntil([&] { return !Sent().empty(); }, milliseconds(300));  // the scan starts once the dialog shows
    EXPECT_EQ(dialog.Caption(), L"ユニット一覧");
    EXPECT_EQ(dialog.Text(IDC_UNITS_STATUS), c.status);
    const auto rows = dialog.Rows(IDC_UNITS_LIST);
    EXPECT_EQ(rows.size(), static_cast<std::size_t>(c.rows));
    if (c.rows > 0) {
      EXPECT_EQ(rows[0][0] + L" " + rows[0][1], L"1 RS-232C") << "listed, checked";
    }
    EXPECT_EQ(dialog.IsEnabled(IDC_UNITS_CLOCK), c.rows > 0);
    EXPECT_EQ(Sent(), c.sent);
    t.transport.serialFrames.clear();
  }
}

// The next request goes out as the reply is taken, the reply lands in the
// tool's model, and a cancelled run waits out the request it has out.
TEST_F(ToolDialogTest, ComparisonAdvancesOnEachReplyAndEndsCleanlyWhenCancelled) {
  t.link.rsControl = kRs485;
  t.link.slaveAddressIndex = 3;
  DialogHarness dialog(IDD_COMPARE, dialogs::CompareDialogProc, t.panel);
  EXPECT_EQ(dialog.Caption(), L"ユニットと比較");
  dialog.Click(IDC_COMPARE_START);
  EXPECT_EQ(Sent(), Lines{"03RCT01\r\n"});
  EXPECT_FALSE(dialog.IsEnabled(IDC_CLOSE));
  EXPECT_FALSE(dialog.IsEnabled(IDC_SLAVE_ADDRESS));
  ASSERT_TRUE(dialogs::TakeSerialReply("03CT01DOOR    \r\n"));
  EXPECT_EQ(Sent(), (Lines{"03RCT01\r\n", "03RCT02\r\n"})) << "at once, not on a tick";

  dialog.Click(IDC_COMPARE_CANCEL);
  EXPECT_FALSE(dialog.IsEnabled(IDC_CLOSE)) << "RCT02 is still out";
  ASSERT_TRUE(PumpUntil([&] { return t.link.batchStep == 0; }, seconds(3)));
  EXPECT_EQ(Sent().size(), 2u) << "no retry once cancelled";
  using Row = std::vector<std::wstring>;
  EXPECT_EQ(dialog.Rows(IDC_COMPARE_LIST),
            (std::vector<Row>{{L"1", L"タイトル ch.01", L"\"  CH01  \"", L"\"DOOR    \"", L"相違"},
                              {L"0", L"タイトル ch.02", L"\"  CH02  \"", L"—", L"応答なし"}}));
  EXPECT_EQ(dialog.Text(IDC_COMPARE_SUMMARY), L"中止: 1 件の相違、1 件は応答なし");
  EXPECT_STREQ(t.settings.channelTitle[0], "  CH01  ") << "the program's settings untouched";
  EXPECT_TRUE(dialog.IsEnabled(IDC_CLOSE));
  EXPECT_TRUE(dialog.IsEnabled(IDC_COMPARE_WRITE));
  EXPECT_TRUE(dialog.IsEnabled(IDC_SLAVE_ADDRESS));
  EXPECT_EQ(t.link.replyPending, 0);
  EXPECT_TRUE(Boxes().empty());

  // The list is of unit 03: it is not written to another.
  dialog.Choose(IDC_SLAVE_ADDRESS, 4);
  dialog.Click(IDC_COMPARE_WRITE);
  EXPECT_EQ(Boxes(), (std::vector<Box>{{"warning", "比較したユニットと違うアドレスが選ばれています。もう一度比較してください。"}}));
  EXPECT_EQ(Sent().size(), 2u);
  EXPECT_EQ(t.link.batchStep, 0);
}

}  // namespace
}  // namespace kelvrix
