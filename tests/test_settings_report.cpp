// The settings report: the panes of every division pattern tile its screen,
// each layout picture shows every pane's number, channel and title, text is
// escaped, and the page and the CSV hold a setting of each kind.
#include <gtest/gtest.h>

#include <vector>

#include "model/device_settings.h"
#include "tools/settings_report.h"
#include "tools/unit_comparison.h"

namespace kelvrix {
namespace {

int Count(const std::string& text, const std::string& part) {
  int n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

DeviceSettings Defaults() {
  DeviceSettings settings{};
  ResetSettingsToDefaults(settings);
  return settings;
}

TEST(SettingsReport, ThePanesOfEveryPatternCoverItsGridOnceEach) {
  for (int division = 0; division < kDivisionPatternCount; ++division) {
    const DivisionPattern& pattern = kDivisionPatterns[division];
    std::vector<int> covered(static_cast<std::size_t>(pattern.columns * pattern.rows), 0);
    for (int pane = 0; pane < pattern.paneCount; ++pane) {
      const PanePlace place = PanePlaceOf(division, pane);
      ASSERT_LE(place.column + place.columns, pattern.columns) << pattern.mnemonic << " pane " << pane;
      ASSERT_LE(place.row + place.rows, pattern.rows) << pattern.mnemonic << " pane " << pane;
      for (int c = place.column; c < place.column + place.columns; ++c) {
        for (int r = place.row; r < place.row + place.rows; ++r) ++covered[static_cast<std::size_t>(r * pattern.columns + c)];
      }
    }
    EXPECT_EQ(covered, std::vector<int>(covered.size(), 1)) << pattern.mnemonic;
  }
  EXPECT_EQ(PanePlaceOf(4, 0), (PanePlace{0, 0, 2, 2})) << "6-way: the first pane large";
  EXPECT_EQ(PanePlaceOf(9, 11), (PanePlace{3, 2, 1, 1}));
}

TEST(SettingsReport, EachLayoutPictureShowsEveryPaneWithItsChannelAndTitleEscaped) {
  DeviceSettings settings = Defaults();
  CopyText(settings.channelTitle[4], "A<&\xDF\"B");
  settings.layout6[0][0] = 4;  // 6-way A's large pane shows ch.05
  for (int division = 0; division < kDivisionPatternCount; ++division) {
    const std::string svg = LayoutSvg(settings, division);
    const int panes = kDivisionPatterns[division].paneCount;
    EXPECT_EQ(Count(svg, "<rect"), panes + 1) << kDivisionPatterns[division].mnemonic;  // and the screen
    EXPECT_EQ(Count(svg, ">No."), panes);
    EXPECT_NE(svg.find(">No." + std::string(panes < 10 ? "0" : "") + std::to_string(panes) + "<"), std::string::npos);
  }
  const std::string sixWay = LayoutSvg(settings, 4);
  EXPECT_NE(sixWay.find(">ch.05<"), std::string::npos);
  EXPECT_NE(sixWay.find(">A&lt;&amp;\uFF9F&quot;B<"), std::string::npos) << "the 0xDF mark as its kana, all escaped";
  EXPECT_EQ(sixWay.find("A<&"), std::string::npos);
}

TEST(SettingsReport, ThePageHoldsEverySectionAndTheCsvEverySetting) {
  DeviceSettings settings = Defaults();
  settings.videoBrightness[2] = 120;
  settings.borderLine = 2;
  CopyText(settings.channelTitle[0], "GATE,1");
  settings.alarmHistory[0] = {3, 12, 3, 7, 9, 5, 0};

  const std::string file = SettingsReportHtml(settings, {{}, {}, {}, "site<1>.dat", "2026-12-10 09:05", "2026-12-10 10:00", {}, {}});
  for (const char* part : {"<h2>ユニット</h2>", "site&lt;1&gt;.dat", "<h3>ビデオ調整</h3>", "<h3>その他</h3>",
                           "<h2>分割画面の配置</h2>", "<h2>自動切換え</h2>", "4分割A", "16分割", "2026-12-10 10:00"}) {
    EXPECT_NE(file.find(part), std::string::npos) << part;
  }
  // A setting of each kind, as its dialog shows it: a choice, a number per
  // channel (in its channel's column), a title, a list, the sequence's steps.
  for (const char* part : {"<td>ボーダーライン</td><td>WHITE</td>", "<th>Brightness</th><td>000</td><td>000</td><td>120</td><td>000</td>",
                           "<td>ch.01</td><td>&quot;GATE,1  &quot;</td>", "ch.01 <b>ON</b>", "<td>01</td><td>ch.01</td>"}) {
    EXPECT_NE(file.find(part), std::string::npos) << part;
  }
  EXPECT_EQ(Count(file, "<svg"), kDivisionPatternCount);
  EXPECT_EQ(file.find("<script"), std::string::npos);
  EXPECT_EQ(file.find("アラーム履歴</h2>"), std::string::npos) << "a file holds no history";
  ReportSource source{"05", "02-00-00-00-01-05", "2.31", {}, "2026-12-10 09:05", "2026-12-10 10:00", {}, {0, 100}};
  source.unread.assign(ComparedSettings().size(), false);
  for (std::size_t i = 0; i < source.unread.size(); ++i) {
    source.unread[i] = ComparedSettings()[i].name == "その他 ボーダーライン" || ComparedSettings()[i].name.ends_with("Div.16");
  }
  const std::string unit = SettingsReportHtml(settings, source);
  EXPECT_NE(unit.find("<h2>アラーム履歴</h2>"), std::string::npos);
  for (const char* part : {"<td>ボーダーライン</td><td>読めない値</td>", "16分割 読めない値", "読めない値: 100 件の記録を読めませんでした。"}) {
    EXPECT_NE(unit.find(part), std::string::npos) << part << ": what the unit did not give, never the initial value";
  }
  EXPECT_EQ(Count(unit, "<svg"), kDivisionPatternCount - 1);
  EXPECT_NE(SettingsReportCsv(settings, false, source).find("その他,ボーダーライン,読めない値\n"), std::string::npos);
  EXPECT_NE(unit.find("2012-03-07 09:05:00"), std::string::npos);

  const std::string csv = SettingsReportCsv(settings, true);
  EXPECT_EQ(csv.substr(0, 23), "\xEF\xBB\xBFgroup,setting,value\n");
  for (const char* row : {"\nタイトル,ch.01,\"\"\"GATE,1  \"\"\"\n", "\nその他,ボーダーライン,", "\n分割画面配置,Div.4A No.01,ch.01\n"}) {
    EXPECT_NE(csv.find(row), std::string::npos) << row;
  }
  EXPECT_EQ(SettingsReportCsv(settings, false).substr(0, 20), "group,setting,value\n");
}

}  // namespace
}  // namespace kelvrix
