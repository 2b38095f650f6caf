// The maintenance tools' sequences on a fake clock: comparing the program's
// settings with the simulated unit's, and scanning an RS-485 bus.
#include <gtest/gtest.h>

#include <map>
#include <numeric>
#include <set>

#include "fakes.h"
#include "link/reply_dispatcher.h"
#include "model/all_settings_runs.h"
#include "model/dialog_texts.h"
#include "model/digits.h"
#include "model/reply_decoders.h"
#include "sim/simulated_unit.h"
#include "tools/bus_scan.h"
#include "tools/request_list.h"
#include "tools/unit_comparison.h"

namespace kelvrix {
namespace {

using Millis = std::chrono::milliseconds;
using testing::Defaults;

// A unit holding something else in every setting the comparison knows.
sim::SimulatedUnit OtherUnit() {
  sim::SimulatedUnit unit;
  unit.UseOffDefaultSettings();
  unit.settings.videoLossDetect[3] = 0;
  unit.settings.videoLossDisplay = 0;
  unit.settings.videoLossBackground = 1;
  return unit;
}

std::vector<std::string> WriteAllLines(DeviceSettings settings) {
  std::vector<std::string> lines;
  for (int step = 1; step <= kWriteAllSteps; ++step) lines.push_back(WriteAllStep(settings, step).text);
  return lines;
}

// Writing every setting of the table makes a unit hold what the write-all run
// would have written; reading every one brings back what the unit holds.
// A field the run writes that no setting covers fails the first part.
TEST(ComparedSettings, CoverEveryFieldTheWriteAllRunWritesAndReadItBack) {
  const DeviceSettings file = Defaults();
  sim::SimulatedUnit unit = OtherUnit();
  std::set<std::string> unreadable;
  std::set<std::string> readAll;
  for (int step = 1; step <= kReadAllSteps; ++step) readAll.insert(ReadAllRequest(step));

  DeviceSettings read = file;
  for (const ComparedSetting& setting : ComparedSettings()) {
    if (setting.readRequest.empty()) {
      unreadable.insert(setting.name);
      continue;
    }
    EXPECT_TRUE(readAll.contains(setting.readRequest)) << setting.name;
    EXPECT_NE(setting.line(file), setting.line(unit.settings)) << setting.name;
    const std::string answer = unit.Answer(setting.readRequest);
    ASSERT_TRUE(FindReplyDecoder(answer)->decode(ReplyValue(answer), read)) << setting.name;
    EXPECT_EQ(setting.line(read), setting.line(unit.settings)) << setting.name;
  }
  EXPECT_EQ(unreadable, (std::set<std::string>{"ビデオロス 検出", "ビデオロス 表示", "ビデオロス 背景色"}));

  DeviceSettings source = file;
  for (const ComparedSetting& setting : ComparedSettings()) {
    EXPECT_EQ(unit.Answer(setting.write(source).text), "GO\r\n") << setting.name;
  }
  EXPECT_EQ(WriteAllLines(unit.settings), WriteAllLines(file));
}

TEST(ComparedSettings, DifferencesAreNamedAndShownAsTheirDialogsShowThem) {
  struct Case {
    void (*change)(DeviceSettings&);
    std::vector<std::string> names;  // empty: no difference
    std::string fileText, unitText;
  };
  const Case cases[] = {
      {[](DeviceSettings& s) { s.videoBrightness[2] = 120; }, {"ビデオ調整 ch.03 Brightness"}, "120", "000"},
      {[](DeviceSettings& s) { s.videoSharpness[15] = 7; }, {"ビデオ調整 ch.16 Sharpness"}, "7", "1"},
      {[](DeviceSettings& s) { CopyText(s.channelTitle[4], "DOOR\xDF"); }, {"タイトル ch.05"}, "\"DOORﾟ   \"", "\"  CH05  \""},
      {[](DeviceSettings& s) { s.layout4[0][2] = 9; }, {"分割画面配置 Div.4A"}, "No.03 ch.10", "No.03 ch.03"},
      {[](DeviceSettings& s) { s.autoSequenceDwell[17] = 10; }, {"自動切換え 時間（秒）"}, "Div.4B 10秒", "Div.4B 2秒"},
      {[](DeviceSettings& s) { s.aspectRatio[4] = 0; }, {"アスペクト比 Div.12 Screen"}, "4:3", "FULL"},
      {[](DeviceSettings& s) { s.alarmInputPolarity = 1; }, {"アラーム 入力極性"}, "Break", "Make"},
      {[](DeviceSettings& s) { s.powerOnScreen = 25; }, {"画面 Power On Screen"}, "Div.12A", "Div.16"},
      {[](DeviceSettings& s) { s.keepAlive = 1; }, {"プロトコル Keep Alive", "プロトコル Time Register"}, "ON", "OFF"},
      // What the unit cannot tell apart is no difference.
      {[](DeviceSettings& s) { s.alarmDisplay = 2; }, {}, "", ""},
      {[](DeviceSettings& s) { s.timeRegister = 0; }, {}, "", ""},  // keep-alive off: never sent
      {[](DeviceSettings& s) { CopyText(s.channelTitle[0], "  CH01"); }, {}, "", ""},  // padded as it is sent
      {[](DeviceSettings& s) { s.videoLossDisplay = 0; }, {}, "", ""},  // never read from the unit
  };
  const DeviceSettings unit = Defaults();
  for (const Case& c : cases) {
    DeviceSettings file = Defaults();
    c.change(file);
    std::vector<std::string> names;
    for (int i : DifferingSettings(file, unit)) names.push_back(ComparedSettings()[i].name);
    EXPECT_EQ(names, c.names);
    if (names.empty()) continue;
    const ComparedSetting& first = ComparedSettings()[DifferingSettings(file, unit).front()];
    const std::vector<bool> elements = DifferingElements(first, file, unit);
    EXPECT_EQ(ShownValue(first, file, elements), c.fileText) << c.names[0];
    EXPECT_EQ(ShownValue(first, unit, elements), c.unitText) << c.names[0];
  }
}

// Plays the tool's part against a simulated unit: sends what the comparison
// asks for, dispatches each answer into its model, and lets time pass only
// while it waits.
struct Exchange {
  UnitComparison comparison;
  sim::SimulatedUnit unit;
  testing::RecordingMessages messages;
  testing::RecordingTransport transport;
  LinkState link;
  Panel panel{comparison.unit, link, messages, transport};
  Millis now{0};
  int answerCount = 1000;  // the unit goes silent after this many answers
  std::vector<std::string> sent;

  void Answer(const std::string& answer) {
    messages.boxes.clear();
    DispatchSerialReply(panel, answer);
    comparison.Replied(ReplyValue(answer), {}, messages.boxes.empty() ? "" : messages.boxes.back().text);
  }

  void Run() {
    while (comparison.Running()) {
      const auto line = comparison.Next(now);
      if (!line) {
        if (comparison.Running()) now = comparison.Deadline();
        continue;
      }
      sent.push_back(line->line);
      now += Millis(20);
      if (answerCount-- > 0) Answer(unit.Answer(line->line));
    }
  }

  std::vector<std::string> Results() const {
    std::vector<std::string> results;
    for (const ComparisonRow& row : comparison.Rows()) results.push_back(ComparedSettings()[row.setting].name + ": " + row.Result());
    return results;
  }
};

TEST(UnitComparison, ListsTheDifferencesAfterOneRequestPerReply) {
  Exchange x;
  DeviceSettings file = Defaults();
  file.videoContrast[0] = 50;
  CopyText(file.channelTitle[1], "GATE");
  x.comparison.StartReading(file, kSerialAnswerTimeout);
  x.Run();
  EXPECT_EQ(x.sent.size(), 160u) << "no request sent twice";
  EXPECT_EQ(x.now, Millis(160 * 20)) << "never waited for a time-out";
  EXPECT_EQ(x.Results(), (std::vector<std::string>{"タイトル ch.02: 相違", "ビデオ調整 ch.01 Contrast: 相違"}));
  EXPECT_EQ(x.comparison.Summary(), "2 件の相違");
  EXPECT_EQ(x.comparison.unit.firmwareVersion, std::string("1.00"));
}

TEST(UnitComparison, AUnitThatFallsSilentEndsAfterThreeRequestsEachAskedTwice) {
  Exchange x;
  x.answerCount = 150;
  x.comparison.StartReading(Defaults(), kSerialAnswerTimeout);
  x.Run();
  EXPECT_EQ(x.sent.size(), 150u + 3 * 2) << "each silent request once more, three in a row end it";
  EXPECT_EQ(x.sent[150], x.sent[151]);
  EXPECT_TRUE(x.comparison.Silenced());
  EXPECT_EQ(x.comparison.Unread().size(), 10u);
  const std::vector<std::string> results = x.Results();
  EXPECT_EQ(results.front(), "プロトコル Connection Try: 応答なし");
  EXPECT_EQ(results.size(), 3u) << "RECT, REKA, RETR, never asked; the rest of the last ten are not compared";
  EXPECT_EQ(x.comparison.Summary(), "3 件は応答なし");
  EXPECT_STREQ(x.comparison.unit.firmwareVersion, "") << "RVN was never answered";
}

TEST(UnitComparison, AnErrorReplyShowsInItsRowAndCancelStopsAfterTheAnswer) {
  Exchange x;
  x.comparison.StartReading(Defaults(), kSerialAnswerTimeout);
  ASSERT_EQ(x.comparison.Next(x.now), ToolRequest{"RCT01\r\n"});
  x.comparison.Cancel();
  EXPECT_EQ(x.comparison.Next(x.now), std::nullopt);
  EXPECT_TRUE(x.comparison.Running()) << "the request out is still awaited";
  x.Answer("E3\r\n");
  EXPECT_EQ(x.comparison.Next(x.now), std::nullopt);
  EXPECT_FALSE(x.comparison.Running());
  EXPECT_EQ(x.Results(), (std::vector<std::string>{"タイトル ch.01: Command Error"}));
  EXPECT_EQ(x.comparison.Summary(), "中止: 1 件はエラー");
}

TEST(UnitComparison, AnAnswerNoDecoderTakesIsUnreadableNotTheSame) {
  Exchange x;
  x.comparison.StartReading(Defaults(), kSerialAnswerTimeout);
  std::size_t asked = 0;
  while (x.comparison.Running()) {
    const auto line = x.comparison.Next(x.now);
    if (!line) break;
    ++asked;
    // Contrast of channel 1 comes back as 999, out of its range; the title of
    // channel 2 with a control byte. Every other answer is the unit's own.
    if (line->line == "RVAC01\r\n") {
      x.Answer("VAC01999\r\n");
    } else if (line->line == "RCT02\r\n") {
      x.Answer("CT02AB\x01" "CDEFG\r\n");
    } else {
      x.Answer(x.unit.Answer(line->line));
    }
  }
  EXPECT_EQ(asked, 160u);
  EXPECT_EQ(x.Results(), (std::vector<std::string>{"タイトル ch.02: 読めない値 \"CT02AB\\x01CDEFG\"",
                                                   "ビデオ調整 ch.01 Contrast: 読めない値 \"VAC01999\""}));
  EXPECT_EQ(x.comparison.Summary(), "2 件は読めない値");
}

TEST(UnitComparison, WritesTheCheckedRowsThenReadsThemBack) {
  Exchange x;
  DeviceSettings file = Defaults();
  file.videoHue[5] = 33;
  file.layout6[1][0] = 15;
  CopyText(file.channelTitle[2], "cam");  // lower case: outside the unit's characters
  file.keepAlive = 1;
  x.comparison.StartReading(file, kSerialAnswerTimeout);
  x.Run();
  ASSERT_EQ(x.Results().size(), 5u);
  x.sent.clear();
  x.comparison.StartWriting({0, 1, 2, 3, 4}, false, kSocketAnswerTimeout);
  x.Run();
  EXPECT_EQ(x.Results(), (std::vector<std::string>{
                             "タイトル ch.03: 仕様以外の字が選択されてます",
                             "ビデオ調整 ch.06 Hue: 確認済み",
                             "分割画面配置 Div.6B: 確認済み",
                             "プロトコル Keep Alive: インターフェースをRS-232Cにしてください。",
                             "プロトコル Time Register: インターフェースをRS-232Cにしてください。",
                         }));
  EXPECT_EQ(x.sent, (std::vector<std::string>{"VAH06033\r\n", "SPD6B160809101112\r\n", "RVAH06\r\n", "RSPD6B\r\n"}));
  EXPECT_EQ(x.comparison.Summary(), "確認済み 2 件、送信不可 3 件");
}

TEST(UnitComparison, OnRs232cAnotherUnitOnTheCableGetsNoWrite) {
  for (const bool moved : {false, true}) {
    Exchange x;
    DeviceSettings file = Defaults();
    file.videoHue[5] = 33;
    x.comparison.StartReading(file, kSerialAnswerTimeout);
    x.Run();
    if (moved) CopyText(x.unit.settings.macAddress, "00-80-45-99-99-99");
    x.sent.clear();
    x.comparison.StartWriting({0}, true, kSerialAnswerTimeout, true);
    x.Run();
    if (moved) {
      EXPECT_EQ(x.sent, (std::vector<std::string>{"REMA\r\n"}));
      EXPECT_EQ(x.Results(), (std::vector<std::string>{
                                 "ビデオ調整 ch.06 Hue: 別のユニットが接続されています (MAC 00-80-45-99-99-99)"}));
    } else {
      EXPECT_EQ(x.sent, (std::vector<std::string>{"REMA\r\n", "VAH06033\r\n", "RVAH06\r\n"}));
      EXPECT_EQ(x.Results(), (std::vector<std::string>{"ビデオ調整 ch.06 Hue: 確認済み"}));
    }
  }
}

// A scan against a bus that `answer` plays: each request's replies (line,
// address) come 25 ms after it; a silent address costs the 200 ms time-out.
// Gives the requests as "05 RVN".
template <class Answer>
std::vector<std::string> RunScan(BusScan& scan, Answer answer, Millis& now) {
  std::vector<std::string> asked;
  scan.Start();
  while (scan.Running()) {
    const auto request = scan.Next(now);
    if (!request) {
      if (scan.Running()) now = scan.Deadline();
      continue;
    }
    asked.push_back(PaddedDecimal(request->address, 2) + " " + request->line.substr(0, request->line.size() - 2));
    now += Millis(25);
    for (const auto& [line, address] : answer(request->address, request->line == "RVN\r\n")) {
      scan.Replied(line, address, line == "E3" ? "Command Error" : "");
    }
  }
  return asked;
}

using Replies = std::vector<std::pair<std::string, std::string>>;

std::string Mac(int address) { return "00-80-45-00-00-" + PaddedDecimal(address, 2); }

TEST(BusScan, AsksEachAddressItsVersionThenItsMacAndCreditsLateAnswersToTheirAddress) {
  // 03 is slow: its version comes while 04 is asked. A second unit on 06
  // answers the version request again, without colliding, while the MAC
  // request is out; one on 08 gives a MAC address of its own, late.
  Millis now{0};
  BusScan scan;
  const auto asked = RunScan(scan, [](int address, bool version) -> Replies {
    const std::string own = PaddedDecimal(address, 2);
    if (address == 3) return {};
    if (address == 4 && version) return {{"Ver. 1.03", "03"}, {"Ver. 1.04", own}};
    if (address == 9 && version) return {{"EMA" + Mac(99), "08"}};
    if (address == 4 || address == 6 || address == 8) {
      if (!version) return address == 6 ? Replies{{"Ver. 1.06", own}, {"EMA" + Mac(6), own}} : Replies{{"EMA" + Mac(address), own}};
      return {{"Ver. 1.0" + std::to_string(address), own}};
    }
    return {};
  }, now);
  EXPECT_EQ(std::vector<std::string>(asked.begin(), asked.begin() + 10),
            (std::vector<std::string>{"00 RVN", "01 RVN", "02 RVN", "03 RVN", "04 RVN", "04 REMA", "05 RVN", "06 RVN",
                                      "06 REMA", "07 RVN"}))
      << "no MAC request to a silent address";
  EXPECT_EQ(asked.size(), 32u + 3u);
  EXPECT_EQ(now, Millis(29 * 200 + 6 * 25));
  EXPECT_EQ(scan.Units(), (std::vector<BusUnit>{
                              {3, "1.03", "", false, "応答"},
                              {4, "1.04", Mac(4), false, "応答"},
                              {6, "1.06", Mac(6), true, "重複の疑い: 2 回応答"},
                              {8, "1.08", Mac(8), true, "重複の疑い: MAC アドレスが 2 つ"},
                          }));
}

TEST(BusScan, AGarbledOrMisaddressedAnswerIsAskedAgainThenFlagged) {
  Millis now{0};
  int noisy = 0;
  BusScan scan;
  const auto asked = RunScan(scan, [&](int address, bool version) -> Replies {
    const std::string own = PaddedDecimal(address, 2);
    switch (address) {
      case 0:
      case 7:
        return {{version ? "Ver. 1.00" : "EMA" + Mac(address), own}};
      case 5:  // two units answer at once, every time
        return {{version ? "VVeerr..  11..0000" : "EEMMAA", own}};
      case 9:
        return {{"Ver. 1.00", "12"}};
      case 11:  // noise on the line, once
        return {{noisy++ == 0 ? "Vr. 1.0" : version ? "Ver. 1.11" : "EMA" + Mac(11), own}};
      case 12:
        return {{"E3", own}};
      case 13:  // a unit that knows no MAC request
        return {{version ? "Ver. 0.90" : "E3", own}};
      default:
        return {};
    }
  }, now);
  std::vector<std::string> expected;
  for (int address = 0; address < kBusAddressCount; ++address) {
    const std::string own = PaddedDecimal(address, 2);
    expected.push_back(own + " RVN");
    if (address == 5 || address == 9 || address == 11) expected.push_back(own + " RVN");
    if (address == 0 || address == 7 || address == 11 || address == 13) expected.push_back(own + " REMA");
  }
  EXPECT_EQ(asked, expected) << "each garbled or misaddressed answer asked for once more";
  EXPECT_EQ(scan.Units(), (std::vector<BusUnit>{
                              {0, "1.00", Mac(0), false, "応答"},
                              {5, "", "", true, "重複の疑い: 応答が乱れています"},
                              {7, "1.00", Mac(7), false, "応答"},
                              {9, "", "", true, "重複の疑い: アドレス 12 で応答"},
                              {11, "1.11", Mac(11), false, "応答"},
                              {12, "", "", false, "Command Error"},
                              {13, "0.90", "", false, "応答"},
                          }));
  EXPECT_EQ(scan.Summary(), "7 台が応答、2 件はアドレスの重複の疑い");
  EXPECT_EQ(now, Millis(14 * 25 + 25 * 200));
}

}  // namespace
}  // namespace kelvrix
