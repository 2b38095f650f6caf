// The reply-gated pacing of the maintenance tools, on a fake clock.
#include <gtest/gtest.h>

#include "link/reply_gated_run.h"

namespace kelvrix {
namespace {

using Millis = std::chrono::milliseconds;
using Request = ReplyGatedRun::Request;

TEST(ReplyGatedRun, NextRequestGoesOutOnTheAnswerNotOnATick) {
  ReplyGatedRun run(3, Millis(300));
  EXPECT_EQ(run.Next(Millis(0)), (Request{1, false}));
  EXPECT_EQ(run.Next(Millis(299)), std::nullopt) << "the first request may still be answered";
  run.Answered();
  EXPECT_EQ(run.Next(Millis(12)), (Request{2, false}));
  run.Answered();
  run.Answered();  // a second reply to the same request changes nothing
  EXPECT_EQ(run.Next(Millis(20)), (Request{3, false}));
  EXPECT_EQ(run.Deadline(), Millis(320));
  run.Answered();
  EXPECT_TRUE(run.Done());
  EXPECT_EQ(run.Next(Millis(30)), std::nullopt);
  EXPECT_TRUE(run.Unanswered().empty());
}

TEST(ReplyGatedRun, ATimedOutRequestIsRetriedOnceThenCountedUnanswered) {
  ReplyGatedRun run(3, Millis(300));
  run.Next(Millis(0));
  EXPECT_EQ(run.Next(Millis(300)), (Request{1, true}));
  run.Answered();  // the retry was answered: step 1 counts as answered
  EXPECT_EQ(run.Next(Millis(350)), (Request{2, false}));
  EXPECT_EQ(run.Next(Millis(650)), (Request{2, true}));
  EXPECT_EQ(run.Next(Millis(949)), std::nullopt);
  EXPECT_EQ(run.Next(Millis(950)), (Request{3, false})) << "the next request as the retry times out";
  EXPECT_EQ(run.Next(Millis(1250)), (Request{3, true}));
  EXPECT_EQ(run.Next(Millis(1550)), std::nullopt);
  EXPECT_TRUE(run.Done());
  EXPECT_EQ(run.Unanswered(), (std::vector<int>{2, 3}));
}

TEST(ReplyGatedRun, CancelStopsBeforeTheNextRequest) {
  ReplyGatedRun run(5, Millis(300));
  run.Next(Millis(0));
  run.Answered();
  run.Next(Millis(5));
  run.Cancel();
  EXPECT_TRUE(run.Done());
  EXPECT_FALSE(run.Waiting());
  run.Answered();
  EXPECT_EQ(run.Next(Millis(400)), std::nullopt);
  EXPECT_EQ(run.Step(), 2);
  EXPECT_TRUE(run.Unanswered().empty());
}

}  // namespace
}  // namespace kelvrix
