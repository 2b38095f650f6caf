#include "tools/settings_report.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "model/csv_text.h"
#include "model/dialog_texts.h"
#include "model/digits.h"
#include "model/unit_text.h"
#include "tools/unit_comparison.h"
#include "tools/unit_files.h"

namespace kelvrix {

namespace {

// Drawn in their own sections rather than among the settings.
constexpr std::string_view kLayoutGroup = "分割画面配置";
constexpr std::string_view kSequenceGroup = "自動切換え";

// A compared setting's name as the report groups it: the dialog, then the item.
struct Named {
  std::string group, item;
};

Named Split(const std::string& name) {
  const std::size_t space = name.find(' ');
  if (space == std::string::npos) return {name, {}};
  return {name.substr(0, space), name.substr(space + 1)};
}

// An element of a list setting ("No.01 ch.05"): its label and its value.
Named Element(const std::string& text) {
  const std::size_t space = text.rfind(' ');
  if (space == std::string::npos) return {{}, text};
  return {text.substr(0, space), text.substr(space + 1)};
}

// " 4分割A " as a caption: "4分割A".
std::string Bare(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' '), last = text.find_last_not_of(' ');
  return first == std::string_view::npos ? std::string() : std::string(text.substr(first, last - first + 1));
}

// The setting's value as its dialog shows it, or one "読めない値" for a value not read.
std::vector<std::string> ShownOrUnread(std::size_t index, const DeviceSettings& settings, const ReportSource& source) {
  if (source.Unread(index)) return {std::string(kUnreadValue)};
  return ComparedSettings()[index].shown(settings);
}

std::string Row(std::initializer_list<std::string> cells, const char* tag = "td") {
  std::string row = "<tr>";
  for (const std::string& cell : cells) row += std::string("<") + tag + ">" + EscapeHtml(cell) + "</" + tag + ">";
  return row + "</tr>\n";
}

// The index of the setting named so in ComparedSettings(); nothing when none is.
std::optional<std::size_t> Find(std::string_view name) {
  const auto& settings = ComparedSettings();
  for (std::size_t i = 0; i < settings.size(); ++i) {
    if (settings[i].name == name) return i;
  }
  return std::nullopt;
}

std::string Identity(const ReportSource& source) {
  std::string html = "<section>\n<h2>ユニット</h2>\n<table class=\"pairs\">\n";
  if (source.FromUnit()) {
    html += Row({"ユニット", source.unit}) + Row({"MAC アドレス", source.mac}) + Row({"バージョン", source.version}) +
            Row({"読み込んだ時刻", source.time});
  } else {
    html += Row({"設定ファイル", source.file}) + Row({"ファイルの日時", source.time});
  }
  html += Row({"レポートの作成日時", source.made});
  return html + "</table>\n</section>\n";
}

struct Item {
  std::string name;
  std::vector<std::string> shown;
};

// A group whose every item is one value per channel ("ch.05 Brightness"),
// as a table of a row per label and a column per channel, as its dialog
// shows it; empty for any other group.
std::string ChannelTable(const std::vector<Item>& items) {
  std::vector<std::string> labels;
  for (const Item& item : items) {
    const bool perChannel = item.shown.size() == 1 && item.name.starts_with("ch.") && item.name.size() > 6 &&
                            item.name[5] == ' ';
    if (!perChannel) return {};
    const std::string label = item.name.substr(6);
    if (std::find(labels.begin(), labels.end(), label) == labels.end()) labels.push_back(label);
  }
  std::string html = "<table class=\"channels\">\n<tr><th></th>";
  for (int channel = 1; channel <= kChannelCount; ++channel) html += "<th>" + PaddedDecimal(channel, 2) + "</th>";
  html += "</tr>\n";
  for (const std::string& label : labels) {
    html += "<tr><th>" + EscapeHtml(label) + "</th>";
    for (const Item& item : items) {
      if (item.name.substr(6) == label) html += "<td>" + EscapeHtml(item.shown[0]) + "</td>";
    }
    html += "</tr>\n";
  }
  return html + "</table>\n";
}

std::string PairTable(const std::vector<Item>& items) {
  std::string html = "<table class=\"pairs\">\n";
  for (const Item& item : items) {
    if (item.shown.size() == 1) {
      html += Row({item.name, item.shown[0]});
      continue;
    }
    html += "<tr><td>" + EscapeHtml(item.name) + "</td><td class=\"elements\">";
    for (const std::string& text : item.shown) {
      const Named element = Element(text);
      html += "<span>" + EscapeHtml(element.group) + " <b>" + EscapeHtml(element.item) + "</b></span>";
    }
    html += "</td></tr>\n";
  }
  return html + "</table>\n";
}

std::string Settings(const DeviceSettings& settings, const ReportSource& source) {
  std::vector<std::pair<std::string, std::vector<Item>>> groups;
  const auto& compared = ComparedSettings();
  for (std::size_t i = 0; i < compared.size(); ++i) {
    const Named named = Split(compared[i].name);
    if (named.group == kLayoutGroup || named.group == kSequenceGroup) continue;
    if (groups.empty() || groups.back().first != named.group) groups.push_back({named.group, {}});
    groups.back().second.push_back({named.item, ShownOrUnread(i, settings, source)});
  }
  std::string html = "<section class=\"flow\">\n<h2>設定</h2>\n";
  for (const auto& [group, items] : groups) {
    const std::string channels = ChannelTable(items);
    html += "<h3>" + EscapeHtml(group) + "</h3>\n" + (channels.empty() ? PairTable(items) : channels);
  }
  return html + "</section>\n";
}

std::string Layouts(const DeviceSettings& settings, const ReportSource& source) {
  std::string html = "<section>\n<h2>分割画面の配置</h2>\n<div class=\"layouts\">\n";
  for (int division = 0; division < kDivisionPatternCount; ++division) {
    const std::string caption = Bare(kLayoutEntries[division].heading);
    const auto setting = Find(std::string(kLayoutGroup) + " " + ScreenEntries()[kFirstDivision + division]);
    const bool unread = setting && source.Unread(*setting);
    html += "<figure>" + (unread ? std::string() : LayoutSvg(settings, division)) + "<figcaption>" +
            EscapeHtml(unread ? caption + " " + std::string(kUnreadValue) : caption) + "</figcaption></figure>\n";
  }
  return html + "</div>\n</section>\n";
}

std::string Sequence(const DeviceSettings& settings, const ReportSource& source) {
  std::string html = "<section>\n<h2>自動切換え</h2>\n<table class=\"pairs\">\n";
  if (const auto mode = Find("自動切換え モード")) html += Row({"モード", ShownOrUnread(*mode, settings, source)[0]});
  html += "</table>\n<table class=\"steps\">\n" + Row({"順番", "画面", "時間"}, "th");
  if (const auto dwell = Find("自動切換え 時間（秒）")) {
    int step = 0;
    for (const std::string& text : ShownOrUnread(*dwell, settings, source)) {
      const Named element = source.Unread(*dwell) ? Named{{}, text} : Element(text);
      html += Row({PaddedDecimal(++step, 2), element.group, element.item});
    }
  }
  return html + "</table>\n</section>\n";
}

std::string Histories(const DeviceSettings& settings, const ReportSource& source) {
  std::string html;
  const std::pair<const char*, const History*> kinds[] = {{"アラーム履歴", &settings.alarmHistory},
                                                          {"ビデオロス履歴", &settings.videoLossHistory}};
  for (std::size_t kind = 0; kind < 2; ++kind) {
    const auto& [heading, history] = kinds[kind];
    html += "<section>\n<h2>" + std::string(heading) + "</h2>\n";
    if (const int unread = source.unreadHistoryEntries[kind]; unread > 0) {
      html += "<p>" + std::string(kUnreadValue) + ": " + std::to_string(unread) + " 件の記録を読めませんでした。</p>\n";
    }
    const int count = HistoryCount(*history);
    if (count == 0 && source.unreadHistoryEntries[kind] > 0) {
      html += "</section>\n";
      continue;
    }
    if (count == 0) {
      html += "<p>記録はありません。</p>\n</section>\n";
      continue;
    }
    html += "<table class=\"steps\">\n" + Row({"番号", "チャンネル", "日時"}, "th");
    for (int k = 0; k < count; ++k) {
      const HistoryRecord& record = (*history)[static_cast<std::size_t>(k)];
      html += Row({std::to_string(k + 1), "ch." + PaddedDecimal(record.channel, 2), HistoryTime(record)});
    }
    html += "</table>\n</section>\n";
  }
  return html;
}

constexpr std::string_view kStyle = R"(@page { size: A4; margin: 14mm; }
body { font-family: "IPAGothic", "IPAPGothic", "Meiryo", "Yu Gothic", sans-serif; font-size: 10pt; color: #111; }
h1 { font-size: 16pt; margin: 0 0 4mm; }
h2 { font-size: 13pt; border-bottom: 1px solid #444; margin: 0 0 3mm; }
h3 { font-size: 11pt; margin: 4mm 0 1mm; break-after: avoid; }
section { break-before: page; }
section:first-of-type, section.flow { break-before: auto; }
table { border-collapse: collapse; width: 100%; margin-bottom: 2mm; }
td, th { border: 1px solid #999; padding: 1mm 2mm; text-align: left; vertical-align: top; }
tr, figure { break-inside: avoid; }
table.pairs td:first-child { width: 40%; }
table.channels { font-size: 8pt; }
table.channels td, table.channels th { padding: 0.5mm 1mm; text-align: center; }
table.channels th:first-child { text-align: left; white-space: nowrap; }
td.elements span { display: inline-block; min-width: 24mm; margin-right: 2mm; }
.layouts { display: grid; grid-template-columns: repeat(3, 1fr); gap: 5mm; }
figure { margin: 0; }
figure svg { width: 100%; height: auto; display: block; }
figcaption { text-align: center; font-weight: bold; margin-top: 1mm; }
)";

}  // namespace

std::string EscapeHtml(std::string_view text) {
  std::string escaped;
  for (const char c : ValidUtf8(text)) {
    switch (c) {
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '&': escaped += "&amp;"; break;
      case '"': escaped += "&quot;"; break;
      default: escaped += c; break;
    }
  }
  return escaped;
}

std::string LayoutSvg(const DeviceSettings& settings, int division) {
  constexpr int kWidth = 400, kHeight = 300;  // the monitor, 4:3
  division = std::clamp(division, 0, kDivisionPatternCount - 1);
  const DivisionPattern& pattern = kDivisionPatterns[division];
  const auto panes = LayoutPanes(settings, division);
  const int cellWidth = kWidth / pattern.columns, cellHeight = kHeight / pattern.rows;
  const int cellSize = std::min(cellWidth, cellHeight * 4 / 3) / 6;  // the text's height in a one-cell pane
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + std::to_string(kWidth) + " " +
                    std::to_string(kHeight) + "\" role=\"img\"><rect width=\"" + std::to_string(kWidth) +
                    "\" height=\"" + std::to_string(kHeight) + "\" fill=\"#1d2733\"/>";
  for (int pane = 0; pane < pattern.paneCount; ++pane) {
    const PanePlace place = PanePlaceOf(division, pane);
    const int x = place.column * cellWidth, y = place.row * cellHeight;
    const int width = place.columns * cellWidth, height = place.rows * cellHeight;
    const int channel = panes[static_cast<std::size_t>(pane)];
    const int size = cellSize * std::min(place.columns, place.rows);  // a large pane, large letters
    const int middle = x + width / 2, top = y + height / 2 - size;
    const auto text = [&](int lineY, int fontSize, const std::string& content, const char* weight) {
      return "<text x=\"" + std::to_string(middle) + "\" y=\"" + std::to_string(lineY) + "\" font-size=\"" +
             std::to_string(fontSize) + "\" font-weight=\"" + weight + "\" text-anchor=\"middle\" fill=\"#fff\">" +
             EscapeHtml(content) + "</text>";
    };
    svg += "<rect x=\"" + std::to_string(x + 1) + "\" y=\"" + std::to_string(y + 1) + "\" width=\"" +
           std::to_string(width - 2) + "\" height=\"" + std::to_string(height - 2) +
           "\" fill=\"#34506b\" stroke=\"#e8eef4\" stroke-width=\"2\"/>";
    svg += text(top, size * 4 / 5, PaneEntry(pane), "normal");
    svg += text(top + size * 5 / 4, size * 5 / 4, "ch." + PaddedDecimal(channel + 1, 2), "bold");
    svg += text(top + size * 5 / 2, size, Bare(TitleText(settings.channelTitle[channel])), "normal");
  }
  return svg + "</svg>";
}

std::string SettingsReportHtml(const DeviceSettings& settings, const ReportSource& source) {
  std::string html = "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n<title>設定レポート</title>\n"
                     "<style>\n" + std::string(kStyle) + "</style>\n</head>\n<body>\n<h1>設定レポート</h1>\n";
  html += Identity(source) + Settings(settings, source) + Layouts(settings, source) + Sequence(settings, source);
  if (source.FromUnit()) html += Histories(settings, source);
  return html + "</body>\n</html>\n";
}

std::string SettingsReportCsv(const DeviceSettings& settings, bool byteOrderMark, const ReportSource& source) {
  std::string csv = byteOrderMark ? std::string(kByteOrderMark) : std::string();
  csv += CsvRow({"group", "setting", "value"});
  const auto& compared = ComparedSettings();
  for (std::size_t i = 0; i < compared.size(); ++i) {
    const Named named = Split(compared[i].name);
    const std::vector<std::string> shown = ShownOrUnread(i, settings, source);
    for (const std::string& value : shown) {
      const Named element = Element(value);
      const std::string item = shown.size() == 1 ? named.item : named.item + " " + element.group;
      csv += CsvRow({named.group, item, shown.size() == 1 ? value : element.item});
    }
  }
  return csv;
}

}  // namespace kelvrix
