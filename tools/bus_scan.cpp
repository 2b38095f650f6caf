#include "tools/bus_scan.h"

#include <algorithm>

#include "model/digits.h"
#include "model/reply_decoders.h"

namespace kelvrix {

void BusScan::Start() {
  if (Running()) return;
  units_.clear();
  scanned_ = false;
  // A unit answers within milliseconds: a silent address is asked once.
  StartRun(kBusAddressCount, kScanAnswerTimeout, false);
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

void BusScan::Replied(std::string_view line, std::string_view address, std::string_view failure) {
  if (!run_ || !run_->Waiting()) return;
  BusUnit unit{run_->Step() - 1, {}, false, "応答"};
  const std::string asked = PaddedDecimal(unit.address, 2);
  if (address != asked) {
    unit.conflict = true;
    unit.status = IsDigits(address, 0, 2) ? "重複の疑い: アドレス " + std::string(address) + " で応答"
                                          : "重複の疑い: 応答が乱れています";
  } else if (line.starts_with(kVersionPrefix) && line.size() >= kVersionPrefix.size() + 5) {
    unit.version = line.substr(kVersionPrefix.size() + 1, 4);
  } else if (!failure.empty()) {
    unit.status = failure;
  } else {
    unit.conflict = true;
    unit.status = "重複の疑い: 応答が乱れています";
  }
  units_.push_back(std::move(unit));
  run_->Answered();
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
