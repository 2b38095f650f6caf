// Digit routines, serial and socket frames, and the serial reply time-out count.
#include <gtest/gtest.h>

#include "link/framing.h"
#include "model/digits.h"

namespace kelvrix {
namespace {

TEST(Digits, FormatAndParseFixedWidth) {
  char out[4] = "xxx";
  FormatTwoDigits(5, out);
  EXPECT_STREQ(out, "05x");  // no terminator written
  FormatTwoDigits(99, out);
  EXPECT_STREQ(out, "99x");
  FormatThreeDigits(92, out);
  EXPECT_STREQ(out, "092");
  FormatThreeDigits(999, out);
  EXPECT_STREQ(out, "999");
  EXPECT_EQ(ParseTwoDigits("07"), 7);
  EXPECT_EQ(ParseThreeDigits("092"), 92);
  EXPECT_EQ(ParseThreeDigits("100"), 100);
}

TEST(Digits, IsDigitsChecksEveryPositionAndTheLength) {
  EXPECT_TRUE(IsDigits("AB123", 2, 3));
  EXPECT_FALSE(IsDigits("AB12", 2, 3));
  EXPECT_FALSE(IsDigits("AB1/3", 2, 3));
  EXPECT_FALSE(IsDigits("AB1:3", 2, 3));
  EXPECT_TRUE(IsDigits("", 0, 0));
}

struct FrameCase {
  int32_t rsControl;
  int32_t slaveAddressIndex;
  std::string_view expected;
  bool awaitsReply;
};

TEST(SerialFrame, AddressOnlyOnRs485) {
  const FrameCase cases[] = {
      {kRs232c, 0, "VAB03120\r\n", true},
      {kRs232c, 7, "VAB03120\r\n", true},
      {kRs232c, 32, "VAB03120\r\n", true},  // broadcast means nothing point to point
      {kRs485, 0, "00VAB03120\r\n", true},
      {kRs485, 7, "07VAB03120\r\n", true},
      {kRs485, 31, "31VAB03120\r\n", true},
      {kRs485, 32, "FFVAB03120\r\n", false},
  };
  for (const FrameCase& c : cases) {
    auto frame = FrameSerialCommand("VAB03120\r\n", c.rsControl, c.slaveAddressIndex);
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->bytes, c.expected);
    EXPECT_EQ(frame->awaitsReply, c.awaitsReply) << c.expected;
  }
}

TEST(SerialFrame, RefusesWhatCannotBeSentSafely) {
  const std::string longest(kMaxCommandLength, 'A');
  auto frame = FrameSerialCommand(longest, kRs485, 7);
  ASSERT_TRUE(frame.has_value());
  EXPECT_EQ(frame->bytes.size(), 599u);  // fits the 600-byte buffer with its NUL
  EXPECT_FALSE(FrameSerialCommand(longest + "A", kRs485, 7).has_value());
  EXPECT_FALSE(FrameSerialCommand("RVN\r\n", kRs485, -1).has_value());
}

TEST(SocketFrame, BareLine) {
  EXPECT_EQ(FrameSocketCommand("RVN\r\n"), "RVN\r\n");
  EXPECT_FALSE(FrameSocketCommand(std::string(kMaxCommandLength + 1, 'A')).has_value());
}

TEST(ReplyTimeout, FiresOnceOnThe27thTick) {
  LinkState link;
  link.replyPending = 1;
  for (int tick = 1; tick <= 26; ++tick) EXPECT_FALSE(CountReplyWaitTick(link)) << tick;
  EXPECT_TRUE(CountReplyWaitTick(link));
  EXPECT_EQ(link.replyPending, 0);
  EXPECT_EQ(link.replyWaitTicks, 0);
  for (int tick = 0; tick < 100; ++tick) EXPECT_FALSE(CountReplyWaitTick(link));
}

TEST(ReplyTimeout, IdleLinkCountsNothing) {
  LinkState link;
  for (int tick = 0; tick < 30; ++tick) EXPECT_FALSE(CountReplyWaitTick(link));
  EXPECT_EQ(link.replyWaitTicks, 0);
}

}  // namespace
}  // namespace kelvrix
