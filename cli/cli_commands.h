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

// The platform's way to the unit: the link the options name, or nothing
// with `error` saying why.
using LinkOpener = std::function<std::unique_ptr<CliLink>(const CliOptions& options, std::string& error)>;

// The whole program between its arguments and its exit code, printing to
// standard output and one line to standard error when something failed.
int RunProgram(const std::vector<std::string_view>& arguments, const LinkOpener& open, const std::tm& now);

}  // namespace kelvrix::cli
