#include "tools/bus_scan.h"

#include <algorithm>

#include "model/digits.h"
#include "model/reply_decoders.h"

namespace kelvrix {

void BusScan::Start(Millis timeout) {
  if (Running()) return;
  units_.clear();
  scanned_ = false;
  // A unit answers within milliseconds: a silent address is asked once.
  StartRun(kBusAddressCount, timeout, false);
}

std::optional<ToolRequest> BusScan::Next(Millis now) {
  if (!run_) return std::nullopt;
  if (const auto request = run_->Next(now)) return ToolRequest{"RVN\r\n", request->step - 1};
  if (run_->Done()) {
    run_.reset();
    scanned_ = true;
  }
  return std::nullopt;
}

namespace {

// What one reply says of the unit at its address.
BusUnit Heard(int address, std::string_view line, std::string_view failure) {
  BusUnit unit{address, {}, false, "応答"};
  if (line.starts_with(kVersionPrefix) && line.size() >= kVersionPrefix.size() + 5) {
    unit.version = line.substr(kVersionPrefix.size() + 1, 4);
  } else if (!failure.empty()) {
    unit.status = failure;
  } else {
    unit.conflict = true;
    unit.status = "重複の疑い: 応答が乱れています";
  }
  return unit;
}

}  // namespace

void BusScan::Replied(std::string_view line, std::string_view address, std::string_view failure) {
  if (!run_ || !run_->Waiting()) return;
  const int asked = run_->Step() - 1;
  const int from = IsDigits(address, 0, 2) ? ParseTwoDigits(address.data()) : -1;
  if (from >= 0 && from < asked) {
    // A late answer to an address asked before: it is that address's, and
    // the request out still waits for its own.
    AddLate(Heard(from, line, failure));
    return;
  }
  if (from == asked) {
    units_.push_back(Heard(asked, line, failure));
  } else {
    units_.push_back({asked, {}, true, from >= 0 ? "重複の疑い: アドレス " + std::string(address) + " で応答"
                                                 : "重複の疑い: 応答が乱れています"});
  }
  run_->Answered();
}

void BusScan::AddLate(BusUnit unit) {
  const auto at = std::find_if(units_.begin(), units_.end(), [&](const BusUnit& u) { return u.address >= unit.address; });
  if (at != units_.end() && at->address == unit.address) {
    // The address has answered already: a second unit on it, whose reply
    // did not collide with the first.
    at->conflict = true;
    at->status = "重複の疑い: 2 回応答";
    return;
  }
  units_.insert(at, std::move(unit));
}

std::string BusScan::Summary() const {
  if (!scanned_) return {};
  if (units_.empty()) return "応答なし";
  const auto conflicts = std::count_if(units_.begin(), units_.end(), [](const BusUnit& u) { return u.conflict; });
  std::string summary = std::to_string(units_.size()) + " 台が応答";
  if (conflicts > 0) summary += "、" + std::to_string(conflicts) + " 件はアドレスの重複の疑い";
  return cancelled_ ? "中止: " + summary : summary;
}

}  // namespace kelvrix
