#include "tools/network_run.h"

namespace kelvrix {

NetworkRun::NetworkRun(const std::vector<Unit>& units) {
  std::vector<GatedSequence*> sequences;
  for (const Unit& unit : units) {
    drivers_.push_back(std::make_unique<SequenceDriver>(*unit.sequence, UnitTarget{false, -1}, *unit.model));
    sequences.push_back(unit.sequence);
  }
  set_.Start(sequences, false);
}

// Until a request is out (its time-out then bounds the caller's wait) or the
// run has ended: a request that cannot be framed gets no answer, and a unit
// that just ended may let the others' next requests go.
std::vector<NetworkRun::Out> NetworkRun::Next(Millis now) {
  std::vector<Out> out;
  while (set_.Running()) {
    for (const SequenceSet::Request& request : set_.Next(now)) {
      if (auto bytes = drivers_[request.unit]->Frame(request.request)) {
        out.push_back({request.unit, std::move(*bytes)});
      } else {
        set_.NoReply(request.unit);
      }
    }
    if (!out.empty() || set_.Deadline()) break;
  }
  return out;
}

void NetworkRun::Received(std::size_t unit, std::string_view bytes) {
  if (unit < drivers_.size() && !set_.BrokeOff(unit)) drivers_[unit]->Received(bytes);
}

}  // namespace kelvrix
