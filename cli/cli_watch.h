// kelvrix-cli watch: rounds over the link's units, each reading both
// histories of every unit and reporting what is new since the round before
// (tools/history_watch decides what is): a JSON line each on standard
// output, and to the system's log, the state file and the Prometheus
// textfile after each round. A round never starts before the last ended;
// Ctrl+C ends the watch after the request out, the state kept.
#pragma once

#include "cli/cli_commands.h"

namespace kelvrix::cli {

CommandResult Watch(const CliOptions& options, const Platform& platform);

// How a line goes to a system log: the Windows Event Log's event id, and its
// weight there and in the system logger's severity.
struct LogKind {
  std::string_view kind;
  int eventId;
  enum class Weight { Information, Warning, Error } weight;
};
const LogKind& LogKindOf(std::string_view kind);

}  // namespace kelvrix::cli
