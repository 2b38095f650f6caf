// The reply-gated pacing of the maintenance tools, on a fake clock.
#include <gtest/gtest.h>

#include "tools/reply_gated_run.h"

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

// Cancelled, the run still waits out the request it has sent, so that its
// reply never reaches whoever listens after the tool; it is not retried.
TEST(ReplyGatedRun, CancelStopsOnceTheRequestOutIsAnsweredOrTimedOut) {
  for (const bool answered : {true, false}) {
    ReplyGatedRun run(5, Millis(300));
    run.Next(Millis(0));
    run.Answered();
    run.Next(Millis(5));
    run.Cancel();
    EXPECT_FALSE(run.Done()) << "step 2 is still out";
    if (answered) {
      run.Answered();
    } else {
      EXPECT_EQ(run.Next(Millis(305)), std::nullopt) << "no retry once cancelled";
    }
    EXPECT_TRUE(run.Done());
    EXPECT_EQ(run.Next(Millis(400)), std::nullopt);
    EXPECT_EQ(run.Step(), 3);
    EXPECT_EQ(run.Unanswered(), answered ? std::vector<int>{} : std::vector<int>{2});
  }
}

// A socket wait that expired is the time-out: retry at once, then move on.
TEST(ReplyGatedRun, NoReplyEndsTheWaitWithoutTheDeadline) {
  ReplyGatedRun run(2, Millis(4000));
  run.Next(Millis(0));
  run.NoReply();
  EXPECT_EQ(run.Next(Millis(10)), (Request{1, true}));
  EXPECT_EQ(run.Next(Millis(20)), std::nullopt) << "the retry waits again";
  run.NoReply();
  EXPECT_EQ(run.Next(Millis(30)), (Request{2, false}));
  EXPECT_EQ(run.Unanswered(), std::vector<int>{1});
}

}  // namespace
}  // namespace kelvrix
