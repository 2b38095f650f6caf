// The engine of runs on many units on a fake clock: units in turn or all at
// once over connections recorded in memory, the jobs' rows and files, the
// unit list's rows, and how the files of a run are named.
#include <gtest/gtest.h>

#include <map>

#include "fakes.h"
#include "model/unit_text.h"
#include "sim/simulated_links.h"
#include "tools/job_run.h"
#include "tools/request_list.h"
#include "tools/unit_list.h"
#include "tools/unit_runner.h"

namespace kelvrix {
namespace {

using Millis = std::chrono::milliseconds;
using testing::Defaults;

struct RecordingConnections : UnitConnections {
  bool Send(std::size_t unit, std::string_view bytes) override {
    sent.push_back(std::to_string(unit) + " " + std::string(bytes.substr(0, bytes.find('\r'))));
    return true;
  }
  Opening Open(std::size_t unit) override {
    sent.push_back(std::to_string(unit) + " open");
    return opening;
  }
  void Close(std::size_t unit) override { sent.push_back(std::to_string(unit) + " close"); }
  std::vector<std::string> Take() { return std::exchange(sent, {}); }
  std::vector<std::string> sent;
  Opening opening = Opening::Open;
};

using Lines = std::vector<std::string>;

// One after the other: the next unit is asked in the same breath as the last
// answer of the one before; a broken unit ends at once; "中止" lets the
// request out finish and starts no one else, whose row still ends.
TEST(UnitRunner, OneAtATimeHandsTheTurnOnAndCancelStartsNoOneElse) {
  RecordingConnections connections;
  UnitRunner runner(connections, UnitRunner::Turns::OneAtATime);
  std::vector<RequestList> lists(4);
  DeviceSettings model{};
  for (RequestList& list : lists) {
    list.Start({"RVN", "REMA"}, Millis(200));
    runner.Add(list, model, {false, -1});
  }
  runner.Start(Millis(0));
  EXPECT_EQ(connections.Take(), Lines{"0 RVN"});
  runner.Received(0, "Ver. 1.00\r\nEMA02-00", Millis(5));
  runner.Received(0, "-00-00-00-01\r\n", Millis(8));
  EXPECT_EQ(connections.Take(), (Lines{"0 REMA", "1 RVN"}));
  runner.Gone(1, Millis(10));
  EXPECT_EQ(connections.Take(), Lines{"2 RVN"});
  runner.Cancel(Millis(20));
  EXPECT_TRUE(connections.Take().empty()) << "the request out still waits";
  EXPECT_EQ(runner.NextWake(), Millis(10 + 200));
  runner.Tick(Millis(210));
  EXPECT_TRUE(connections.Take().empty()) << "timed out: no retry after a cancel, and no unit 3";
  EXPECT_FALSE(runner.Running());
  EXPECT_EQ(runner.TakeEnded(), (std::vector<std::size_t>{0, 1, 3, 2})) << "in the order they ended";
  const UnitRunner::End ends[] = {UnitRunner::End::Ended, UnitRunner::End::Broke, UnitRunner::End::Ended,
                                  UnitRunner::End::NeverStarted};
  for (std::size_t k = 0; k < 4; ++k) EXPECT_EQ(runner.EndOf(k), ends[k]) << k;
  EXPECT_EQ(lists[0].Answers()[1]->line, "EMA02-00-00-00-00-01") << "a line across two receives";
}

// The client's hosts: a unit is asked once its connection is made; one not
// made within the bound ends, and the next host's turn comes.
TEST(UnitRunner, AConnectionIsWaitedForWithinItsBound) {
  RecordingConnections connections;
  connections.opening = UnitConnections::Opening::Pending;
  UnitRunner runner(connections, UnitRunner::Turns::OneAtATime);
  std::vector<RequestList> lists(2);
  DeviceSettings model{};
  for (RequestList& list : lists) {
    list.Start({"RVN"}, Millis(200));
    runner.Add(list, model, {false, -1}, true);
  }
  runner.Start(Millis(0));
  EXPECT_EQ(connections.Take(), Lines{"0 open"});
  runner.Tick(UnitRunner::kConnectBound);
  EXPECT_EQ(connections.Take(), (Lines{"0 close", "1 open"}));
  runner.Connected(1, Millis(5100));
  EXPECT_EQ(connections.Take(), Lines{"1 RVN"});
  runner.Received(1, "Ver. 1.00\r\n", Millis(5110));
  EXPECT_EQ(connections.Take(), Lines{"1 close"});
  EXPECT_EQ(runner.EndOf(0), UnitRunner::End::NotConnected);
  EXPECT_EQ(runner.EndOf(1), UnitRunner::End::Ended);
}

// A bus in turn on one line: a line from another address is not the unit's,
// and the answer decodes into the unit's own model.
TEST(UnitRunner, OnASharedLineEachAnswerIsItsOwnAddresss) {
  RecordingConnections connections;
  UnitRunner runner(connections, UnitRunner::Turns::OneAtATime, true);
  RequestList first, second;
  DeviceSettings firstModel{}, secondModel{};
  first.Start({"REMA"}, Millis(300));
  second.Start({"REMA"}, Millis(300));
  runner.Add(first, firstModel, {true, 0});
  runner.Add(second, secondModel, {true, 7});
  runner.Start(Millis(0));
  runner.LineReceived("07EMA02-00-00-00-01-07\r\n", Millis(5));
  EXPECT_STREQ(firstModel.macAddress, "") << "not from 00";
  runner.LineReceived("00EMA02-00-00-00-01-00\r\n", Millis(10));
  runner.LineReceived("07EMA02-00-00-00-01-07\r\n", Millis(20));
  EXPECT_EQ(connections.Take(), (Lines{"0 00REMA", "1 07REMA"}));
  EXPECT_STREQ(firstModel.macAddress, "02-00-00-00-01-00");
  EXPECT_STREQ(secondModel.macAddress, "02-00-00-00-01-07");
}

class MemoryFiles : public RunFiles {
 public:
  bool Write(const std::string& name, std::string_view bytes) override {
    if (refuse) return false;
    files[name] = bytes;
    return true;
  }
  std::map<std::string, std::string> files;
  bool refuse = false;
};

std::tm Date() {
  std::tm date{};
  date.tm_year = 126;
  date.tm_mon = 11;
  date.tm_mday = 9;
  return date;
}

JobRunSettings NetworkRun(JobKind kind) {
  JobRunSettings settings;
  settings.kind = kind;
  settings.serialLink = false;
  settings.timeouts = {Millis(4000), Millis(4000)};
  settings.date = Date();
  settings.byteOrderMark = false;
  return settings;
}

// Backup over units that dial in: a unit that answers every request with an
// error, or falls silent, gives no file; a unit whose MAC address is no MAC
// address names no path; one that answers costs what it costs alone.
TEST(JobRun, ABackupHoldsOnlyWhatWasReadWhole) {
  sim::SimulatedDialledUnits units(5, Millis(100));
  CopyText(units.Unit(1).settings.macAddress, "../../../../evil1");
  units.modes[3].silent = true;
  units.modes[4].reply = "MENU";
  MemoryFiles files;
  JobRun run(units, files, NetworkRun(JobKind::Backup));
  const SettingsSource source{Defaults(), {}, UnitOutcome::Done, {}};
  cli::Drive(run, units, [&](std::size_t, const std::string& name) { run.Add({-1, name, 0, {}}, source); });
  run.TakeEnded();
  EXPECT_LT(units.Now(), Millis(400 + 160 * 20 + 3 * 2 * 4000 + 100)) << "the silent unit costs three requests, twice";
  const std::vector<std::string> names = {"10.0.0.1_02-00-00-00-00-01_20261209.dat", "10.0.0.2_20261209.dat",
                                          "10.0.0.3_02-00-00-00-00-03_20261209.dat"};
  for (const std::string& name : names) {
    EXPECT_EQ(files.files.count(name), 1u) << name;
    EXPECT_EQ(files.files.count(NetworkFileName(name)), 1u) << "beside it, what the file cannot hold";
  }
  EXPECT_EQ(files.files.size(), 2 * names.size());
  DeviceSettings network = Defaults();
  ASSERT_TRUE(ReadNetworkCsv(files.files[NetworkFileName(names[0])], network));
  EXPECT_EQ(network.unitIpAddress, units.Unit(0).settings.unitIpAddress);
  EXPECT_STREQ(network.macAddress, "02-00-00-00-00-01");
  EXPECT_STREQ(network.portNumber, units.Unit(0).settings.portNumber);
  EXPECT_EQ(run.Record(3).outcome, UnitOutcome::NoAnswer);
  EXPECT_EQ(run.Record(3).words, "応答なし");
  EXPECT_EQ(run.Record(4).outcome, UnitOutcome::Unread);
  EXPECT_EQ(run.Record(4).words, "読めない設定 160 件: タイトル ch.01、タイトル ch.02、タイトル ch.03…");
  EXPECT_EQ(run.Summary(), "3 台が完了、2 台が失敗");
}

// Every unit's clock from the computer's time read as its first line goes
// out: a unit that dials in 8 s later is set 8 s later.
TEST(JobRun, EachClockIsSetFromTheTimeItsLinesGoOut) {
  sim::SimulatedDialledUnits units(3, Millis(8000));
  MemoryFiles files;
  JobRunSettings settings = NetworkRun(JobKind::Clock);
  settings.localTime = [&units] {
    std::tm time = Date();
    time.tm_sec = static_cast<int>(units.Now().count() / 1000);
    return time;
  };
  JobRun run(units, files, settings);
  cli::Drive(run, units, [&](std::size_t, const std::string& name) { run.Add({-1, name, 0, {}}, {Defaults(), {}, UnitOutcome::Done, {}}); });
  run.TakeEnded();
  for (int k = 0; k < 3; ++k) {
    ASSERT_TRUE(run.UnitJobOf(k).ClockSet());
    EXPECT_EQ(run.UnitJobOf(k).ClockSet()->tm_sec, 8 * k);
  }
}

// An apply cut short says what it wrote and verified before; a unit left
// unread is written nothing.
TEST(JobRun, AnApplyCutShortSaysWhatItWrote) {
  DeviceSettings file = Defaults();
  for (int channel = 0; channel < 4; ++channel) file.videoBrightness[channel] = 3;
  sim::SimulatedDialledUnits units(2);
  units.hangUp = {0, 160 + 5};
  units.Unit(1).settings.videoHue[0] = 9;
  MemoryFiles files;
  JobRun run(units, files, NetworkRun(JobKind::Apply));
  cli::Drive(run, units, [&](std::size_t, const std::string& name) { run.Add({-1, name, 0, {}}, {file, "site.dat", UnitOutcome::Done, {}}); });
  run.TakeEnded();
  EXPECT_EQ(run.Record(0).outcome, UnitOutcome::LinkBroke);
  EXPECT_EQ(run.Record(0).words, "接続が切れました: 確認済み 1 件、書き込み済み 2 件、応答なし 1 件");
  EXPECT_EQ(run.Record(1).words, "5 件を変更、確認済み");
  EXPECT_EQ(run.Record(1).file, "site.dat");
}

TEST(UnitFiles, NamesTellWhoseEachFileIsAndNoUnitChoosesAPath) {
  const struct {
    UnitName unit;
    std::string file;
  } cases[] = {
      {{5, "", 0, "02-00-00-00-01-05"}, "05_02-00-00-00-01-05_20261209.dat"},
      {{-1, "192.168.0.21", 0, ""}, "192.168.0.21_20261209.dat"},
      {{-1, "192.168.0.21", 9005, ""}, "192.168.0.21-9005_20261209.dat"},
      {{}, "unit_20261209.dat"},
      {{7, "", 0, "../../../../evil1"}, "07_20261209.dat"},
      {{7, "", 0, "02:00:00:00:01:07"}, "07_20261209.dat"},
      {{-1, "con.site", 0, ""}, "_con.site_20261209.dat"},
      {{-1, "..", 0, ""}, "_.._20261209.dat"},
      {{-1, "C:\\units\\a", 0, ""}, "C__units_a_20261209.dat"},
  };
  for (const auto& c : cases) EXPECT_EQ(BackupFileName(c.unit, Date()), c.file);
  EXPECT_EQ(HistoryFileName(cases[0].unit, false, Date()), "05_02-00-00-00-01-05_video-loss_20261209.csv");
}

// A unit's own file: the newest naming its MAC address, else its label;
// swapped units never get each other's.
TEST(UnitFiles, EachUnitFindsItsOwnNewestFile) {
  const std::vector<std::string> names = {"05_02-00-00-00-01-05_20261201.dat", "05_02-00-00-00-01-05_20261209.dat",
                                          "07_02-00-00-00-01-05_20261101.dat", "192.168.0.21.DAT",
                                          "192.168.0.2_20261209.dat", "inventory.csv", "unit_20261209.dat", "050.dat"};
  const struct {
    UnitName unit;
    std::optional<std::string> file;
  } cases[] = {
      {{5, "", 0, ""}, "05_02-00-00-00-01-05_20261209.dat"},
      {{7, "", 0, "02-00-00-00-01-05"}, "05_02-00-00-00-01-05_20261209.dat"},  // moved: its MAC tells
      {{5, "", 0, "02-00-00-00-01-99"}, "05_02-00-00-00-01-05_20261209.dat"},
      {{-1, "192.168.0.21", 0, ""}, "192.168.0.21.DAT"},
      {{-1, "192.168.0.2", 0, ""}, "192.168.0.2_20261209.dat"},
      {{}, "unit_20261209.dat"},
      {{9, "", 0, ""}, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(FileForUnit(names, c.unit), c.file) << UnitLabel(c.unit);
  const auto read = [](const std::string&) { return std::optional<std::string>(""); };
  const SettingsSource cut = SettingsForUnit(names, {5, "", 0, ""}, read);
  EXPECT_FALSE(cut.settings);
  EXPECT_EQ(cut.words, "設定ファイルとして読めません: 05_02-00-00-00-01-05_20261209.dat（1 行目）");
  EXPECT_EQ(SettingsForUnit(names, {9, "", 0, ""}, read).refusal, UnitOutcome::NoFile);
}

TEST(UnitFiles, AUnitsBytesReachEveryFileAsUtf8) {
  EXPECT_EQ(UnitText("Ver.\xB6\x83\x4A"), "Ver.ｶカ") << "half-width katakana, a double-byte character";
  EXPECT_EQ(UnitText("\x83\x20\x80\r"), "\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD") << "no character, a control byte";
  EXPECT_EQ(ValidUtf8("ok\xE3\x81"), "ok\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(UnitFiles, OneCsvWriterQuotesAndDisarmsEveryCell) {
  History history{};
  history[0] = {3, 12, 3, 7, 9, 5, 0};
  EXPECT_EQ(HistoryCsv(history, false), "number,channel,time\n1,3,2012-03-07 09:05:00\n");
  EXPECT_EQ(HistoryCsv(history, true).substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_EQ(InventoryCsv({{"05", "=1+2", "1,0", "t", "f.dat", "DSY26: E3, DSM12: \"x\""}}, false),
            "unit,mac,version,time,file,result\n05,'=1+2,\"1,0\",t,f.dat,\"DSY26: E3, DSM12: \"\"x\"\"\"\n");
}

// The unit list on the server's units: all at once, each request to its
// unit's socket, a unit that went ends its row, a unit that came is listed.
TEST(UnitList, RunsTheServersUnitsAtOnceAndFollowsTheirComingAndGoing) {
  testing::TestPanel t;
  t.link.linkInterface = kSocketInterface;
  t.link.clientServerMode = 1;
  t.link.connections.Fill(1, 501, "127.0.0.2");
  t.link.connections.Fill(2, 502, "127.0.0.3");
  Millis now{0};
  UnitList list(t.link, t.transport, "09004", [&] { return now; });
  list.List();
  EXPECT_EQ(list.Status(), "接続中のユニット: 2 台");
  MemoryFiles files;
  list.StartJobs(NetworkRun(JobKind::Clock), list.Runnable(),
                 [](const UnitName&) { return SettingsSource{Defaults(), {}, UnitOutcome::Done, {}}; }, files, {});
  const auto sent = [&] {
    std::vector<std::pair<SocketHandle, std::string>> lines;
    for (const auto& [socket, line] : std::exchange(t.transport.unitLines, {})) lines.emplace_back(socket, line.substr(0, 3));
    return lines;
  };
  using Sends = std::vector<std::pair<SocketHandle, std::string>>;
  EXPECT_EQ(sent(), (Sends{{501, "DSY"}, {502, "DSY"}})) << "both at once";
  list.Received(502, "GO\r\n");
  EXPECT_EQ(sent(), (Sends{{502, "DSM"}})) << "the unit that answered, and only it";
  t.link.connections.Free(501);
  list.Gone(501);
  t.link.connections.Fill(1, 503, "127.0.0.4");
  list.Arrived();
  ASSERT_TRUE(list.RefreshDue());
  list.Refresh();
  ASSERT_EQ(list.Rows().size(), 3u);
  EXPECT_EQ(list.Rows()[0].state + " " + list.Rows()[0].result, "失敗 接続が切れました");
  EXPECT_EQ(list.Rows()[2].Label(), "127.0.0.4") << "a unit that came is listed";
  list.Cancel();
  EXPECT_TRUE(list.Busy()) << "DSM is still out";
  list.Received(502, "GO\r\n");
  EXPECT_FALSE(list.Busy());
  EXPECT_EQ(list.Status().substr(0, list.Status().find("（")), "0 台が完了、1 台が失敗、1 台が中止");
}

// A unit that dials in is asked its MAC address as it comes; one that is not
// the unit its place was backed up as shows "交換？" without being looked for.
TEST(UnitList, AUnitThatDialsInIsSeenSwapped) {
  testing::TestPanel t;
  t.link.linkInterface = kSocketInterface;
  t.link.clientServerMode = 1;
  Millis now{0};
  UnitList list(t.link, t.transport, "09004", [&] { return now; });
  list.IdentifyArrivals(true);
  list.List();
  t.link.connections.Fill(1, 501, "127.0.0.2");
  list.Arrived();
  list.Refresh();
  ASSERT_EQ(t.transport.unitLines, (std::vector<std::pair<SocketHandle, std::string>>{{501, "REMA\r\n"}}));
  list.Received(501, "EMA02-00-00-00-09-99\r\n");
  EXPECT_FALSE(list.Busy());
  list.MarkSwapped({"127.0.0.2_02-00-00-00-00-01_20261209.dat", "127.0.0.3_02-00-00-00-09-99_20261209.dat"});
  ASSERT_EQ(list.Rows().size(), 1u);
  EXPECT_EQ(list.Rows()[0].name.mac, "02-00-00-00-09-99");
  EXPECT_EQ(list.Rows()[0].state, "交換？");
}

}  // namespace
}  // namespace kelvrix
