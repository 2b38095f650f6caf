// The send path: interface choice, RS-485 framing, the socket guard, the
// Send layer's refusals and batch guards, and the "No Connect" tick.
#include <gtest/gtest.h>

#include "fakes.h"
#include "link/reply_dispatcher.h"
#include "link/send_command.h"

namespace kelvrix {
namespace {

using testing::Box;
using testing::TestPanel;

TEST(SendCommand, SerialRs485AddressesTheChosenUnitAndArmsTheTimeout) {
  TestPanel t;
  t.link.rsControl = kRs485;
  t.link.slaveAddressIndex = 7;
  SendCommand(t.panel, "VAB03120\r\n");
  EXPECT_EQ(t.transport.serialFrames, (std::vector<std::string>{"07VAB03120\r\n"}));
  EXPECT_EQ(t.link.replyPending, 1);
  EXPECT_TRUE(t.transport.socketLines.empty());
}

TEST(SendCommand, BroadcastIsNotAwaited) {
  TestPanel t;
  t.link.rsControl = kRs485;
  t.link.slaveAddressIndex = kBroadcastAddressIndex;
  SendCommand(t.panel, "MOF\r\n");
  EXPECT_EQ(t.transport.serialFrames, (std::vector<std::string>{"FFMOF\r\n"}));
  EXPECT_EQ(t.link.replyPending, 0);
  for (int tick = 0; tick < 40; ++tick) TickReplyTimeout(t.panel);
  EXPECT_TRUE(t.messages.boxes.empty());
}

TEST(SendCommand, UnansweredSerialFrameGivesOneNoConnect) {
  TestPanel t;
  SendCommand(t.panel, "RVN\r\n");
  for (int tick = 1; tick <= 26; ++tick) TickReplyTimeout(t.panel);
  EXPECT_TRUE(t.messages.boxes.empty());
  EXPECT_EQ(t.link.replyError, 0);
  TickReplyTimeout(t.panel);
  EXPECT_EQ(t.messages.boxes, (std::vector<Box>{{"error", "No Connect"}}));
  EXPECT_EQ(t.link.replyError, 1) << "a missing reply stops a timed run";
  for (int tick = 0; tick < 40; ++tick) TickReplyTimeout(t.panel);
  EXPECT_EQ(t.messages.boxes.size(), 1u);
}

TEST(SendCommand, SocketSendsTheBareLineAndWaits) {
  TestPanel t;
  t.link.linkInterface = kSocketInterface;
  t.link.socketConnected = 1;
  t.link.rsControl = kRs485;  // never framed on TCP/IP
  t.link.slaveAddressIndex = 7;
  SendCommand(t.panel, "VAB03120\r\n");
  EXPECT_EQ(t.transport.socketLines, (std::vector<std::string>{"VAB03120\r\n"}));
  EXPECT_EQ(t.transport.socketWaits, 1);
  EXPECT_TRUE(t.transport.serialFrames.empty());
  EXPECT_EQ(t.link.replyPending, 0);

  // A tool's request does not wait on the GUI thread.
  SendCommand(t.panel, "RVN\r\n", SocketWait::Notified);
  EXPECT_EQ(t.transport.socketWaits, 1);
  EXPECT_EQ(t.transport.socketExpects, 1);
}

// A part of a line left by a flood or a cut reply is not carried into the
// next command's answer.
TEST(SendCommand, EachSocketCommandStartsFromAnEmptyLine) {
  TestPanel t;
  t.link.linkInterface = kSocketInterface;
  t.link.socketConnected = 1;
  DispatchSocketReply(t.panel, std::string(119, 'x'), 119);
  ASSERT_EQ(t.link.socketLineOpen, 1);
  SendCommand(t.panel, "RVN\r\n");
  EXPECT_EQ(DispatchSocketReply(t.panel, "Ver. 1.20\r\n", 11), "Ver. 1.20\r\n");
  EXPECT_STREQ(t.settings.firmwareVersion, "1.20");
}

TEST(SendCommand, OnlyAnRs485BroadcastReadsFromNoUnit) {
  LinkState link;
  link.slaveAddressIndex = kBroadcastAddressIndex;
  EXPECT_FALSE(ReadsFromBroadcast(link)) << "RS-232C sends no address";
  link.rsControl = kRs485;
  EXPECT_TRUE(ReadsFromBroadcast(link));
  link.linkInterface = kSocketInterface;
  EXPECT_FALSE(ReadsFromBroadcast(link)) << "TCP/IP sends no address";
  link.linkInterface = kSerialInterface;
  link.slaveAddressIndex = 31;
  EXPECT_FALSE(ReadsFromBroadcast(link));
}

TEST(SendCommand, SocketNotConnectedSendsNothing) {
  TestPanel t;
  t.link.linkInterface = kSocketInterface;
  EXPECT_FALSE(CanSendOverSocket(t.link));
  SendCommand(t.panel, "RVN\r\n");
  EXPECT_TRUE(t.transport.socketLines.empty());
  EXPECT_EQ(t.messages.boxes, (std::vector<Box>{{"warning", "Socket が接続されていません"}}));
  EXPECT_EQ(t.link.replyError, 1);
}

// A serial send that cannot go out is a failed step, whatever stopped it.
TEST(SendCommand, SerialSendThatCannotGoOutSetsReplyError) {
  TestPanel failedWrite;
  failedWrite.transport.serialWriteSucceeds = false;
  SendCommand(failedWrite.panel, "RVN\r\n");
  EXPECT_EQ(failedWrite.link.replyError, 1);
  EXPECT_EQ(failedWrite.link.replyPending, 1) << "the reply time-out still tells the operator";

  TestPanel noUnit;
  noUnit.link.rsControl = kRs485;
  noUnit.link.slaveAddressIndex = -1;
  SendCommand(noUnit.panel, "RVN\r\n");
  EXPECT_EQ(noUnit.link.replyError, 1);

  TestPanel tooLong;
  SendCommand(tooLong.panel, std::string(600, 'A') + "\r\n");
  EXPECT_EQ(tooLong.link.replyError, 1);
  EXPECT_TRUE(tooLong.transport.serialFrames.empty() && noUnit.transport.serialFrames.empty());
}

TEST(SendCommand, FailedSocketSendSetsReplyErrorAndDoesNotWait) {
  TestPanel t;
  t.link.linkInterface = kSocketInterface;
  t.link.socketConnected = 1;
  t.transport.socketSendSucceeds = false;
  SendCommand(t.panel, "RVN\r\n");
  EXPECT_EQ(t.link.replyError, 1);
  EXPECT_EQ(t.transport.socketWaits, 0);
  EXPECT_EQ(t.messages.boxes, (std::vector<Box>{{"warning", "Socket 送信"}}));
}

TEST(CanSendOverSocket, SerialAlwaysSocketOnlyWhenConnected) {
  LinkState link;
  EXPECT_TRUE(CanSendOverSocket(link));
  link.linkInterface = kSocketInterface;
  EXPECT_FALSE(CanSendOverSocket(link));
  link.socketConnected = 1;
  EXPECT_TRUE(CanSendOverSocket(link));
}

TEST(Send, RefusedCommandShowsItsMessageAndSendsNothing) {
  TestPanel t;
  t.settings.layout4[0][1] = t.settings.layout4[0][0];
  Send(t.panel, BuildLayout(t.settings, 0));
  EXPECT_TRUE(t.transport.serialFrames.empty());
  EXPECT_EQ(t.messages.boxes, (std::vector<Box>{{"warning", "チャンネルが重複しています"}}));
}

TEST(Send, SerialOnlyIgnoresTheSocketInterface) {
  TestPanel t;
  t.link.linkInterface = kSocketInterface;
  SendSerialOnly(t.panel, BuildSM(t.settings));
  EXPECT_EQ(t.transport.serialFrames, (std::vector<std::string>{"SMC\r\n"}));
  EXPECT_TRUE(t.transport.socketLines.empty());
}

TEST(Send, DwellTimesAndHistoryClearsWaitForTheRunToEnd) {
  TestPanel t;
  t.link.batchStep = 5;
  t.settings.autoSequenceDwell.fill(0);
  SendDwellTimes(t.panel);  // not even the all-zero check runs
  SendClearAlarmHistory(t.panel);
  SendClearVideoLossHistory(t.panel);
  EXPECT_TRUE(t.transport.serialFrames.empty());
  EXPECT_TRUE(t.messages.boxes.empty());

  t.link.batchStep = 0;
  SendDwellTimes(t.panel);
  EXPECT_EQ(t.messages.boxes, (std::vector<Box>{{"warning", "全て0秒です"}}));
  t.settings.autoSequenceDwell[0] = 5;
  SendDwellTimes(t.panel);
  SendClearAlarmHistory(t.panel);
  SendClearVideoLossHistory(t.panel);
  EXPECT_EQ(t.transport.serialFrames,
            (std::vector<std::string>{
                "CASTM05000000000000000000000000000000000000000000000000000000\r\n", "AHD\r\n",
                "VLHD\r\n"}));
}

}  // namespace
}  // namespace kelvrix
