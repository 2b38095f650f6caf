// One result box at a time: reports that come while a box is up (from its own
// message loop) fold into it or wait their turn.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "link/result_boxes.h"

namespace kelvrix {
namespace {

// Shows a box by running `duringBox` (what the box's message loop delivers)
// before the operator closes it; records what was shown and any nesting.
class ScriptedScreen : public BoxScreen {
 public:
  void Show(const ResultBox& box) override {
    ++depth;
    maxDepth = std::max(maxDepth, depth);
    if (duringBox) {
      auto script = std::move(duringBox);  // the first box's loop only
      script();
    }
    shown.push_back(box.text + " " + box.CaptionWithCount());
    --depth;
  }
  void Recount(const ResultBox& box) override { recounts.push_back(box.count); }

  std::function<void()> duringBox;
  std::vector<std::string> shown;
  std::vector<int> recounts;
  int depth = 0, maxDepth = 0;
};

TEST(ResultBoxes, ReportsDuringABoxFoldIntoItOrWaitWithoutNesting) {
  ScriptedScreen screen;
  ResultBoxGate gate(screen);
  GatedResults results(gate);
  screen.duringBox = [&] {
    EXPECT_TRUE(results.Showing());
    for (int i = 0; i < 400; ++i) results.ShowError("Command Error");  // a unit answering E3 every 25 ms
    results.ShowSuccess("Success");
    results.ShowSuccess("Success");
    results.ShowLinkError("WINSOCK.DLLの accept() からのエラー。[10055]");
  };
  results.ShowError("Command Error");
  EXPECT_EQ(screen.maxDepth, 1);
  EXPECT_EQ(screen.shown, (std::vector<std::string>{"Command Error Error (401)", "Success Success (2)",
                                                    "WINSOCK.DLLの accept() からのエラー。[10055] Kelvrix"}));
  EXPECT_EQ(screen.recounts.size(), 400u);
  EXPECT_EQ(screen.recounts.back(), 401);
  EXPECT_FALSE(results.Showing());
}

TEST(ResultBoxes, DistinctWaitingReportsAreBounded) {
  ScriptedScreen screen;
  ResultBoxGate gate(screen);
  GatedResults results(gate);
  screen.duringBox = [&] {
    for (int i = 0; i < 1000; ++i) results.ShowWarning("report " + std::to_string(i));
  };
  results.ShowWarning("first");
  EXPECT_EQ(screen.shown.size(), 1 + ResultBoxGate::kMaxWaiting);
  EXPECT_EQ(screen.maxDepth, 1);
}

TEST(ResultBoxes, KindsKeepTheirCaptionIconAndOwner) {
  struct Case {
    void (ResultMessages::*show)(std::string_view);
    ResultBox expected;
  };
  const Case cases[] = {
      {&ResultMessages::ShowSuccess, {"Success", "t", BoxIcon::None, BoxOwner::None}},
      {&ResultMessages::ShowError, {"Error", "t", BoxIcon::Error, BoxOwner::None}},
      {&ResultMessages::ShowWarning, {"Error", "t", BoxIcon::Warning, BoxOwner::ActiveWindow}},
      {&ResultMessages::ShowLinkError, {"Kelvrix", "t", BoxIcon::Error, BoxOwner::ActiveWindow}},
  };
  for (const Case& c : cases) {
    struct Last : BoxScreen {
      void Show(const ResultBox& b) override { box = b; }
      void Recount(const ResultBox&) override {}
      ResultBox box;
    } screen;
    ResultBoxGate gate(screen);
    GatedResults results(gate);
    (results.*c.show)("t");
    EXPECT_TRUE(screen.box.SameReport(c.expected)) << c.expected.caption;
    EXPECT_EQ(screen.box.owner, c.expected.owner) << c.expected.caption;
  }
}

}  // namespace
}  // namespace kelvrix
