// kelvrix-cli's subcommands on the portable core: what each sends, what it
// prints and which exit code it ends with. The link is opened by the
// platform's front end; `show` needs none.
#pragma once

#include <ctime>
#include <string>

#include "cli/cli_args.h"
#include "cli/cli_session.h"

namespace kelvrix::cli {

struct CommandResult {
  int exitCode = kExitOk;
  std::string out;    // standard output
  std::string error;  // one line for standard error, when something failed
};

// `link` may be null for a subcommand that needs none. `now` is the
// computer's local time, for `clock`.
CommandResult RunCommand(const CliOptions& options, CliLink* link, const std::tm& now);

}  // namespace kelvrix::cli
