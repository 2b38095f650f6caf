#include "link/result_boxes.h"

#include <algorithm>

namespace kelvrix {

std::string ResultBox::CaptionWithCount() const {
  return count > 1 ? caption + " (" + std::to_string(count) + ")" : caption;
}

void ResultBoxGate::Show(ResultBox box) {
  if (onScreen_) {
    if (onScreen_->SameReport(box)) {
      ++onScreen_->count;
      screen_.Recount(*onScreen_);
      return;
    }
    const auto same = std::find_if(waiting_.begin(), waiting_.end(),
                                   [&](const ResultBox& waiting) { return waiting.SameReport(box); });
    if (same != waiting_.end()) {
      ++same->count;
    } else if (waiting_.size() < kMaxWaiting) {
      waiting_.push_back(std::move(box));
    }
    return;
  }
  onScreen_ = std::move(box);
  for (;;) {
    screen_.Show(*onScreen_);
    if (waiting_.empty()) break;
    onScreen_ = std::move(waiting_.front());
    waiting_.pop_front();
  }
  onScreen_.reset();
}

void GatedResults::ShowSuccess(std::string_view text) { gate_.Show({"Success", std::string(text)}); }

void GatedResults::ShowError(std::string_view text) {
  gate_.Show({"Error", std::string(text), BoxIcon::Error});
}

void GatedResults::ShowWarning(std::string_view text) {
  gate_.Show({"Error", std::string(text), BoxIcon::Warning, BoxOwner::ActiveWindow});
}

// Modal to the window the operator works in (the TCP/IP dialog that pressed
// 接続), so that it cannot be pressed again under the box.
void GatedResults::ShowLinkError(std::string_view text) {
  gate_.Show({"Kelvrix", std::string(text), BoxIcon::Error, BoxOwner::ActiveWindow});
}

}  // namespace kelvrix
