#include "cli/cli_session.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "link/framing.h"
#include "link/reply_dispatcher.h"
#include "model/reply_decoders.h"

namespace kelvrix::cli {

namespace {

// The bytes of a request on the link: on RS-485 with the address the
// request names, or the target's.
std::optional<std::string> Frame(const ToolRequest& request, const CliTarget& target) {
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

std::optional<std::string> SequenceDriver::Next(Millis now) {
  while (const auto request = sequence_.Next(now)) {
    // A scan names each address itself: the bus is RS-485 without a target.
    if (request->address >= 0) state_.rsControl = kRs485;
    if (auto bytes = Frame(*request, target_)) return bytes;
    sequence_.NoReply();
  }
  return std::nullopt;
}

void SequenceDriver::Received(std::string_view bytes) {
  for (const std::string& line : lines_.AddRead(bytes)) {
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
  for (UnitSequence& run : runs) drivers.push_back(std::make_unique<SequenceDriver>(run.sequence, network, run.model));
  auto going = [&](std::size_t k) { return !runs[k].broke && drivers[k]->Running(); };
  auto broke = [&](std::size_t k) {
    runs[k].broke = true;
    runs[k].sequence.Cancel();
  };
  for (;;) {
    // Whatever may go out now goes; then the wait lasts until the first
    // request still out may time out.
    std::optional<Millis> deadline;
    int done = 0, total = 0;
    for (std::size_t k = 0; k < runs.size(); ++k) {
      while (going(k)) {
        const auto bytes = drivers[k]->Next(units.Now());
        if (!bytes) break;
        if (!units.Write(k, *bytes)) broke(k);
      }
      if (going(k)) deadline = std::min(deadline.value_or(drivers[k]->Deadline()), drivers[k]->Deadline());
      done += runs[k].sequence.StepsDone();
      total += runs[k].sequence.StepCount();
    }
    if (!deadline) return;
    units.Progress(done, total);
    for (const DialledUnits::Arrival& arrival : units.Read(std::max(Millis(0), *deadline - units.Now()))) {
      if (arrival.unit >= runs.size() || !going(arrival.unit)) continue;
      if (arrival.broken) {
        broke(arrival.unit);
      } else {
        drivers[arrival.unit]->Received(arrival.bytes);
      }
    }
  }
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
