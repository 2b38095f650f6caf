// kelvrix-cli's command line: a subcommand, its arguments, and the link and
// output options, which may stand before or after the arguments.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <string_view>
#include <vector>

namespace kelvrix::cli {

// Exit codes, as --help and the README give them.
inline constexpr int kExitOk = 0;          // done; nothing differs, or all that differed is verified
inline constexpr int kExitDiffers = 1;     // settings differ, still differ, or went unanswered
inline constexpr int kExitUsage = 2;       // bad arguments
inline constexpr int kExitLink = 3;        // the device or the unit could not be reached
inline constexpr int kExitFile = 4;        // a file could not be read or written

inline constexpr int kDefaultTcpPort = 9004;
inline constexpr int kBroadcastAddress = 32;  // --address FF
inline constexpr int kDefaultWaitSeconds = 60;
inline constexpr int kMostDialledUnits = 256;
inline constexpr int kDefaultWatchInterval = 300;

struct CliOptions {
  std::string command;                 // "scan", "read", ...
  std::vector<std::string> arguments;  // the subcommand's own: a file, a line, a history kind
  std::string serialDevice;            // --serial
  bool handshake = true;               // --no-handshake: a three-wire cable
  int address = -1;                    // --address NN: RS-485; -1 RS-232C; 32 FF, every unit (switch)
  bool bus = false;                    // --bus: backup every unit of the RS-485 bus
  std::string tcpHost;                 // --tcp HOST[:PORT]
  int tcpPort = kDefaultTcpPort;
  int listenPort = 0;                  // --listen PORT: units dial in
  int units = 1;                       // --units N: how many to wait for
  int waitSeconds = kDefaultWaitSeconds;  // --wait SECONDS: how long
  int timeoutMs = 0;                   // --timeout; 0: the link's default
  std::string output;                  // read -o FILE, report -o FILE.html
  std::string csvOutput;               // report --csv FILE.csv
  bool json = false;
  bool csv = false;  // history as CSV
  bool dryRun = false;  // replace: say what would be done, sending nothing but reads
  bool powerOn = false;  // switch: make it the power-on screen
  // watch: the other --tcp hosts, each host and port; the rounds and where their news goes
  std::vector<std::pair<std::string, int>> moreHosts;
  int intervalSeconds = kDefaultWatchInterval;  // --interval: from one round's start to the next
  std::string stateFile;   // --state FILE: what was seen, kept between rounds and runs
  bool once = false;       // --once: one round
  bool all = false;        // --all: a unit's entries reported on its first round too
  std::string prometheusFile;  // --prometheus FILE: the node exporter's textfile
  bool syslog = false;     // --syslog: each line to the system logger (Linux)
  std::string syslogSocket = "/dev/log";  // --syslog-socket PATH
  bool eventLog = false;   // --eventlog: each line to the Windows Event Log
  std::string dialledFrom;  // --listen: the address the unit worked on dialled from
  bool help = false;
};

struct ParsedArguments {
  std::optional<CliOptions> options;
  std::string error;  // one line, when `options` is empty
};

ParsedArguments ParseArguments(const std::vector<std::string_view>& arguments);

// The help text: the program's, or one subcommand's.
std::string HelpText(std::string_view command);

}  // namespace kelvrix::cli
