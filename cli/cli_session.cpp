#include "cli/cli_session.h"

#include <algorithm>
#include <atomic>

namespace kelvrix::cli {

namespace {

std::atomic<bool> cancelRequested{false};

// While units may still dial in and nothing else waits, the wait is this long.
constexpr Millis kTakingPause{100};

}  // namespace

void RequestCancel() { cancelRequested = true; }
bool CancelRequested() { return cancelRequested; }

void Drive(RunEvents& run, CliLink& link, const std::function<void(std::size_t, const std::string&)>& came) {
  run.Start(link.Now());
  bool cancelled = false;
  while (run.Running() || link.Taking()) {
    if (cancelRequested && !cancelled) {
      cancelled = true;
      link.StopTaking();
      run.Cancel(link.Now());
    }
    const Millis now = link.Now();
    const auto wake = run.NextWake();
    Millis wait = wake ? std::max(Millis(0), *wake - now) : Millis(0);
    if (link.Taking()) wait = wake ? std::min(wait, kTakingPause) : kTakingPause;
    bool arrived = false;
    for (CliLink::Event& event : link.Wait(wait)) {
      const Millis at = link.Now();
      switch (event.kind) {
        case CliLink::Event::Kind::Bytes:
          if (link.SharedLine()) {
            run.LineReceived(event.bytes, at);
          } else {
            run.Received(event.unit, event.bytes, at);
          }
          break;
        case CliLink::Event::Kind::Gone:
          run.Gone(event.unit, at);
          break;
        case CliLink::Event::Kind::Came:
          if (came && !cancelled) came(event.unit, event.bytes);
          arrived = true;
          break;
      }
    }
    if (arrived) run.Start(link.Now());
    run.Tick(link.Now());
    const auto [done, total] = run.Progress();
    link.Progress(done, total);
  }
}

bool AwaitFirstUnit(CliLink& link, std::string& name) {
  while (link.Taking()) {
    for (const CliLink::Event& event : link.Wait(kTakingPause)) {
      if (event.kind != CliLink::Event::Kind::Came) continue;
      name = event.bytes;
      return true;
    }
    if (cancelRequested) return false;
  }
  return false;
}

}  // namespace kelvrix::cli
