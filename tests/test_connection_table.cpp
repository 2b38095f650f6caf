// The server's connection table, and the texts and numbers of the TCP/IP link.
#include <gtest/gtest.h>

#include "link/connection_table.h"

namespace kelvrix {
namespace {

TEST(ConnectionTable, ListShowsTheRowsInUseAndMapsPositionsThroughIt) {
  ConnectionTable table;
  EXPECT_EQ(table.Count(), 0);
  for (SocketHandle socket : {11u, 12u, 13u}) {
    const auto row = table.FreeRow();
    ASSERT_TRUE(row);
    table.Fill(*row, socket, "127.0.0." + std::to_string(socket - 9));
  }
  EXPECT_EQ(table.ListedRows(), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(table.Find(12), 2);

  table.Free(12);  // the middle unit hangs up
  EXPECT_EQ(table.ListedRows(), (std::vector<int>{1, 3})) << "the second entry listed is row 3";
  EXPECT_EQ(table[2].peerAddress, " ");
  EXPECT_EQ(table.FreeRow(), 2) << "the freed row is the next one given out";
  EXPECT_EQ(table.Find(99), 0);
  EXPECT_EQ(table.Find(0), 0);

  for (auto row = table.FreeRow(); row; row = table.FreeRow()) table.Fill(*row, 100 + *row, "x");
  EXPECT_EQ(table.Count(), kMaxConnections);
  EXPECT_EQ(table.FreeRow(), std::nullopt) << "a 97th unit finds no row";
  table.Reset();
  EXPECT_EQ(table.Count(), 0);
  EXPECT_EQ(table[0].inUse, 1) << "row 0 is never given out";
}

TEST(ConnectionTable, TheChosenUnitIsTheConnectionNotTheRow) {
  ConnectionTable table;
  table.Fill(2, 7, "127.0.0.3");
  const uint64_t chosen = table[2].serial;
  EXPECT_EQ(ChosenPeerAddress(table, 1, 2, chosen), "127.0.0.3");
  EXPECT_EQ(ChosenPeerAddress(table, 0, 2, chosen), "") << "the client role names a host, not a row";
  EXPECT_EQ(ChosenPeerAddress(table, 1, -1, chosen), "");
  EXPECT_EQ(ChosenPeerAddress(table, 1, 99, chosen), "") << "a host index beyond the table";
  table.Free(7);
  EXPECT_EQ(table.LiveRow(2, chosen), std::nullopt);
  table.Fill(2, 7, "127.0.0.9");  // another unit takes the row, maybe with the same handle value
  EXPECT_EQ(table.LiveRow(2, chosen), std::nullopt) << "commands never go to a unit nobody chose";
  EXPECT_EQ(ChosenPeerAddress(table, 1, 2, chosen), "");
  EXPECT_EQ(table.LiveRow(2, table[2].serial), 2);
}

TEST(LinkTexts, AddressesAndPorts) {
  EXPECT_EQ(HostListText({192, 168, 1, 3}), "192 .168 .001 .003");
  EXPECT_EQ(HostListText({0, 0, 0, 0}), "000 .000 .000 .000");
  EXPECT_EQ(DottedAddress({192, 168, 1, 3}), "192.168.1.3");

  const std::pair<const char*, std::optional<uint16_t>> kPorts[] = {
      {"09004", 9004}, {"9004", 9004}, {"80x", 80}, {"65535", 65535},
      {"", std::nullopt}, {"abc", std::nullopt}, {"00000", std::nullopt}, {"65536", std::nullopt},
      {"99999", std::nullopt}, {" 9004", std::nullopt},
  };
  for (const auto& [text, port] : kPorts) EXPECT_EQ(PortOf(text), port) << '"' << text << '"';
}

}  // namespace
}  // namespace kelvrix
