// kelvrix-cli's subcommands on the portable core: what each sends, what it
// prints and which exit code it ends with. The link is opened by the
// platform's front end, only for a subcommand that needs one.
#pragma once

#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_args.h"
#include "cli/cli_session.h"
#include "tools/unit_job.h"

namespace kelvrix::cli {

struct CommandResult {
  int exitCode = kExitOk;
  std::string out;    // standard output
  std::string error;  // one line for standard error, when something failed
};

// Whether the subcommand, as given, talks to a unit: `show` and `report
// FILE` never do.
bool NeedsLink(const CliOptions& options);

// `link` is null for a subcommand that needs none. `localTime` gives the
// computer's local time: when a unit's clock is set, and a backup's date.
CommandResult RunCommand(const CliOptions& options, CliLink* link, const LocalClock& localTime);

// The platform's way to the units --serial, --tcp or --listen names;
// nothing, with `error` saying why, when it cannot be opened.
using LinkOpener = std::function<std::unique_ptr<CliLink>(const CliOptions& options, std::string& error)>;

// The whole program between its arguments and its exit code, printing to
// standard output and one line to standard error when something failed;
// with --json, the output is one JSON document whatever happened.
int RunProgram(const std::vector<std::string_view>& arguments, const LinkOpener& open, const LocalClock& localTime);

}  // namespace kelvrix::cli
