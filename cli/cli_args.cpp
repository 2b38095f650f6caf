#include "cli/cli_args.h"

#include <algorithm>
#include <charconv>

namespace kelvrix::cli {

namespace {

struct Subcommand {
  std::string_view name;
  int arguments;  // how many of its own it takes; -1: a file, or none and the link
  bool needsLink;
  std::string_view usage;
  std::string_view summary;
};

constexpr Subcommand kSubcommands[] = {
    {"scan", 0, true, "scan", "the RS-485 bus, addresses 00-31: address, version, MAC address, possible conflicts"},
    {"read", 0, true, "read [-o FILE.dat]", "the unit's settings into a settings data file (standard output without -o)"},
    {"diff", 1, true, "diff FILE.dat", "the settings that differ between the file and the unit; exit 1 when some do"},
    {"apply", 1, true, "apply FILE.dat",
     "writes only what differs, then reads it back; exit 0 when nothing differed or all is verified"},
    {"write", 1, true, "write FILE.dat", "the write-all run's 152 steps, each on the answer to the one before"},
    {"switch", 1, true, "switch ch05|4A|6B|...|16|auto [--power-on]",
     "what the monitor shows, now (or after power-on); --address FF: every unit of the bus, which none answers"},
    {"send", 1, true, "send LINE", "one command line (without CR LF); prints the unit's reply; exit 1 on an error answer or none"},
    {"clock", 0, true, "clock", "sets the unit's date and time from the computer's clock"},
    {"history", 1, true, "history alarm|video-loss [--csv]", "the 100 entries of a history, as a table, CSV or JSON"},
    {"backup", 1, true, "backup DIR [--bus]",
     "every unit into DIR: one .dat each, read whole, and inventory.csv; --bus: each unit of the RS-485 bus that "
     "answers; --listen: each that dials in, as it comes"},
    {"replace", 1, true, "replace DIR [--dry-run]",
     "the unit now at the link's place becomes the one its newest backup in DIR was made of: network values, "
     "settings, video loss and screen switch, clock, each verified, then a new backup; --dry-run: only what it would do"},
    {"watch", 0, true, "watch [--interval SECONDS] [--state FILE] [--once] [--all] [--prometheus FILE] [--syslog | --eventlog]",
     "alarm and video-loss entries new in every unit's histories, a JSON line each; units that stop or start answering"},
    {"show", 1, false, "show FILE.dat", "a settings data file, named and shown as the panel shows it"},
    {"report", -1, false, "report [FILE.dat] [-o REPORT.html] [--csv REPORT.csv]",
     "the settings report of a file, or of the unit with its histories: a printable page, and CSV"},
};

const Subcommand* FindSubcommand(std::string_view name) {
  const auto found = std::find_if(std::begin(kSubcommands), std::end(kSubcommands),
                                  [name](const Subcommand& s) { return s.name == name; });
  return found == std::end(kSubcommands) ? nullptr : found;
}

bool ParseNumber(std::string_view text, int low, int high, int& value) {
  int parsed = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (error != std::errc() || end != text.data() + text.size() || parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

ParsedArguments Fail(std::string error) { return {std::nullopt, std::move(error)}; }

}  // namespace

ParsedArguments ParseArguments(const std::vector<std::string_view>& arguments) {
  CliOptions options;
  bool unitsGiven = false;  // --units or --wait
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    // The option's value: the next argument, which must exist.
    auto value = [&](std::string_view& out) {
      if (i + 1 >= arguments.size()) return false;
      out = arguments[++i];
      return true;
    };
    std::string_view text;
    if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else if (argument == "--json") {
      options.json = true;
    } else if (argument == "--bus") {
      options.bus = true;
    } else if (argument == "--dry-run") {
      options.dryRun = true;
    } else if (argument == "--power-on") {
      options.powerOn = true;
    } else if (argument == "--csv" && options.command == "report") {
      if (!value(text) || text.empty()) return Fail("--csv needs a file name");
      options.csvOutput = text;
    } else if (argument == "--csv") {
      options.csv = true;
    } else if (argument == "--no-handshake") {
      options.handshake = false;
    } else if (argument == "--serial") {
      if (!value(text) || text.empty()) return Fail("--serial needs a device, such as /dev/ttyUSB0 or COM3");
      options.serialDevice = text;
    } else if (argument == "--address") {
      if (value(text) && text == "FF") {
        options.address = kBroadcastAddress;
      } else if (text.size() != 2 || !ParseNumber(text, 0, 31, options.address)) {
        return Fail("--address needs a slave address 00..31");
      }
    } else if (argument == "--tcp") {
      if (!value(text) || text.empty()) return Fail("--tcp needs HOST or HOST:PORT");
      if (!options.tcpHost.empty()) options.moreHosts.emplace_back(options.tcpHost, options.tcpPort);
      const std::size_t colon = text.rfind(':');
      options.tcpHost = text.substr(0, colon);
      options.tcpPort = kDefaultTcpPort;
      if (colon != std::string_view::npos && !ParseNumber(text.substr(colon + 1), 1, 65535, options.tcpPort)) {
        return Fail("--tcp: the port must be 1..65535");
      }
      if (options.tcpHost.empty()) return Fail("--tcp needs HOST or HOST:PORT");
    } else if (argument == "--interval") {
      if (!value(text) || !ParseNumber(text, 0, 86400, options.intervalSeconds)) return Fail("--interval needs seconds, 0..86400");
    } else if (argument == "--state" || argument == "--prometheus" || argument == "--syslog-socket") {
      if (!value(text) || text.empty()) return Fail(std::string(argument) + " needs a file name");
      (argument == "--state" ? options.stateFile : argument == "--prometheus" ? options.prometheusFile : options.syslogSocket) = text;
    } else if (argument == "--once" || argument == "--all" || argument == "--syslog" || argument == "--eventlog") {
      (argument == "--once" ? options.once : argument == "--all" ? options.all : argument == "--syslog" ? options.syslog : options.eventLog) = true;
    } else if (argument == "--listen") {
      if (!value(text) || !ParseNumber(text, 1, 65535, options.listenPort)) return Fail("--listen needs a port, 1..65535");
    } else if (argument == "--units") {
      if (!value(text) || !ParseNumber(text, 1, kMostDialledUnits, options.units)) {
        return Fail("--units needs a count, 1.." + std::to_string(kMostDialledUnits));
      }
      unitsGiven = true;
    } else if (argument == "--wait") {
      if (!value(text) || !ParseNumber(text, 1, 3600, options.waitSeconds)) return Fail("--wait needs seconds, 1..3600");
      unitsGiven = true;
    } else if (argument == "--timeout") {
      if (!value(text) || !ParseNumber(text, 1, 600000, options.timeoutMs)) {
        return Fail("--timeout needs milliseconds, 1..600000");
      }
    } else if (argument == "-o" || argument == "--output") {
      if (!value(text) || text.empty()) return Fail("-o needs a file name");
      options.output = text;
    } else if (argument.starts_with("-") && argument.size() > 1) {
      return Fail("unknown option " + std::string(argument));
    } else if (options.command.empty()) {
      options.command = argument;
    } else {
      options.arguments.emplace_back(argument);
    }
  }
  if (options.help) return {options, {}};
  if (options.command.empty()) return Fail("no subcommand: try kelvrix-cli --help");
  const Subcommand* subcommand = FindSubcommand(options.command);
  if (!subcommand) return Fail("unknown subcommand " + options.command + ": try kelvrix-cli --help");
  const int given = static_cast<int>(options.arguments.size());
  if (subcommand->arguments >= 0 ? given != subcommand->arguments : given > 1) {
    return Fail(std::string(subcommand->name) + ": usage: kelvrix-cli " + std::string(subcommand->usage));
  }
  if (!options.output.empty() && options.command != "read" && options.command != "report") {
    return Fail("-o belongs to read and report");
  }
  if (options.json && options.command == "report") return Fail("report gives a page: --csv gives its settings as CSV");
  if (options.json && options.command == "read") return Fail("read gives a settings data file: show FILE.dat --json names it");
  if (options.csv && options.command != "history") return Fail("--csv belongs to history");
  if (options.dryRun && options.command != "replace") return Fail("--dry-run belongs to replace");
  if (options.powerOn && options.command != "switch") return Fail("--power-on belongs to switch");
  if (options.address == kBroadcastAddress && options.command != "switch") {
    return Fail("--address FF (every unit, none answering) belongs to switch");
  }
  const bool watching = options.command == "watch";
  if (options.bus && ((options.command != "backup" && !watching) || options.serialDevice.empty() || options.address >= 0)) {
    return Fail("--bus belongs to backup and watch on --serial, without --address");
  }
  const bool watchOptions = !options.moreHosts.empty() || options.intervalSeconds != kDefaultWatchInterval ||
                            !options.stateFile.empty() || options.once || options.all || !options.prometheusFile.empty() ||
                            options.syslog || options.eventLog || options.syslogSocket != "/dev/log";
  if (watchOptions && !watching) {
    return Fail(options.moreHosts.empty() ? "--interval, --state, --once, --all, --prometheus, --syslog and --eventlog belong to watch"
                                          : "give one link: --serial DEVICE, --tcp HOST[:PORT] or --listen PORT");
  }
  if (options.syslog && options.eventLog) return Fail("--syslog or --eventlog, not both");
  if (options.json && watching) return Fail("watch writes a JSON line a report: no --json");
  const bool listening = options.listenPort > 0;
  if (subcommand->needsLink || (options.command == "report" && given == 0)) {
    const bool serial = !options.serialDevice.empty();
    const int links = int{serial} + int{!options.tcpHost.empty()} + int{listening};
    if (links != 1) return Fail("give one link: --serial DEVICE, --tcp HOST[:PORT] or --listen PORT");
    if (!serial && options.address >= 0) return Fail("--address is for RS-485 on --serial");
  }
  if (unitsGiven && !listening) return Fail("--units and --wait belong to --listen");
  if (options.units > 1 && options.command != "backup" && options.command != "apply" && options.command != "clock" && !watching) {
    return Fail("only backup, apply, clock and watch work on more than one unit");
  }
  if (options.command == "scan" && options.address >= 0) return Fail("scan asks every address: no --address");
  if (options.command == "scan" && options.serialDevice.empty()) return Fail("scan needs the RS-485 bus: --serial");
  return {options, {}};
}

std::string HelpText(std::string_view command) {
  if (const Subcommand* subcommand = FindSubcommand(command)) {
    return "usage: kelvrix-cli " + std::string(subcommand->usage) + " [link options] [--json]\n  " +
           std::string(subcommand->summary) + "\n";
  }
  std::string text =
      "usage: kelvrix-cli SUBCOMMAND [arguments] [options]\n"
      "\n"
      "Subcommands:\n";
  std::size_t width = 0;
  for (const Subcommand& s : kSubcommands) width = std::max(width, s.usage.size());
  for (const Subcommand& s : kSubcommands) {
    std::string usage(s.usage);
    usage.resize(width, ' ');
    text += "  " + usage + "  " + std::string(s.summary) + "\n";
  }
  text +=
      "\n"
      "Link:\n"
      "  --serial DEVICE        /dev/ttyUSB0 (or COM3 on Windows), 9600 baud 8E1, RTS/CTS, DTR and XON/XOFF\n"
      "  --no-handshake         no RTS/CTS: a three-wire cable\n"
      "  --address NN           the unit's RS-485 address 00..31 (without it: RS-232C); FF: every unit (switch)\n"
      "  --bus                  backup, watch: every unit of the RS-485 bus that answers a scan\n"
      "  --dry-run              replace: what it would do, sending nothing but reads\n"
      "  --tcp HOST[:PORT]      the unit over TCP/IP (port 9004 by default); watch: give it once per unit\n"
      "  --listen PORT          units that dial in to this port (the server role)\n"
      "  --units N              --listen: how many units to wait for (1; more for backup, apply, clock, watch)\n"
      "  --wait SECONDS         --listen: how long to wait for them (60)\n"
      "  --timeout MS           how long a request waits for its answer (300 serial, 4000 TCP/IP)\n"
      "\n"
      "Output:\n"
      "  --json                 one JSON document on standard output, with \"error\" and \"exit\" on failure\n"
      "  --csv                  history as comma-separated values\n"
      "\n"
      "Watch (a JSON line a report on standard output):\n"
      "  --interval SECONDS     from one round's start to the next (300; 0: back to back); never before the last ended\n"
      "  --state FILE           what was seen, so that a restart reports nothing twice\n"
      "  --once                 one round, then the exit code: 0 every unit answered, 1 some did not\n"
      "  --all                  a unit's entries reported on its first round too (else counted as known)\n"
      "  --prometheus FILE      the node exporter's textfile, rewritten each round\n"
      "  --syslog               each line to the system logger, facility local0 (--syslog-socket PATH: /dev/log)\n"
      "  --eventlog             each line to the Windows Event Log, source Kelvrix\n"
      "\n"
      "Nothing is called done that was not read or verified: an error answer is no\n"
      "answer; three unanswered requests in a row end a unit's job; a settings file\n"
      "is checked whole before any of it is sent. Backups are named\n"
      "ADDRESS_MAC_YYYYMMDD.dat, as the panel's unit list names them.\n"
      "\n"
      "Exit codes:\n"
      "  0  done: nothing differs, or all that differed is verified\n"
      "  1  settings differ, or went unread or unverified\n"
      "  2  bad arguments\n"
      "  3  the device or the unit could not be reached\n"
      "  4  a file could not be read or written\n";
  return text;
}

}  // namespace kelvrix::cli
