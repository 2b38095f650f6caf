// The traffic monitor's record: its ring, and how an entry reads.
#include <gtest/gtest.h>

#include "link/traffic_log.h"

namespace kelvrix {
namespace {

TEST(TrafficLog, KeepsTheLastTenThousandEntriesOldestFirst) {
  TrafficLog log;
  for (int i = 1; i <= 10005; ++i) log.Add(i, TrafficKind::Received, "COM1", "GO\r\n");
  ASSERT_EQ(log.Size(), kTrafficCapacity);
  EXPECT_EQ(log.At(0).number, 6u) << "the five oldest are gone";
  EXPECT_EQ(log.At(0).millisOfDay, 6);
  EXPECT_EQ(log.At(kTrafficCapacity - 1).number, 10005u);
  log.Clear();
  EXPECT_EQ(log.Size(), 0u);
  log.Add(0, TrafficKind::Event, "COM1", "No Connect");
  EXPECT_EQ(log.At(0).number, 10006u) << "numbers go on after a clear";
}

TEST(TrafficLog, EntriesReadWithEscapedBytesAndMillisecondTimes) {
  struct Case {
    std::string_view bytes, escaped;
  };
  const Case cases[] = {
      {"VAB03120\r\n", "VAB03120\\r\\n"},
      {"CT01CAM-01\xDF.\r\n", "CT01CAM-01\\xDF.\\r\\n"},
      {std::string_view("\x00\x1F\x7F\\", 4), "\\x00\\x1F\\x7F\\\\"},
      {"05VVeerr..  11..0000\r\n", "05VVeerr..  11..0000\\r\\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(EscapedBytes(c.bytes), c.escaped);

  EXPECT_EQ(TimeOfDay(0), "00:00:00.000");
  EXPECT_EQ(TimeOfDay(33907123), "09:25:07.123");
  EXPECT_EQ(TimeOfDay(86399999), "23:59:59.999");

  EXPECT_EQ(FormatEntry({12, 33907123, TrafficKind::Sent, "COM1 05", "05VAB03120\r\n"}),
            "12\t09:25:07.123\t→\tCOM1 05\t05VAB03120\\r\\n");
  EXPECT_EQ(FormatEntry({13, 33907150, TrafficKind::Event, "COM1 05", "Command Error"}),
            "13\t09:25:07.150\t●\tCOM1 05\tCommand Error");
  EXPECT_EQ(FormatEntry({14, 0, TrafficKind::Received, "127.0.0.2", "=CT01\"A\r\n"}),
            "14\t00:00:00.000\t←\t127.0.0.2\t\"'=CT01\"\"A\\r\\n\"") << "through the one CSV writer";

  LinkState link;
  link.comPort = 2;
  EXPECT_EQ(SerialLinkName(link, "VAB03120\r\n"), "COM3");
  link.rsControl = kRs485;
  EXPECT_EQ(SerialLinkName(link, "05VAB03120\r\n"), "COM3 05");
  EXPECT_EQ(SerialLinkName(link, "FFVAB03120\r\n"), "COM3 FF");
}

TEST(TrafficLog, TheHeaderSaysWhatTheLinkIsNow) {
  struct Case {
    void (*link)(LinkState&);
    LinkStatus status;
    std::string line;
  };
  const Case cases[] = {
      {[](LinkState&) {}, {true, "09004", 1234},
       "シリアル COM1  RS-232C  ポート: 開いています  最後の応答: 1.2 秒前"},
      {[](LinkState& l) { l.comPort = 1, l.rsControl = kRs485, l.slaveAddressIndex = 5; }, {false, "09004", {}},
       "シリアル COM2  RS-485 アドレス 05  ポート: 開いていません  最後の応答: なし"},
      {[](LinkState& l) { l.rsControl = kRs485, l.slaveAddressIndex = kBroadcastAddressIndex; }, {true, "09004", 50},
       "シリアル COM1  RS-485 アドレス Bloadcast  ポート: 開いています  最後の応答: 0.0 秒前"},
      {[](LinkState& l) { l.linkInterface = kSocketInterface, l.hostList = {{192, 168, 1, 3}}, l.socketConnected = 1; },
       {false, "09004", 61000}, "TCP/IP クライアント 192.168.1.3:09004  接続: あり  最後の応答: 61.0 秒前"},
      {[](LinkState& l) { l.linkInterface = kSocketInterface, l.clientServerMode = 1, l.selectedConnection = -1; },
       {false, "09004", {}}, "TCP/IP サーバー ポート 09004  接続中 0 台  送信先: なし  最後の応答: なし"},
  };
  for (const Case& c : cases) {
    LinkState link;
    c.link(link);
    EXPECT_EQ(LinkStatusLine(link, c.status), c.line);
  }
}

}  // namespace
}  // namespace kelvrix
