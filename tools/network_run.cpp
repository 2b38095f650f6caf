#include "tools/network_run.h"

namespace kelvrix {

NetworkRun::NetworkRun(const std::vector<Unit>& units, bool oneAtATime) {
  std::vector<GatedSequence*> sequences;
  for (const Unit& unit : units) {
    drivers_.push_back(std::make_unique<SequenceDriver>(*unit.sequence, UnitTarget{false, -1}, *unit.model));
    sequences.push_back(unit.sequence);
  }
  set_.Start(sequences, oneAtATime, oneAtATime);
}

// A request that cannot be framed gets no answer: its sequence moves on,
// and is asked again.
std::vector<NetworkRun::Out> NetworkRun::Next(Millis now) {
  std::vector<Out> out;
  for (bool refused = true; refused && set_.Running();) {
    refused = false;
    for (const SequenceSet::Request& request : set_.Next(now)) {
      if (auto bytes = drivers_[request.unit]->Frame(request.request)) {
        out.push_back({request.unit, std::move(*bytes)});
      } else {
        set_.NoReply(request.unit);
        refused = true;
      }
    }
  }
  return out;
}

void NetworkRun::Received(std::size_t unit, std::string_view bytes) {
  if (unit < drivers_.size() && !set_.BrokeOff(unit)) drivers_[unit]->Received(bytes);
}

}  // namespace kelvrix
