// Asking every RS-485 address for the unit's version and then its MAC
// address, one after the other: which units are on the bus, and which
// address two of them may share.
//
// An answer that comes garbled (two units answering at once) or under
// another address than the one asked is asked for once more; garbled again,
// the address is listed as a possible address conflict, and so is an address
// that answers one request twice or gives two MAC addresses. A reply that
// comes late, under an address asked before, is that address's, not the one
// asked now. Silent addresses are not listed; each is asked once.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "tools/reply_gated_run.h"

namespace kelvrix {

inline constexpr int kBusAddressCount = 32;
inline constexpr std::chrono::milliseconds kScanAnswerTimeout{200};
// Two requests an address: its version, then its MAC address.
inline constexpr int kBusScanSteps = 2 * kBusAddressCount;

struct BusUnit {
  int address;          // 0..31
  std::string version;  // "1.00" as reported; empty when no version came
  std::string mac;      // "00-80-45-01-02-03"; empty when none came
  bool conflict;        // possibly two units on the address
  std::string status;   // "応答", "重複の疑い: 応答が乱れています", an error reply's text

  bool operator==(const BusUnit&) const = default;
};

class BusScan : public GatedSequence {
 public:
  void Start(Millis timeout = kScanAnswerTimeout);

  std::optional<ToolRequest> Next(Millis now) override;
  void Replied(std::string_view line, std::string_view address, std::string_view failure) override;

  // The addresses that answered, in address order.
  const std::vector<BusUnit>& Units() const { return units_; }
  // "3 台が応答", "3 台が応答、1 件はアドレスの重複の疑い", "応答なし"
  std::string Summary() const;

 private:
  // The address the request out asks, and whether it asks the MAC address.
  int Asked() const { return (run_->Step() - 1) / 2; }
  bool AskingMac() const { return (run_->Step() - 1) % 2 == 1; }
  BusUnit* Listed(int address);
  BusUnit& Entry(int address);  // listed first if need be
  void Note(int address, std::string_view line, std::string_view failure);
  void Conflict(int address, std::string status);

  std::vector<BusUnit> units_;
  bool scanned_ = false;
};

}  // namespace kelvrix
