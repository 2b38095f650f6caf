// The one place result boxes are shown, whatever raised them: serial lines,
// socket events and replies, timers, runs.
//
// A box runs its own message loop, in which timers, serial lines and socket
// events go on arriving; any of them may report again. So while a box is up,
// a report identical to it is folded into it (its count shown), another
// waits its turn (identical waiting reports folded too), and no box is ever
// opened inside another. A flooding unit thus costs the operator one box, and
// the GUI thread's stack stays flat.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "link/result_messages.h"

namespace kelvrix {

enum class BoxIcon { None, Error, Warning };
enum class BoxOwner { None, ActiveWindow };

struct ResultBox {
  std::string caption;  // "Success", "Error", "Kelvrix"
  std::string text;
  BoxIcon icon = BoxIcon::None;
  BoxOwner owner = BoxOwner::None;
  int count = 1;  // reports folded into this box

  bool SameReport(const ResultBox& other) const {
    return caption == other.caption && text == other.text && icon == other.icon;
  }
  // The caption with the count once more than one report was folded: "Error (3)".
  std::string CaptionWithCount() const;
};

// The screen's side: Show returns once the operator closed the box (and may
// run a message loop meanwhile); Recount tells the box on screen its new count.
class BoxScreen {
 public:
  virtual ~BoxScreen() = default;
  virtual void Show(const ResultBox& box) = 0;
  virtual void Recount(const ResultBox& box) = 0;
};

class ResultBoxGate {
 public:
  // Distinct reports kept while a box is up; more are dropped (the traffic
  // record still has them).
  static constexpr std::size_t kMaxWaiting = 16;

  explicit ResultBoxGate(BoxScreen& screen) : screen_(screen) {}
  ResultBoxGate(const ResultBoxGate&) = delete;
  ResultBoxGate& operator=(const ResultBoxGate&) = delete;

  // Shows the box and those that came meanwhile, one after the other; from
  // inside a box's loop, folds or queues it and returns at once.
  void Show(ResultBox box);
  bool BoxUp() const { return onScreen_.has_value(); }

 private:
  BoxScreen& screen_;
  std::optional<ResultBox> onScreen_;
  std::deque<ResultBox> waiting_;
};

// The program's result messages as boxes through the gate.
class GatedResults : public ResultMessages {
 public:
  explicit GatedResults(ResultBoxGate& gate) : gate_(gate) {}
  void ShowSuccess(std::string_view text) override;
  void ShowError(std::string_view text) override;
  void ShowWarning(std::string_view text) override;
  void ShowLinkError(std::string_view text) override;
  bool Showing() const override { return gate_.BoxUp(); }

 private:
  ResultBoxGate& gate_;
};

}  // namespace kelvrix
