// kelvrix-cli's subcommands on the portable core: what each sends, what it
// prints and which exit code it ends with. The link is opened by the
// platform's front end, only for a subcommand that needs one.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_args.h"
#include "cli/cli_session.h"
#include "tools/bus_scan.h"
#include "tools/history_watch.h"
#include "tools/unit_files.h"
#include "tools/unit_job.h"

namespace kelvrix::cli {

struct CommandResult {
  int exitCode = kExitOk;
  std::string out;    // standard output
  std::string error;  // one line for standard error, when something failed
};

// What the subcommands share: whether the link is a serial line, how long a
// request waits for its answer, how the link's unit is named in files and
// rows (its address, or its host and port), and the units a scan of the
// bus found (nothing, or why it could not be scanned).
bool OnSerial(const CliOptions& options);
Millis AnswerTimeout(const CliOptions& options, Millis serialDefault);
UnitName NameOf(const CliOptions& options);
std::optional<CommandResult> ScanBus(const CliOptions& options, CliLink& link, std::vector<BusUnit>& units);

// Whether the subcommand, as given, talks to a unit: `show` and `report
// FILE` never do.
bool NeedsLink(const CliOptions& options);

// `link` is null for a subcommand that needs none. `localTime` gives the
// computer's local time: when a unit's clock is set, and a backup's date.
CommandResult RunCommand(const CliOptions& options, CliLink* link, const LocalClock& localTime);

// The platform's way to the units --serial, --tcp or --listen names;
// nothing, with `error` saying why, when it cannot be opened.
using LinkOpener = std::function<std::unique_ptr<CliLink>(const CliOptions& options, std::string& error)>;

// Where watch sends each line beside standard output: the system logger, the
// Windows Event Log. False when the line could not go.
class WatchLog {
 public:
  virtual ~WatchLog() = default;
  virtual bool Write(const WatchLine& line, const std::string& json) = 0;
};

// What the program takes from the platform it runs on.
struct Platform {
  LinkOpener open;
  LocalClock localTime;
  // watch: --syslog's or --eventlog's log (nothing, with `error`, when it
  // cannot be had), a pause that Ctrl+C ends, and the computer's clock
  // (seconds since 1970).
  std::function<std::unique_ptr<WatchLog>(const CliOptions& options, std::string& error)> openLog;
  std::function<void(Millis)> pause;
  std::function<std::int64_t()> epochSeconds;
};

// The whole program between its arguments and its exit code, printing to
// standard output and one line to standard error when something failed;
// with --json, the output is one JSON document whatever happened.
int RunProgram(const std::vector<std::string_view>& arguments, const Platform& platform);

}  // namespace kelvrix::cli
