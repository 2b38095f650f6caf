// kelvrix-cli's subcommands on the portable core: what each sends, what it
// prints and which exit code it ends with. The link is opened by the
// platform's front end; `show` needs none.
#pragma once

#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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

// A subcommand on the units that dialled in (--listen): backup reads them
// all at once; any other subcommand works on the first.
CommandResult RunOnDialledUnits(const CliOptions& options, DialledUnits& units, const std::tm& now);

// The platform's ways to the units, each giving nothing with `error` saying
// why when it fails.
struct LinkOpeners {
  // The link --serial or --tcp names.
  std::function<std::unique_ptr<CliLink>(const CliOptions& options, std::string& error)> connect;
  // The units that dial in to --listen's port within --wait, up to --units.
  std::function<std::unique_ptr<DialledUnits>(const CliOptions& options, std::string& error)> listen;
};

// The whole program between its arguments and its exit code, printing to
// standard output and one line to standard error when something failed.
int RunProgram(const std::vector<std::string_view>& arguments, const LinkOpeners& open, const std::tm& now);

}  // namespace kelvrix::cli
