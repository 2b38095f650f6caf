// Both dispatcher variants: prefix order, status and error replies, socket
// line assembly, and what the operator is shown.
#include <gtest/gtest.h>

#include "fakes.h"
#include "link/reply_dispatcher.h"

namespace kelvrix {
namespace {

using testing::Box;
using testing::TestPanel;
using Boxes = std::vector<Box>;

void Receive(TestPanel& t, std::string_view bytes) {
  DispatchSocketReply(t.panel, bytes, static_cast<int>(bytes.size()));
}

struct StatusCase {
  std::string_view line;
  Boxes serialBoxes;
  int serialReplyError;
  Boxes socketBoxes;
  int socketReplyError;
};

// The same line through both variants, outside any timed run.
const StatusCase kStatusCases[] = {
    {"GO\r\n", {}, 0, {{"success", "Socket ＯＫ"}}, 0},
    {"GOX\r\n", {}, 0, {{"success", "Socket ＯＫ"}}, 0},
    {"MENU\r\n", {{"error", "Menu Display"}}, 0, {{"error", "Menu Display"}}, 0},
    {"MENUS\r\n", {}, 0, {{"error", "Socket Menu Display"}}, 0},
    {"GN\r\n", {{"error", "Mode Error"}}, 1, {{"error", "Socket mode difference"}}, 1},
    {"E0\r\n", {{"error", "Framing Error"}}, 1, {{"error", "Socket Framing"}}, 1},
    {"E1\r\n", {{"error", "Parity Error"}}, 1, {{"error", "Socket Framing"}}, 1},
    {"E2\r\n", {{"error", "Over Run Error"}}, 1, {{"error", "Socket Over run"}}, 1},
    {"E3\r\n", {{"error", "Command Error"}}, 1, {{"error", "Socket Command"}}, 1},
    {"E3X\r\n", {}, 0, {{"error", "Socket Command"}}, 1},
    {"GNX\r\n", {}, 0, {{"error", "Socket mode difference"}}, 1},
    // Garbage: ignored on the serial line, a failed command on the socket.
    {"E9\r\n", {}, 0, {}, 1},
    {"HELLO\r\n", {}, 0, {}, 1},
    {"ZZ\r\n", {}, 0, {}, 1},
    {"\r\n", {}, 0, {}, 1},
};

TEST(ReplyDispatcher, StatusAndErrorRepliesInBothVariants) {
  for (const StatusCase& c : kStatusCases) {
    TestPanel serial;
    serial.link.replyError = 1;  // every dispatch rewrites it
    DispatchSerialReply(serial.panel, c.line);
    EXPECT_EQ(serial.messages.boxes, c.serialBoxes) << "serial " << c.line;
    EXPECT_EQ(serial.link.replyError, c.serialReplyError) << "serial " << c.line;

    TestPanel socket;
    socket.link.replyError = 1;
    Receive(socket, c.line);
    EXPECT_EQ(socket.messages.boxes, c.socketBoxes) << "socket " << c.line;
    EXPECT_EQ(socket.link.replyError, c.socketReplyError) << "socket " << c.line;
  }
}

TEST(ReplyDispatcher, SerialGoIsShownByTheNextTimerTick) {
  TestPanel t;
  t.link.rsControl = kRs485;
  t.link.replyPending = 1;
  t.link.replyWaitTicks = 12;
  DispatchSerialReply(t.panel, "05GO\r\n");
  EXPECT_EQ(t.link.successPending, 1);
  EXPECT_TRUE(t.messages.boxes.empty());
  EXPECT_EQ(t.link.replyPending, 0);
  EXPECT_EQ(t.link.replyWaitTicks, 0);
}

TEST(ReplyDispatcher, SerialGoMustBeExact) {
  TestPanel t;
  DispatchSerialReply(t.panel, "GOX\r\n");
  EXPECT_EQ(t.link.successPending, 0);
  DispatchSerialReply(t.panel, "GO\n");
  EXPECT_EQ(t.link.successPending, 0);
}

TEST(ReplyDispatcher, GoDuringATimedRunShowsNothing) {
  TestPanel t;
  t.link.batchStep = 3;
  DispatchSerialReply(t.panel, "GO\r\n");
  Receive(t, "GO\r\n");
  EXPECT_EQ(t.link.successPending, 0);
  EXPECT_TRUE(t.messages.boxes.empty());
}

TEST(ReplyDispatcher, AnySerialLineEndsTheWait) {
  TestPanel t;
  t.link.replyPending = 1;
  t.link.replyWaitTicks = 20;
  DispatchSerialReply(t.panel, "nonsense\r\n");
  EXPECT_EQ(t.link.replyPending, 0);
  EXPECT_EQ(t.link.replyWaitTicks, 0);
}

TEST(ReplyDispatcher, Rs485AddressIsStrippedBeforeMatching) {
  TestPanel t;
  t.link.rsControl = kRs485;
  DispatchSerialReply(t.panel, "31E3\r\n");
  EXPECT_EQ(t.messages.boxes, (Boxes{{"error", "Command Error"}}));
  DispatchSerialReply(t.panel, "07VAB03120\r\n");
  EXPECT_EQ(t.settings.videoBrightness[2], 120);
  DispatchSerialReply(t.panel, "0");  // shorter than an address: nothing to do
  DispatchSerialReply(t.panel, "");
  EXPECT_EQ(t.messages.boxes.size(), 1u);
}

TEST(ReplyDispatcher, Rs232cKeepsTheWholeLine) {
  TestPanel t;
  DispatchSerialReply(t.panel, "07VAB03120\r\n");
  EXPECT_EQ(t.settings.videoBrightness[2], 0);
}

TEST(ReplyDispatcher, TitleDisplayAndVideoLossDisplayAreNotTakenForTheirShortPrefixes) {
  for (int variant = 0; variant < 2; ++variant) {
    TestPanel t;
    const DeviceSettings before = t.settings;
    auto dispatch = [&](std::string_view line) {
      variant == 0 ? DispatchSerialReply(t.panel, line) : Receive(t, line);
    };
    dispatch("CTDSOF\r\n");
    EXPECT_EQ(t.settings.titleDisplay[0], 0);
    dispatch("VLDOF\r\n");
    EXPECT_EQ(t.settings.videoLossDisplay, 0);
    t.settings.titleDisplay[0] = 1;
    t.settings.videoLossDisplay = 1;
    EXPECT_TRUE(t.settings == before) << "a channel title or the detection flags changed";
  }
}

TEST(ReplyDispatcher, VersionReplyAnnouncedOnlyOnSerial) {
  TestPanel serial;
  DispatchSerialReply(serial.panel, "Ver. 2.10\r\n");
  EXPECT_STREQ(serial.settings.firmwareVersion, "2.10");
  EXPECT_EQ(serial.link.successPending, 1);

  TestPanel refused;
  DispatchSerialReply(refused.panel, "Ver. 2.1\r\n");  // one character short: no version, no "Success"
  EXPECT_STREQ(refused.settings.firmwareVersion, "0.00");
  EXPECT_EQ(refused.link.successPending, 0);

  TestPanel socket;
  Receive(socket, "Ver. 2.10\r\n");
  EXPECT_STREQ(socket.settings.firmwareVersion, "2.10");
  EXPECT_EQ(socket.link.successPending, 0);
  EXPECT_TRUE(socket.messages.boxes.empty());
}

TEST(SocketAssembly, ReplySplitAfterItsFirstTwoCharactersIsDispatchedOnce) {
  TestPanel t;
  Receive(t, "SS");
  EXPECT_EQ(t.settings.screenSize, 0);
  EXPECT_EQ(t.link.socketLineOpen, 1);
  Receive(t, "3\r\n");
  EXPECT_EQ(t.settings.screenSize, 2);
  EXPECT_EQ(t.link.socketLineOpen, 0);
  EXPECT_TRUE(t.link.socketLine.empty());
}

TEST(SocketAssembly, ErrorReplySplitIsReportedOnce) {
  TestPanel t;
  Receive(t, "E");
  Receive(t, "3");
  EXPECT_TRUE(t.messages.boxes.empty());
  Receive(t, "\r\n");
  EXPECT_EQ(t.messages.boxes, (Boxes{{"error", "Socket Command"}}));
}

TEST(SocketAssembly, EmptyReceiveLeavesTheLineOpen) {
  TestPanel t;
  DispatchSocketReply(t.panel, "", 0);
  EXPECT_EQ(t.link.socketLineOpen, 1);
  DispatchSocketReply(t.panel, "GO\r\n", -1);  // a failed receive counts as open too
  EXPECT_EQ(t.link.socketLineOpen, 1);
  EXPECT_TRUE(t.messages.boxes.empty());
  Receive(t, "\n");
  EXPECT_EQ(t.messages.boxes.size(), 0u) << "the failed receive's bytes must not count";
  Receive(t, "GO\r\n");
  EXPECT_EQ(t.messages.boxes, (Boxes{{"success", "Socket ＯＫ"}}));
}

TEST(SocketAssembly, TwoLinesInOneReceiveAreOneStringAndTheFirstDecides) {
  TestPanel t;
  Receive(t, "SS2\r\nE3\r\n");
  EXPECT_EQ(t.settings.screenSize, 1);
  EXPECT_TRUE(t.messages.boxes.empty());
}

TEST(SocketAssembly, OverlongLineIsCutAndStillDispatched) {
  TestPanel t;
  Receive(t, "CT01ABCDEFGH");
  Receive(t, std::string(500, 'x'));
  EXPECT_EQ(t.link.socketLine.size(), kMaxSocketLineLength);
  Receive(t, std::string(200, 'y') + "\r\n");
  EXPECT_STREQ(t.settings.channelTitle[0], "ABCDEFGH");
  EXPECT_TRUE(t.link.socketLine.empty());
  Receive(t, "SS3\r\n");  // the next line starts afresh
  EXPECT_EQ(t.settings.screenSize, 2);
}

TEST(SocketAssembly, ReceiveIsReadUpToItsNul) {
  TestPanel t;
  const std::string bytes("SS3\0junk\r\n", 10);
  Receive(t, bytes);
  EXPECT_EQ(t.settings.screenSize, 2);
}

}  // namespace
}  // namespace kelvrix
