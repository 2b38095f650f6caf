// kelvrix-cli's portable part: its arguments, its output, and its
// subcommands against simulated units on a fake clock.
#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <iterator>
#include <memory>

#include "cli/cli_args.h"
#include "cli/cli_commands.h"
#include "cli/cli_output.h"
#include "model/dialog_texts.h"
#include "model/settings_data_file.h"
#include "sim/simulated_bus.h"
#include "sim/simulated_dialled_units.h"
#include "tools/request_list.h"
#include "tools/unit_job.h"

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
      {{"backup", "d", "--tcp", "h", "--bus"}, "--bus belongs to backup on --serial, without --address"},
      {{"backup", "d", "--listen", "9004", "--units", "96", "--wait", "30"}, ""},
      {{"read", "--listen", "9004", "--tcp", "h"}, "give one link: --serial DEVICE, --tcp HOST[:PORT] or --listen PORT"},
      {{"read", "--listen", "0"}, "--listen needs a port, 1..65535"},
      {{"read", "--listen", "9004", "--address", "05"}, "--address is for RS-485 on --serial"},
      {{"backup", "d", "--listen", "9004", "--units", "0"}, "--units needs a count, 1..256"},
      {{"backup", "d", "--listen", "9004", "--wait", "1h"}, "--wait needs seconds, 1..3600"},
      {{"read", "--tcp", "h", "--units", "2"}, "--units and --wait belong to --listen"},
      {{"read", "--listen", "9004", "--units", "2"}, "only backup, apply and clock work on more than one unit"},
      {{"scan", "--listen", "9004"}, "scan needs the RS-485 bus: --serial"},
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
}

// --- Subcommands against simulated units ---------------------------------------------

// The link to a simulated bus: a frame's answer comes `delay` after it, and
// time passes only while the subcommand waits.
class SimulatedLink : public CliLink {
 public:
  explicit SimulatedLink(sim::SimulatedBus& bus) : bus_(bus) {}
  bool Write(std::string_view bytes) override {
    ++frames;
    if (silentAfter-- <= 0) return true;
    if (auto answer = bus_.Handle(bytes, mode)) pending_.push_back({now_ + delay, *answer});
    return true;
  }
  bool Read(Millis wait, std::string& bytes) override {
    bytes.clear();
    if (pending_.empty() || pending_.front().first > now_ + wait) {
      now_ += wait;
      return true;
    }
    now_ = std::max(now_, pending_.front().first);
    bytes = pending_.front().second;
    pending_.pop_front();
    return true;
  }
  Millis Now() override { return now_; }

  sim::SimMode mode;
  Millis delay{5};
  int silentAfter = 1 << 30;  // frames answered before the unit falls silent
  int frames = 0;

 private:
  sim::SimulatedBus& bus_;
  std::deque<std::pair<Millis, std::string>> pending_;
  Millis now_{0};
};

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

CommandResult RunCommand(const CliOptions& options, CliLink* link) { return cli::RunCommand(options, link, Now()); }

TEST(CliCommands, ReadWritesWhatTheUnitHoldsAndDiffNamesWhatDiffers) {
  sim::SimulatedBus bus(false, {});
  sim::SimulatedUnit& unit = bus.units().begin()->second;
  unit.settings.videoHue[2] = 77;
  SimulatedLink link(bus);
  const CommandResult read = RunCommand(Options({"read"}), &link);
  EXPECT_EQ(read.exitCode, kExitOk);
  EXPECT_EQ(read.out, WriteSettingsData(unit.settings)) << "the file a fresh panel saves after read all";
  EXPECT_EQ(link.frames, 160);
  EXPECT_LT(link.Now(), Millis(160 * 6)) << "each request on its answer, no pacing";

  unit.settings.videoHue[2] = 12;
  const std::string path = ::testing::TempDir() + "cli-read.dat";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  std::fwrite(read.out.data(), 1, read.out.size(), file);
  std::fclose(file);
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
  EXPECT_NE(apply.out.find("確認済み 1 件"), std::string::npos) << apply.out;
  EXPECT_EQ(link.frames, 160 + 3) << "read all, then the MAC address, the hue and its read-back";
  EXPECT_EQ(unit.settings.videoHue[2], 77);
  EXPECT_EQ(RunCommand(Options({"apply", path}), &link).out, "相違なし\n") << "the second apply changes nothing";
}

TEST(CliCommands, AUnitThatFallsSilentMidRunIsReportedNotWaitedForEver) {
  sim::SimulatedBus bus(false, {});
  SimulatedLink link(bus);
  link.silentAfter = 100;
  const CommandResult read = RunCommand(Options({"read"}), &link);
  EXPECT_EQ(read.exitCode, kExitDiffers);
  EXPECT_EQ(read.error, "60 requests went unanswered: their settings hold the initial values");
  EXPECT_EQ(link.frames, 100 + 2 * 60) << "each silent request asked once more";

  EXPECT_EQ(RunCommand(Options({"write", "no-such.dat"}), &link).exitCode, kExitFile);
  const std::string path = ::testing::TempDir() + "cli-defaults.dat";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  const std::string defaults = WriteSettingsData(bus.units().begin()->second.settings);
  std::fwrite(defaults.data(), 1, defaults.size(), file);
  std::fclose(file);
  link.silentAfter = 10;
  link.frames = 0;
  const CommandResult write = RunCommand(Options({"write", path}), &link);
  EXPECT_EQ(write.exitCode, kExitLink);
  EXPECT_EQ(write.error, "the unit stopped answering: the write is incomplete");
  EXPECT_EQ(link.frames, 10 + 3 * 2) << "three silent steps, each asked twice, end it";

  link.silentAfter = 0;
  const CommandResult silent = RunCommand(Options({"send", "RVN"}), &link);
  EXPECT_EQ(silent.exitCode, kExitLink);
  EXPECT_EQ(silent.error, "no answer from the unit");
}

TEST(CliCommands, HistoryReadsItsHundredEntriesAndListsThoseHeld) {
  sim::SimulatedBus bus(false, {});
  sim::SimulatedUnit& unit = bus.units().begin()->second;
  unit.settings.alarmHistory[0] = {4, 12, 3, 7, 9, 5, 0};
  unit.settings.alarmHistory[1] = {16, 26, 12, 9, 23, 59, 58};
  SimulatedLink link(bus);
  const CommandResult csv = RunCommand(Options({"history", "alarm", "--csv"}), &link);
  EXPECT_EQ(csv.exitCode, kExitOk);
  EXPECT_EQ(csv.out, "number,channel,time\n1,4,2012-03-07 09:05:00\n2,16,2026-12-09 23:59:58\n");
  EXPECT_EQ(link.frames, kHistoryEntryCount);
  EXPECT_EQ(RunCommand(Options({"history", "video-loss", "--json"}), &link).out, "{\"entries\": []}\n");
  EXPECT_EQ(RunCommand(Options({"history", "door"}), &link).exitCode, kExitUsage);
}

TEST(CliCommands, ClockSetsTheUnitsDateAndTime) {
  sim::SimulatedBus bus(false, {});
  SimulatedLink link(bus);
  const CommandResult clock = RunCommand(Options({"clock"}), &link);
  EXPECT_EQ(clock.exitCode, kExitOk) << clock.error;
  EXPECT_EQ(clock.out, "2026-12-09 21:05:30 を設定しました\n");
  EXPECT_EQ(link.frames, 6);
  link.mode.reply = "E3";
  const CommandResult refused = RunCommand(Options({"clock"}), &link);
  EXPECT_EQ(refused.exitCode, kExitDiffers);
  EXPECT_EQ(refused.error.rfind("DSY26: E3 (Command Error), DSM12: E3 (Command Error)", 0), 0u) << refused.error;
}

TEST(CliCommands, BackupReadsEveryUnitOfTheBusIntoAFolderWithAnInventory) {
  sim::SimulatedBus bus(true, {0, 5, 5, 7});
  SimulatedLink link(bus);
  link.mode.rs485 = true;
  const std::string folder = ::testing::TempDir();
  const CommandResult backup = RunCommand(Options({"backup", folder, "--bus"}), &link);
  EXPECT_EQ(backup.exitCode, kExitDiffers) << "05 holds two units";
  const std::string mac = bus.units().begin()->second.settings.macAddress;
  EXPECT_EQ(backup.out, "unit,mac,version,time,file,result\n"
                        "unit-00," + mac + ",1.00,2026-12-09T21:05:30,unit-00.dat,ok\n"
                        "unit-05,,,2026-12-09T21:05:30,,重複の疑い: 応答が乱れています\n"
                        "unit-07," + mac + ",1.00,2026-12-09T21:05:30,unit-07.dat,ok\n");
  std::FILE* saved = std::fopen((folder + "/unit-07.dat").c_str(), "rb");
  ASSERT_NE(saved, nullptr);
  std::fclose(saved);
}

TEST(CliCommands, ScanListsTheBusAndSendAddressesOneUnit) {
  sim::SimulatedBus bus(true, {0, 5, 7});
  SimulatedLink link(bus);
  link.mode.rs485 = true;
  const CommandResult scan = RunCommand(Options({"scan", "--json"}), &link);
  EXPECT_EQ(scan.exitCode, kExitOk);
  const std::string mac = bus.units().begin()->second.settings.macAddress;
  EXPECT_NE(scan.out.find("{\"address\": \"05\", \"version\": \"1.00\", \"mac\": \"" + mac +
                          "\", \"conflict\": false, \"status\": \"応答\"}"),
            std::string::npos)
      << scan.out;
  EXPECT_NE(scan.out.find("\"summary\": \"3 台が応答\""), std::string::npos);
  const CommandResult send = RunCommand(Options({"send", "RVN", "--address", "07"}), &link);
  EXPECT_EQ(send.out, "Ver. 1.00\n");
}

TEST(CliSession, OnRs485ALineFromAnotherAddressSaysNothingOfTheUnit) {
  DeviceSettings model{};
  RequestList request;
  request.Start({"REMA"}, Millis(300));
  SequenceDriver driver(request, UnitTarget{true, 5}, model);
  ASSERT_TRUE(driver.Next(Millis(0)));
  driver.Received("07EMA02-00-00-00-01-07\r\n");  // the unit asked before, late
  EXPECT_STREQ(model.macAddress, "");
  EXPECT_TRUE(request.Running());
  driver.Received("05EMA02-00-00-00-01-05\r\n");
  EXPECT_STREQ(model.macAddress, "02-00-00-00-01-05");
  EXPECT_EQ(request.answers[0], "EMA02-00-00-00-01-05");
}

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(CliCommands, BackupReadsEveryDialledUnitAtOnceIntoItsOwnFile) {
  sim::SimulatedDialledUnits one(1);
  const std::string alone = ::testing::TempDir() + "alone";
  const CommandResult json =
      RunOnDialledUnits(*ParseArguments({"backup", alone, "--listen", "9004", "--json"}).options, one, Now());
  EXPECT_EQ(json.exitCode, kExitOk);
  EXPECT_EQ(json.out, "{\"units\": [\n  {\"unit\": \"10.0.0.1\", \"mac\": \"02-00-00-00-00-01\", \"version\": \"1.00\", "
                      "\"time\": \"2026-12-09T21:05:30\", \"file\": \"10.0.0.1.dat\", \"result\": \"ok\"}\n]}\n");

  sim::SimulatedDialledUnits four(4);
  four.Unit(1).settings.videoBrightness[0] = 3;
  four.hangUp = {2, 10};
  const std::string folder = ::testing::TempDir() + "dialled";
  const CommandResult backup =
      RunOnDialledUnits(*ParseArguments({"backup", folder, "--listen", "9004", "--units", "4"}).options, four, Now());
  EXPECT_EQ(backup.exitCode, kExitDiffers) << "10.0.0.3 hung up";
  EXPECT_LE(four.Now(), one.Now() + Millis(20)) << "all at once: four units take one unit's time";
  EXPECT_EQ(backup.out, "unit,mac,version,time,file,result\n"
                        "10.0.0.1,02-00-00-00-00-01,1.00,2026-12-09T21:05:30,10.0.0.1.dat,ok\n"
                        "10.0.0.2,02-00-00-00-00-02,1.00,2026-12-09T21:05:30,10.0.0.2.dat,ok\n"
                        "10.0.0.3,,,2026-12-09T21:05:30,,the link broke\n"
                        "10.0.0.4,02-00-00-00-00-04,1.00,2026-12-09T21:05:30,10.0.0.4.dat,ok\n");
  EXPECT_EQ(FileText(folder + "/inventory.csv"), backup.out);
  for (int k : {0, 1, 3}) {
    EXPECT_EQ(FileText(folder + "/10.0.0." + std::to_string(k + 1) + ".dat"), WriteSettingsData(four.Unit(k).settings))
        << "unit " << k + 1 << "'s own settings";
  }
}

TEST(CliCommands, AnyOtherSubcommandWorksOnTheFirstUnitThatDialledIn) {
  sim::SimulatedDialledUnits units(1);
  units.Unit(0).settings.videoBrightness[0] = 3;
  const CommandResult read = RunOnDialledUnits(*ParseArguments({"read", "--listen", "9004"}).options, units, Now());
  EXPECT_EQ(read.exitCode, kExitOk);
  EXPECT_EQ(read.out, WriteSettingsData(units.Unit(0).settings));
  units.hangUp = {0, 0};
  EXPECT_EQ(RunOnDialledUnits(*ParseArguments({"send", "RVN", "--listen", "9004"}).options, units, Now()).error,
            "the link broke");
}

// Jobs on three units at once: one that differs from the file in five
// settings, one that holds it already, one that hangs up midway.
TEST(UnitJob, EachKindOnThreeUnitsAtOnce) {
  const DeviceSettings defaults = [] {
    DeviceSettings settings{};
    ResetSettingsToDefaults(settings);
    return settings;
  }();
  DeviceSettings file = defaults;
  for (int channel = 0; channel < 5; ++channel) file.videoBrightness[channel] = 3;
  struct Case {
    JobKind kind;
    std::vector<std::string> results;  // per unit; empty for the unit that hung up
  };
  const Case cases[] = {
      {JobKind::Backup, {"読み込み済み", "読み込み済み", ""}},
      {JobKind::Apply, {"5 件を変更、確認済み", "変更なし", ""}},
      {JobKind::Clock, {"時刻を設定しました", "時刻を設定しました", "時刻を設定しました"}},
      {JobKind::Histories, {"履歴を読み込み済み", "履歴を読み込み済み", ""}},
  };
  for (const Case& c : cases) {
    sim::SimulatedDialledUnits units(3);
    units.Unit(1).settings = file;
    units.Unit(0).FillAlarmHistory(4);
    units.hangUp = {2, 30};
    std::vector<std::unique_ptr<UnitJob>> jobs;
    std::vector<UnitSequence> runs;
    for (int k = 0; k < 3; ++k) {
      jobs.push_back(std::make_unique<UnitJob>(c.kind, c.kind == JobKind::Apply ? file : defaults,
                                               JobTimeouts{Millis(300), Millis(1000)}, false, false, Now()));
      jobs.back()->Start();
      runs.push_back({*jobs.back(), jobs.back()->Model()});
    }
    RunSequences(runs, units);
    for (int k = 0; k < 3; ++k) {
      const bool broke = runs[k].broke;
      EXPECT_EQ(broke ? "" : jobs[k]->Result(), c.results[k]) << static_cast<int>(c.kind) << " unit " << k;
      EXPECT_EQ(!broke && jobs[k]->Succeeded(), !c.results[k].empty());
    }
    if (c.kind == JobKind::Apply) {
      EXPECT_EQ(WriteSettingsData(units.Unit(0).settings), WriteSettingsData(file));
    }
    if (c.kind == JobKind::Histories) {
      EXPECT_EQ(jobs[0]->Model().alarmHistory, units.Unit(0).settings.alarmHistory);
      EXPECT_EQ(HistoryCount(jobs[0]->Model().alarmHistory), 4);
    }
  }
}

}  // namespace
}  // namespace kelvrix::cli
