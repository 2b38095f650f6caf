// kelvrix-cli's portable part: its arguments, its output, and its
// subcommands against simulated units on a fake clock.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "cli/cli_args.h"
#include "cli/cli_commands.h"
#include "cli/cli_output.h"
#include "model/dialog_texts.h"
#include "model/settings_data_file.h"
#include "fakes.h"
#include "sim/simulated_bus.h"
#include "sim/simulated_links.h"

namespace kelvrix::cli {
namespace {

// --- Arguments ---------------------------------------------------------------------

struct ArgumentCase {
  std::vector<std::string_view> arguments;
  std::string error;  // empty: parsed
};

TEST(CliArguments, EveryErrorIsOneLineAndGoodLinesParse) {
  const ArgumentCase cases[] = {
      {{"read", "--serial", "/dev/ttyUSB0"}, ""},
      {{"--serial", "COM3", "diff", "a.dat", "--address", "05", "--json"}, ""},
      {{"diff", "a.dat", "--tcp", "10.0.0.7:10001", "--timeout", "800"}, ""},
      {{"show", "a.dat"}, ""},
      {{"--help"}, ""},
      {{"scan", "--help"}, ""},
      {{}, "no subcommand: try kelvrix-cli --help"},
      {{"bogus"}, "unknown subcommand bogus: try kelvrix-cli --help"},
      {{"read", "--bogus"}, "unknown option --bogus"},
      {{"diff", "--serial", "x"}, "diff: usage: kelvrix-cli diff FILE.dat"},
      {{"show", "a.dat", "b.dat"}, "show: usage: kelvrix-cli show FILE.dat"},
      {{"read"}, "give one link: --serial DEVICE, --tcp HOST[:PORT] or --listen PORT"},
      {{"read", "--serial", "x", "--tcp", "y"}, "give one link: --serial DEVICE, --tcp HOST[:PORT] or --listen PORT"},
      {{"read", "--serial"}, "--serial needs a device, such as /dev/ttyUSB0 or COM3"},
      {{"read", "--serial", "x", "--address", "32"}, "--address needs a slave address 00..31"},
      {{"read", "--serial", "x", "--address", "5"}, "--address needs a slave address 00..31"},
      {{"read", "--tcp", "host:0"}, "--tcp: the port must be 1..65535"},
      {{"read", "--tcp", "host:99999"}, "--tcp: the port must be 1..65535"},
      {{"read", "--tcp", ":9004"}, "--tcp needs HOST or HOST:PORT"},
      {{"read", "--tcp", "host", "--address", "05"}, "--address is for RS-485 on --serial"},
      {{"read", "--serial", "x", "--timeout", "0"}, "--timeout needs milliseconds, 1..600000"},
      {{"read", "--serial", "x", "--timeout", "12ms"}, "--timeout needs milliseconds, 1..600000"},
      {{"diff", "a.dat", "--serial", "x", "-o", "b.dat"}, "-o belongs to read and report"},
      {{"report", "a.dat", "-o", "r.html", "--csv", "r.csv"}, ""},
      {{"report"}, "give one link: --serial DEVICE, --tcp HOST[:PORT] or --listen PORT"},
      {{"report", "a.dat", "--csv"}, "--csv needs a file name"},
      {{"scan", "--tcp", "host"}, "scan needs the RS-485 bus: --serial"},
      {{"scan", "--serial", "x", "--address", "05"}, "scan asks every address: no --address"},
      {{"read", "--serial", "x", "--csv"}, "--csv belongs to history"},
      {{"read", "--serial", "x", "--json"}, "read gives a settings data file: show FILE.dat --json names it"},
      {{"backup", "d", "--tcp", "h", "--bus"}, "--bus belongs to backup and watch on --serial, without --address"},
      {{"backup", "d", "--listen", "9004", "--units", "96", "--wait", "30"}, ""},
      {{"read", "--listen", "9004", "--tcp", "h"}, "give one link: --serial DEVICE, --tcp HOST[:PORT] or --listen PORT"},
      {{"read", "--listen", "0"}, "--listen needs a port, 1..65535"},
      {{"read", "--listen", "9004", "--address", "05"}, "--address is for RS-485 on --serial"},
      {{"backup", "d", "--listen", "9004", "--units", "0"}, "--units needs a count, 1..256"},
      {{"backup", "d", "--listen", "9004", "--wait", "1h"}, "--wait needs seconds, 1..3600"},
      {{"read", "--tcp", "h", "--units", "2"}, "--units and --wait belong to --listen"},
      {{"read", "--listen", "9004", "--units", "2"}, "only backup, apply, clock and watch work on more than one unit"},
      {{"scan", "--listen", "9004"}, "scan needs the RS-485 bus: --serial"},
      {{"switch", "6B", "--serial", "x", "--address", "FF", "--power-on"}, ""},
      {{"read", "--serial", "x", "--address", "FF"}, "--address FF (every unit, none answering) belongs to switch"},
      {{"read", "--serial", "x", "--power-on"}, "--power-on belongs to switch"},
      {{"switch", "6B", "--tcp", "h", "--address", "FF"}, "--address is for RS-485 on --serial"},
      {{"watch", "--tcp", "a", "--tcp", "b:9005", "--once", "--state", "s", "--prometheus", "p"}, ""},
      {{"watch", "--serial", "x", "--bus", "--interval", "60", "--syslog"}, ""},
      {{"watch", "--listen", "9004", "--units", "96", "--all", "--eventlog"}, ""},
      {{"read", "--tcp", "a", "--tcp", "b"}, "give one link: --serial DEVICE, --tcp HOST[:PORT] or --listen PORT"},
      {{"read", "--serial", "x", "--once"}, "--interval, --state, --once, --all, --prometheus, --syslog and --eventlog belong to watch"},
      {{"watch", "--serial", "x", "--interval", "86401"}, "--interval needs seconds, 0..86400"},
      {{"watch", "--serial", "x", "--syslog", "--eventlog"}, "--syslog or --eventlog, not both"},
      {{"watch", "--serial", "x", "--json"}, "watch writes a JSON line a report: no --json"},
  };
  for (const ArgumentCase& c : cases) {
    const ParsedArguments parsed = ParseArguments(c.arguments);
    EXPECT_EQ(parsed.error, c.error) << (c.arguments.empty() ? "(none)" : c.arguments[0]);
    EXPECT_EQ(parsed.options.has_value(), c.error.empty());
  }
  const CliOptions options = *ParseArguments({"--serial", "COM3", "diff", "a.dat", "--address", "05"}).options;
  EXPECT_EQ(options.command, "diff");
  EXPECT_EQ(options.arguments, std::vector<std::string>{"a.dat"});
  EXPECT_EQ(options.address, 5);
  const CliOptions tcp = *ParseArguments({"read", "--tcp", "unit-7"}).options;
  EXPECT_EQ(tcp.tcpHost, "unit-7");
  EXPECT_EQ(tcp.tcpPort, kDefaultTcpPort);
  EXPECT_NE(HelpText("").find("Exit codes:"), std::string::npos);
  EXPECT_EQ(HelpText("show").rfind("usage: kelvrix-cli show FILE.dat", 0), 0u);
}

// --- Output ------------------------------------------------------------------------

TEST(CliOutput, JsonStringsAndTablesOfWideText) {
  EXPECT_EQ(JsonString("a\"b\\c\r\n\x01\x7F"), "\"a\\\"b\\\\c\\u000d\\u000a\\u0001\\u007f\"");
  EXPECT_EQ(JsonString("タイトル ch.01"), "\"タイトル ch.01\"");
  EXPECT_EQ(TextTable({{"項目", "x"}, {"ab", "y"}}), "項目  x\nab    y\n") << "a kanji is two columns";
  EXPECT_EQ(TextTable({{"\"ｶﾒﾗ\"", "z"}, {"abcdef", "w"}}), "\"ｶﾒﾗ\"   z\nabcdef  w\n") << "half-width kana one";
  const std::string wide(60, 'x');
  EXPECT_EQ(TextTable({{"a", wide, "1"}, {"bb", "y", "2"}}), "a   " + wide + "  1\nbb  y  2\n")
      << "a cell wider than a column widens its own row only";
}

// --- Subcommands against simulated units ---------------------------------------------

using sim::SimulatedLine;

CliOptions Options(std::vector<std::string_view> arguments) {
  arguments.insert(arguments.end(), {"--serial", "sim"});
  return *ParseArguments(arguments).options;
}

// 2026-12-09 21:05:30, local time.
std::tm Now() {
  std::tm now{};
  now.tm_year = 126;
  now.tm_mon = 11;
  now.tm_mday = 9;
  now.tm_hour = 21;
  now.tm_min = 5;
  now.tm_sec = 30;
  return now;
}

CommandResult RunCommand(const CliOptions& options, CliLink* link) { return cli::RunCommand(options, link, Now); }

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string TempFile(const std::string& name, const std::string& text) {
  const std::string path = ::testing::TempDir() + name;
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

TEST(CliCommands, ReadWritesWhatTheUnitHoldsAndDiffNamesWhatDiffers) {
  sim::SimulatedBus bus(false, {});
  sim::SimulatedUnit& unit = bus.units().begin()->second;
  unit.settings.videoHue[2] = 77;
  SimulatedLine link(bus);
  const CommandResult read = RunCommand(Options({"read"}), &link);
  EXPECT_EQ(read.exitCode, kExitOk);
  EXPECT_EQ(read.out, WriteSettingsData(unit.settings)) << "the file a fresh panel saves after read all";
  EXPECT_EQ(link.frames, 160);
  EXPECT_LT(link.Now(), Millis(160 * 6)) << "each request on its answer, no pacing";

  unit.settings.videoHue[2] = 12;
  const std::string path = TempFile("cli-read.dat", read.out);
  const CommandResult diff = RunCommand(Options({"diff", path}), &link);
  EXPECT_EQ(diff.exitCode, kExitDiffers);
  EXPECT_NE(diff.out.find("ビデオ調整 ch.03 Hue  077       012       相違"), std::string::npos) << diff.out;

  const CommandResult write = RunCommand(Options({"write", path}), &link);
  EXPECT_EQ(write.exitCode, kExitOk);
  EXPECT_EQ(write.out, "152 / 152 項目を書き込みました\n");
  EXPECT_EQ(unit.settings.videoHue[2], 77);
  unit.settings.videoHue[2] = 12;

  link.frames = 0;
  const CommandResult apply = RunCommand(Options({"apply", path}), &link);
  EXPECT_EQ(apply.exitCode, kExitOk) << apply.out;
  EXPECT_NE(apply.out.find("1 件を変更、確認済み"), std::string::npos) << apply.out;
  EXPECT_EQ(link.frames, 160 + 3) << "read all, then the MAC address, the hue and its read-back";
  EXPECT_EQ(unit.settings.videoHue[2], 77);
  EXPECT_EQ(RunCommand(Options({"apply", path}), &link).out, "変更なし\n") << "the second apply changes nothing";
}

// A unit that answers, but not what was asked (its menu open, an error to
// every request), or that falls silent midway: no subcommand says done, and
// no file holds the initial values in place of what it did not give.
TEST(CliCommands, WhatTheUnitDidNotGiveIsNeverPassedOffAsRead) {
  struct Case {
    const char* mode;
    int silentAfter;
    int readExit;
    std::string readError;
  };
  const Case cases[] = {
      {"reply MENU", 1 << 30, kExitDiffers, "読めない設定 160 件: タイトル ch.01、タイトル ch.02、タイトル ch.03…"},
      {"reply E3", 1 << 30, kExitDiffers, "読めない設定 160 件: タイトル ch.01、タイトル ch.02、タイトル ch.03…"},
      {"reply GN", 1 << 30, kExitDiffers, "読めない設定 160 件: タイトル ch.01、タイトル ch.02、タイトル ch.03…"},
      {"normal", 100, kExitDiffers,
       "応答なし: 読めない設定 60 件: ビデオ調整 ch.05 Saturation V、ビデオ調整 ch.06 Saturation V、ビデオ調整 ch.07 Saturation V…"},
      {"silent", 0, kExitLink, "no answer from the unit"},
  };
  for (const Case& c : cases) {
    sim::SimulatedBus bus(false, {});
    SimulatedLine link(bus);
    link.mode = sim::SimMode::Parse(c.mode);
    const auto run = [&](std::vector<std::string_view> arguments) {
      link.silentAfter = c.silentAfter;
      link.frames = 0;
      return RunCommand(Options(arguments), &link);
    };
    const std::string folder = ::testing::TempDir() + "unread-" + std::to_string(&c - cases);
    const CommandResult read = run({"read", "-o", folder + ".dat"});
    EXPECT_EQ(read.exitCode, c.readExit) << c.mode;
    EXPECT_EQ(read.error, c.readError) << c.mode;
    EXPECT_FALSE(std::ifstream(folder + ".dat")) << c.mode << ": no file";
    EXPECT_EQ(link.frames, std::min(160, c.silentAfter + 3 * 2)) << "three silent requests end it";
    const CommandResult backup = run({"backup", folder});
    EXPECT_NE(backup.exitCode, kExitOk) << c.mode;
    EXPECT_EQ(backup.out.find(".dat"), std::string::npos) << backup.out;
    if (c.silentAfter > 0 && c.silentAfter < 1000) continue;  // what follows each take their own count of frames
    EXPECT_NE(run({"history", "alarm"}).exitCode, kExitOk) << c.mode;
    EXPECT_NE(run({"send", "RVN"}).exitCode, kExitOk) << c.mode;
  }
}

// A settings file is whole before a line of it goes out: short, long, cut,
// out of range, a folder or missing, each refused with its line.
TEST(CliCommands, AFileThatIsNotWholeIsRefusedBeforeAnythingIsSent) {
  const std::string whole = WriteSettingsData(testing::Defaults());
  const struct {
    std::string text;
    std::string line;
  } cases[] = {
      {"", "1"},
      {whole.substr(0, whole.rfind('\n', whole.size() - 2) + 1), "282"},
      {whole + "0\r\n", "283"},
      {"-" + whole, "1"},
      {whole.substr(0, whole.find('\n') + 1) + "2x\r\n" + whole.substr(whole.find('\n', whole.find('\n') + 1) + 1), "2"},
  };
  sim::SimulatedBus bus(false, {});
  SimulatedLine link(bus);
  for (const auto& c : cases) {
    const std::string path = TempFile("cut.dat", c.text);
    for (const char* command : {"apply", "write", "diff"}) {
      const CommandResult result = RunCommand(Options({command, path}), &link);
      EXPECT_EQ(result.exitCode, kExitFile);
      EXPECT_EQ(result.error, "設定ファイルとして読めません: " + path + "（" + c.line + " 行目）");
    }
    EXPECT_EQ(RunCommand(*ParseArguments({"show", path}).options, nullptr).exitCode, kExitFile);
  }
  EXPECT_EQ(link.frames, 0) << "nothing sent";
  for (const std::string& path : {::testing::TempDir(), ::testing::TempDir() + "no-such.dat"}) {
    const CommandResult show = RunCommand(*ParseArguments({"show", path}).options, nullptr);
    EXPECT_EQ(show.exitCode, kExitFile);
    EXPECT_EQ(show.error, "ファイルを読めません: " + path);
  }
}

TEST(CliCommands, HistoryReadsItsHundredEntriesAndListsThoseHeld) {
  sim::SimulatedBus bus(false, {});
  sim::SimulatedUnit& unit = bus.units().begin()->second;
  unit.settings.alarmHistory[0] = {4, 12, 3, 7, 9, 5, 0};
  unit.settings.alarmHistory[1] = {16, 26, 12, 9, 23, 59, 58};
  SimulatedLine link(bus);
  const CommandResult csv = RunCommand(Options({"history", "alarm", "--csv"}), &link);
  EXPECT_EQ(csv.exitCode, kExitOk);
  EXPECT_EQ(csv.out, "number,channel,time\n1,4,2012-03-07 09:05:00\n2,16,2026-12-09 23:59:58\n");
  EXPECT_EQ(link.frames, kHistoryEntryCount);
  EXPECT_EQ(RunCommand(Options({"history", "video-loss", "--json"}), &link).out, "{\"entries\": []}\n");
  EXPECT_EQ(RunCommand(Options({"history", "door"}), &link).exitCode, kExitUsage);
  link.mode = sim::SimMode::Parse("reply E3");
  const CommandResult refused = RunCommand(Options({"history", "alarm"}), &link);
  EXPECT_EQ(refused.exitCode, kExitDiffers);
  EXPECT_EQ(refused.error, "0 entries unanswered, 100 refused");
}

TEST(CliCommands, ClockSetsTheUnitsDateAndTime) {
  sim::SimulatedBus bus(false, {});
  SimulatedLine link(bus);
  const CommandResult clock = RunCommand(Options({"clock"}), &link);
  EXPECT_EQ(clock.exitCode, kExitOk) << clock.error;
  EXPECT_EQ(clock.out, "2026-12-09 21:05:30 を設定しました\n");
  EXPECT_EQ(link.frames, 6);
  link.mode.reply = "E3";
  const CommandResult refused = RunCommand(Options({"clock"}), &link);
  EXPECT_EQ(refused.exitCode, kExitDiffers);
  EXPECT_EQ(refused.error.rfind("DSY26: E3 (Command Error), DSM12: E3 (Command Error)", 0), 0u) << refused.error;
}

// The bus's units, each in its own file named by its address and MAC
// address; the inventory quoted, its text from a unit made UTF-8.
TEST(CliCommands, BackupReadsEveryUnitOfTheBusIntoAFolderWithAnInventory) {
  sim::SimulatedBus bus(true, {0, 5, 5, 7});
  for (auto& [address, unit] : bus.units()) CopyText(unit.settings.macAddress, "02-00-00-00-01-0" + std::to_string(address));
  bus.units().find(7)->second.version = "\xB6\xD2,=";  // "ｶﾒ,=" in code page 932
  SimulatedLine link(bus);
  link.mode.rs485 = true;
  const std::string folder = ::testing::TempDir() + "bus";
  const CommandResult backup = RunCommand(Options({"backup", folder, "--bus"}), &link);
  EXPECT_EQ(backup.exitCode, kExitDiffers) << "05 holds two units";
  EXPECT_EQ(backup.out, "unit,mac,version,time,file,result\n"
                        "00,02-00-00-00-01-00,1.00,2026-12-09T21:05:30,00_02-00-00-00-01-00_20261209.dat,ok\n"
                        "05,,,2026-12-09T21:05:30,,重複の疑い: 応答が乱れています\n"
                        "07,02-00-00-00-01-07,\"ｶﾒ,=\",2026-12-09T21:05:30,07_02-00-00-00-01-07_20261209.dat,ok\n"
                        ",,,,," + std::string(kNotReported) + "\n");
  EXPECT_EQ(FileText(folder + "/inventory.csv"), backup.out);
  EXPECT_EQ(FileText(folder + "/07_02-00-00-00-01-07_20261209.dat"), WriteSettingsData(bus.units().find(7)->second.settings));
  const CommandResult json = RunCommand(Options({"scan", "--json"}), &link);
  EXPECT_NE(json.out.find("\"version\": \"ｶﾒ,=\""), std::string::npos) << json.out;
}

TEST(CliCommands, ScanListsTheBusAndSendAddressesOneUnit) {
  sim::SimulatedBus bus(true, {0, 5, 7});
  SimulatedLine link(bus);
  link.mode.rs485 = true;
  const CommandResult scan = RunCommand(Options({"scan", "--json"}), &link);
  EXPECT_EQ(scan.exitCode, kExitOk);
  const std::string mac = bus.units().begin()->second.settings.macAddress;
  EXPECT_NE(scan.out.find("{\"address\": \"05\", \"version\": \"1.00\", \"mac\": \"" + mac +
                          "\", \"conflict\": false, \"status\": \"応答\"}"),
            std::string::npos)
      << scan.out;
  EXPECT_NE(scan.out.find("\"summary\": \"3 台が応答\""), std::string::npos);
  EXPECT_EQ(RunCommand(Options({"send", "RVN", "--address", "07"}), &link).out, "Ver. 1.00\n");
  link.mode.reply = "E3";
  const CommandResult refused = RunCommand(Options({"send", "RVN", "--address", "07"}), &link);
  EXPECT_EQ(refused.exitCode, kExitDiffers);
  EXPECT_EQ(refused.out, "E3 (Command Error)\n");
  link.mode.reply.clear();
  EXPECT_EQ(RunCommand(Options({"switch", "ch05", "--address", "07"}), &link).exitCode, kExitOk);
  EXPECT_EQ(bus.units().find(7)->second.settings.screenSwitch, 4);
  EXPECT_EQ(bus.units().find(5)->second.settings.screenSwitch, 0);
  EXPECT_EQ(RunCommand(Options({"switch", "6B", "--address", "FF", "--power-on"}), &link).exitCode, kExitOk);
  for (const auto& [address, unit] : bus.units()) EXPECT_EQ(unit.settings.powerOnScreen, 21) << address;
  EXPECT_EQ(RunCommand(Options({"switch", "7C", "--address", "07"}), &link).exitCode, kExitUsage);
}

// Units that dial in: each read as it comes, all at once, into its own file.
TEST(CliCommands, BackupReadsEveryDialledUnitAtOnceIntoItsOwnFile) {
  const auto options = [](std::vector<std::string_view> arguments) { return *ParseArguments(arguments).options; };
  sim::SimulatedDialledUnits one(1);
  const std::string alone = ::testing::TempDir() + "alone";
  const CommandResult json = RunCommand(options({"backup", alone, "--listen", "9004", "--json"}), &one);
  EXPECT_EQ(json.exitCode, kExitOk);
  EXPECT_EQ(json.out, "{\"units\": [\n  {\"unit\": \"10.0.0.1\", \"mac\": \"02-00-00-00-00-01\", \"version\": \"1.00\", "
                      "\"time\": \"2026-12-09T21:05:30\", \"file\": \"10.0.0.1_02-00-00-00-00-01_20261209.dat\", "
                      "\"result\": \"ok\"}\n], \"note\": \"" + std::string(kNotReported) + "\"}\n");

  sim::SimulatedDialledUnits four(4);
  four.Unit(1).settings.videoBrightness[0] = 3;
  four.hangUp = {2, 10};
  const std::string folder = ::testing::TempDir() + "dialled";
  const CommandResult backup = RunCommand(options({"backup", folder, "--listen", "9004", "--units", "4"}), &four);
  EXPECT_EQ(backup.exitCode, kExitDiffers) << "10.0.0.3 hung up";
  EXPECT_LE(four.Now(), one.Now() + Millis(20)) << "all at once: four units take one unit's time";
  EXPECT_EQ(backup.out.substr(backup.out.find("10.0.0.3,")), "10.0.0.3,,,2026-12-09T21:05:30,,接続が切れました\n"
                                                             "10.0.0.4,02-00-00-00-00-04,1.00,2026-12-09T21:05:30,"
                                                             "10.0.0.4_02-00-00-00-00-04_20261209.dat,ok\n"
                                                             ",,,,," + std::string(kNotReported) + "\n");
  EXPECT_EQ(FileText(folder + "/inventory.csv"), backup.out);
  EXPECT_EQ(FileText(folder + "/10.0.0.2_02-00-00-00-00-02_20261209.dat"), WriteSettingsData(four.Unit(1).settings));

  sim::SimulatedDialledUnits first(1);
  const CommandResult read = RunCommand(options({"read", "--listen", "9004"}), &first);
  EXPECT_EQ(read.out, WriteSettingsData(first.Unit(0).settings)) << "any other subcommand on the first unit";
}

// A failed unit replaced: the new one (another MAC address, factory settings
// and network values) becomes the backed-up one, each step verified; the
// refusals send nothing but the questions.
TEST(CliCommands, ReplaceMakesTheNewUnitTheOldOne) {
  sim::SimulatedBus old(false, {});
  old.units().begin()->second.UseOffDefaultSettings();
  SimulatedLine oldLink(old);
  const std::string folder = ::testing::TempDir() + "replace";
  std::filesystem::remove_all(folder);
  ASSERT_EQ(RunCommand(Options({"backup", folder}), &oldLink).exitCode, kExitOk);
  const std::string backup = "unit_" + std::string(old.units().begin()->second.settings.macAddress) + "_20261209.dat";

  sim::SimulatedBus fresh(false, {});
  sim::SimulatedUnit& unit = fresh.units().begin()->second;
  CopyText(unit.settings.macAddress, "02-00-00-00-09-99");
  SimulatedLine link(fresh);
  const CommandResult dry = RunCommand(Options({"replace", folder, "--dry-run"}), &link);
  EXPECT_EQ(dry.exitCode, kExitOk) << dry.error;
  EXPECT_NE(dry.out.find("MAC アドレス: " + std::string(old.units().begin()->second.settings.macAddress) +
                         " → 02-00-00-00-09-99"), std::string::npos) << dry.out;
  EXPECT_NE(WriteSettingsData(unit.settings), FileText(folder + "/" + backup)) << "a dry run writes nothing";

  const CommandResult replaced = RunCommand(Options({"replace", folder}), &link);
  EXPECT_EQ(replaced.exitCode, kExitOk) << replaced.error << replaced.out;
  EXPECT_EQ(WriteSettingsData(unit.settings), FileText(folder + "/" + backup)) << "the settings, byte for byte";
  EXPECT_EQ(unit.settings.unitIpAddress, old.units().begin()->second.settings.unitIpAddress) << "the network values";
  EXPECT_STREQ(unit.settings.portNumber, old.units().begin()->second.settings.portNumber);
  EXPECT_NE(FileText(folder + "/inventory.csv").find("交換 " + std::string(old.units().begin()->second.settings.macAddress) +
                                                      " → 02-00-00-00-09-99: 確認済み "),
            std::string::npos);
  EXPECT_EQ(FileText(folder + "/unit_02-00-00-00-09-99_20261209.dat"), WriteSettingsData(unit.settings)) << "a new backup";

  const struct {
    const char* mode;
    std::string error;
  } refusals[] = {
      {"normal", "バックアップと同じユニットです（MAC アドレス 02-00-00-00-09-99）: 交換ではありません。「ファイルを適用」を使ってください。"},
      {"reply E3", "ユニットが MAC アドレスを答えません"},
  };
  for (const auto& refusal : refusals) {
    link.mode = sim::SimMode::Parse(refusal.mode);
    link.frames = 0;
    const CommandResult refused = RunCommand(Options({"replace", folder}), &link);
    EXPECT_NE(refused.exitCode, kExitOk);
    EXPECT_EQ(refused.error, refusal.error);
    EXPECT_EQ(link.frames, 2) << "its MAC address and version asked, nothing written";
  }
  EXPECT_EQ(RunCommand(Options({"replace", ::testing::TempDir() + "none", "--address", "05"}), &link).error,
            "05 のバックアップがありません");

  CopyText(unit.settings.macAddress, "02-00-00-00-09-98");  // another, that falls silent midway
  link.mode = {};
  link.silentAfter = 2 + 16 + 100;  // its questions, the network values, then silence in the settings
  const CommandResult cut = RunCommand(Options({"replace", folder}), &link);
  EXPECT_EQ(cut.exitCode, kExitLink);
  EXPECT_EQ(cut.error.rfind("設定: 応答なし", 0), 0u) << cut.error;
}

// With --json, one JSON document whatever happened.
TEST(CliProgram, JsonSaysWhatFailedAsJson) {
  EXPECT_EQ(JsonWithError("{\"units\": [\n  {\"unit\": \"05\"}\n]}\n", "the link broke", 3),
            "{\"units\": [\n  {\"unit\": \"05\"}\n], \"error\": \"the link broke\", \"exit\": 3}\n");
  EXPECT_EQ(JsonWithError("", "cannot read x", 4), "{\"error\": \"cannot read x\", \"exit\": 4}\n");
  EXPECT_EQ(JsonString("\xB6\xFF"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"") << "bytes that are no UTF-8";
}

}  // namespace
}  // namespace kelvrix::cli
