#include "cli/cli_session.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "link/framing.h"
#include "link/reply_dispatcher.h"
#include "model/digits.h"
#include "model/reply_decoders.h"
#include "tools/sequence_set.h"

namespace kelvrix::cli {

namespace {

// The bytes of a request on the link: on RS-485 with the address the
// request names, or the target's.
std::optional<std::string> FrameRequest(const ToolRequest& request, const CliTarget& target) {
  if (!target.serial) {
    const auto line = FrameSocketCommand(request.line);
    return line ? std::optional<std::string>(*line) : std::nullopt;
  }
  const int address = request.address >= 0 ? request.address : target.address;
  const auto frame = FrameSerialCommand(request.line, address >= 0 ? kRs485 : kRs232c, std::max(address, 0));
  return frame ? std::optional<std::string>(frame->bytes) : std::nullopt;
}

}  // namespace

SequenceDriver::SequenceDriver(GatedSequence& sequence, const CliTarget& target, DeviceSettings& model)
    : sequence_(sequence), target_(target), panel_{model, state_, failures_, transport_} {
  state_.rsControl = target.serial && target.address >= 0 ? kRs485 : kRs232c;
}

std::optional<std::string> SequenceDriver::Frame(const ToolRequest& request) {
  // A scan names each address itself: the bus is RS-485 without a target.
  if (request.address >= 0) state_.rsControl = kRs485;
  return FrameRequest(request, target_);
}

std::optional<std::string> SequenceDriver::Next(Millis now) {
  while (const auto request = sequence_.Next(now)) {
    if (auto bytes = Frame(*request)) return bytes;
    sequence_.NoReply();
  }
  return std::nullopt;
}

void SequenceDriver::Received(std::string_view bytes) {
  for (const std::string& line : lines_.AddRead(bytes)) {
    // On RS-485 a line from another address is another unit's, such as a
    // late answer of the unit asked before: it says nothing of this one.
    if (target_.address >= 0 && SerialReplyAddress(state_, line) != PaddedDecimal(target_.address, 2)) continue;
    failures_.last.clear();
    DispatchSerialReply(panel_, line);
    sequence_.Replied(ReplyValue(SerialReplyBody(state_, line)), SerialReplyAddress(state_, line), failures_.last);
  }
}

bool RunSequence(GatedSequence& sequence, CliLink& link, const CliTarget& target, DeviceSettings& model) {
  SequenceDriver driver(sequence, target, model);
  while (driver.Running()) {
    if (const auto bytes = driver.Next(link.Now())) {
      if (!link.Write(*bytes)) {
        sequence.Cancel();
        return false;
      }
      link.Progress(sequence.StepsDone(), sequence.StepCount());
      continue;
    }
    if (!driver.Running()) break;
    std::string bytes;
    if (!link.Read(std::max(Millis(0), driver.Deadline() - link.Now()), bytes)) {
      sequence.Cancel();
      return false;
    }
    driver.Received(bytes);
  }
  return true;
}

void RunSequences(std::vector<UnitSequence>& runs, DialledUnits& units) {
  const CliTarget network{false, -1};
  std::vector<std::unique_ptr<SequenceDriver>> drivers;
  std::vector<GatedSequence*> sequences;
  for (UnitSequence& run : runs) {
    drivers.push_back(std::make_unique<SequenceDriver>(run.sequence, network, run.model));
    sequences.push_back(&run.sequence);
  }
  SequenceSet set;
  set.Start(sequences, false);
  while (set.Running()) {
    // Whatever may go out now goes; then the wait lasts until the first
    // request still out may time out.
    for (const SequenceSet::Request& out : set.Next(units.Now())) {
      const auto bytes = drivers[out.unit]->Frame(out.request);
      if (!bytes) {
        set.NoReply(out.unit);
      } else if (!units.Write(out.unit, *bytes)) {
        set.Broke(out.unit);
      }
    }
    const auto deadline = set.Deadline();
    if (!deadline) continue;  // a request just refused or a unit just ended: ask again
    const auto [done, total] = set.Progress();
    units.Progress(done, total);
    for (const DialledUnits::Arrival& arrival : units.Read(std::max(Millis(0), *deadline - units.Now()))) {
      if (arrival.unit >= runs.size() || set.BrokeOff(arrival.unit)) continue;
      if (arrival.broken) {
        set.Broke(arrival.unit);
      } else {
        drivers[arrival.unit]->Received(arrival.bytes);
      }
    }
  }
  for (std::size_t k = 0; k < runs.size(); ++k) runs[k].broke = set.BrokeOff(k);
}

bool FirstDialledUnit::Read(Millis wait, std::string& bytes) {
  bytes.clear();
  for (const DialledUnits::Arrival& arrival : units_.Read(wait)) {
    if (arrival.unit != 0) continue;
    if (arrival.broken) return false;
    bytes += arrival.bytes;
  }
  return true;
}

}  // namespace kelvrix::cli
