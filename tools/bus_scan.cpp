#include "tools/bus_scan.h"

#include <algorithm>

#include "model/digits.h"
#include "model/reply_decoders.h"
#include "model/unit_text.h"
#include "tools/unit_files.h"

namespace kelvrix {

namespace {

constexpr std::string_view kMacPrefix = "EMA";
constexpr std::string_view kGarbled = "重複の疑い: 応答が乱れています";

// "Ver. 1.00" gives "1.00", in UTF-8 as code page 932 reads it; anything else nothing.
std::string VersionIn(std::string_view line) {
  if (!line.starts_with(kVersionPrefix) || line.size() < kVersionPrefix.size() + 5) return {};
  return UnitText(line.substr(kVersionPrefix.size() + 1, 4));
}

// "EMA00-80-45-01-02-03" gives "00-80-45-01-02-03"; anything else nothing.
std::string MacIn(std::string_view line) {
  if (!line.starts_with(kMacPrefix) || line.size() < kMacPrefix.size() + 17) return {};
  const std::string_view mac = line.substr(kMacPrefix.size(), 17);
  return IsMacAddress(mac) ? std::string(mac) : std::string();
}

}  // namespace

void BusScan::Start(Millis timeout) {
  if (Running()) return;
  units_.clear();
  scanned_ = false;
  // A unit answers within milliseconds: a silent address is asked once.
  StartRun(kBusScanSteps, timeout, false, 0);  // most addresses are silent: none ends the scan
}

std::optional<ToolRequest> BusScan::Next(Millis now) {
  if (!run_) return std::nullopt;
  for (auto request = run_->Next(now); request; request = run_->Next(now)) {
    if (!AskingMac()) return ToolRequest{"RVN\r\n", Asked()};
    const BusUnit* unit = Listed(Asked());
    if (unit && !unit->conflict && !unit->version.empty()) return ToolRequest{"REMA\r\n", Asked()};
    run_->Answered();  // nothing to ask an address that was silent, refused or collided
  }
  if (run_->Done()) {
    run_.reset();
    scanned_ = true;
  }
  return std::nullopt;
}

BusUnit* BusScan::Listed(int address) {
  const auto at = std::find_if(units_.begin(), units_.end(), [&](const BusUnit& u) { return u.address == address; });
  return at == units_.end() ? nullptr : &*at;
}

BusUnit& BusScan::Entry(int address) {
  if (BusUnit* unit = Listed(address)) return *unit;
  const auto at = std::find_if(units_.begin(), units_.end(), [&](const BusUnit& u) { return u.address > address; });
  return *units_.insert(at, BusUnit{address, {}, {}, false, "応答"});
}

// What one reply says of the unit at `address`: its version, its MAC
// address, or an error. A second version, or a second MAC address that
// differs, is a second unit.
void BusScan::Note(int address, std::string_view line, std::string_view failure) {
  BusUnit& unit = Entry(address);
  if (std::string version = VersionIn(line); !version.empty()) {
    if (!unit.version.empty()) return Conflict(address, "重複の疑い: 2 回応答");
    unit.version = std::move(version);
  } else if (std::string mac = MacIn(line); !mac.empty()) {
    if (!unit.mac.empty() && unit.mac != mac) return Conflict(address, "重複の疑い: MAC アドレスが 2 つ");
    unit.mac = std::move(mac);
  } else if (!failure.empty()) {
    if (unit.version.empty()) unit.status = failure;  // a unit that knows no MAC request is still listed as such
  } else {
    Conflict(address, std::string(kGarbled));
  }
}

void BusScan::Conflict(int address, std::string status) {
  BusUnit& unit = Entry(address);
  unit.conflict = true;
  unit.status = std::move(status);
}

void BusScan::Replied(std::string_view line, std::string_view address, std::string_view failure) {
  if (!run_ || !run_->Waiting()) return;
  const int asked = Asked();
  const int from = IsDigits(address, 0, 2) ? ParseTwoDigits(address.data()) : -1;
  const bool answersRequest = !failure.empty() || (AskingMac() ? !MacIn(line).empty() : !VersionIn(line).empty());
  if (from >= 0 && from < asked) {
    // A late answer to an address asked before: it is that address's, and
    // the request out still waits for its own.
    Note(from, line, failure);
    return;
  }
  if (from == asked && AskingMac() && !VersionIn(line).empty()) {
    Note(from, line, failure);  // a second unit's answer to the version request
    return;
  }
  if ((from != asked || !answersRequest) && !run_->Retrying()) {
    run_->Again();  // garbled, or under another address: ask once more
    return;
  }
  if (from == asked) {
    Note(asked, line, failure);
  } else {
    Conflict(asked, from >= 0 ? "重複の疑い: アドレス " + std::string(address) + " で応答" : std::string(kGarbled));
  }
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
