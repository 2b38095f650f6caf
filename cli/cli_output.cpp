#include "cli/cli_output.h"

#include <algorithm>
#include <cstdio>

#include "model/dialog_texts.h"
#include "model/digits.h"
#include "model/unit_text.h"

namespace kelvrix::cli {

namespace {

// Columns a UTF-8 text takes in a terminal: East Asian wide characters two.
std::size_t DisplayWidth(std::string_view text) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t code = lead < 0x80 ? lead : lead & (0xFF >> (length + 1));
    for (std::size_t k = 1; k < length && i + k < text.size(); ++k) code = (code << 6) | (text[i + k] & 0x3F);
    const bool wide = (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
                      (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
                      (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
                      (code >= 0xFFE0 && code <= 0xFFE6);
    width += wide ? 2 : 1;
    i += length;
  }
  return width;
}

// One JSON object of string members, in the order given.
std::string JsonObject(const std::vector<std::pair<std::string_view, std::string>>& members) {
  std::string json = "{";
  for (const auto& [key, value] : members) {
    if (json.size() > 1) json += ", ";
    (json += JsonString(key)) += ": ";
    json += value;
  }
  return json + "}";
}

std::string JsonArray(std::string_view key, const std::vector<std::string>& items, std::string_view summary) {
  std::string json = "{";
  (json += JsonString(key)) += ": [";
  for (std::size_t i = 0; i < items.size(); ++i) (json += i == 0 ? "\n  " : ",\n  ") += items[i];
  json += items.empty() ? "]" : "\n]";
  if (!summary.empty()) (json += ", \"summary\": ") += JsonString(summary);
  return json + "}\n";
}

// The setting's value with every element shown.
std::string WholeValue(const ComparedSetting& setting, const DeviceSettings& settings) {
  return ShownValue(setting, settings, std::vector<bool>(setting.shown(settings).size(), true));
}

}  // namespace

std::string TextTable(const std::vector<std::vector<std::string>>& rows) {
  constexpr std::size_t kWidestColumn = 40;
  std::vector<std::size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()), 0);
    for (std::size_t c = 0; c < row.size(); ++c) {
      if (const std::size_t width = DisplayWidth(row[c]); width <= kWidestColumn) widths[c] = std::max(widths[c], width);
    }
  }
  std::string text;
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      line += row[c];
      if (c + 1 < row.size()) line += std::string(widths[c] - std::min(widths[c], DisplayWidth(row[c])) + 2, ' ');
    }
    (text += line) += '\n';
  }
  return text;
}

std::string JsonWithError(std::string_view json, std::string_view error, int exitCode) {
  std::string object(json);
  while (!object.empty() && (object.back() == '\n' || object.back() == ' ')) object.pop_back();
  if (object.size() < 2 || object.front() != '{' || object.back() != '}') object = "{}";
  object.pop_back();
  if (object.size() > 1) object += ", ";
  return object + "\"error\": " + JsonString(error) + ", \"exit\": " + std::to_string(exitCode) + "}\n";
}

std::string ShowSettings(const DeviceSettings& settings, bool json) {
  std::vector<std::vector<std::string>> rows = {{"項目", "値"}};
  std::vector<std::string> items;
  for (const ComparedSetting& setting : ComparedSettings()) {
    const std::string value = WholeValue(setting, settings);
    rows.push_back({setting.name, value});
    items.push_back(JsonObject({{"setting", JsonString(setting.name)}, {"value", JsonString(value)}}));
  }
  return json ? JsonArray("settings", items, {}) : TextTable(rows);
}

std::string ComparisonReport(const UnitComparison& comparison, bool json, std::string_view summaryGiven) {
  const std::string summary = summaryGiven.empty() ? comparison.Summary() : std::string(summaryGiven);
  std::vector<std::vector<std::string>> rows = {{"項目", "ファイル", "ユニット", "結果"}};
  std::vector<std::string> items;
  for (const ComparisonRow& row : comparison.Rows()) {
    const ComparedSetting& setting = ComparedSettings()[row.setting];
    const bool unitKnown = UnitValueKnown(row.state);
    const std::string file = ShownValue(setting, comparison.File(), row.elements);
    const std::string unit = unitKnown ? ShownValue(setting, comparison.unit, row.elements) : "—";
    rows.push_back({setting.name, file, unit, row.Result()});
    items.push_back(JsonObject({{"setting", JsonString(setting.name)},
                                {"file", JsonString(file)},
                                {"unit", unitKnown ? JsonString(unit) : "null"},
                                {"result", JsonString(row.Result())}}));
  }
  if (json) return JsonArray("differences", items, summary);
  return (comparison.Rows().empty() ? std::string() : TextTable(rows)) + summary + "\n";
}

std::string ScanReport(const BusScan& scan, bool json) {
  std::vector<std::vector<std::string>> rows = {{"アドレス", "バージョン", "MAC アドレス", "状態"}};
  std::vector<std::string> items;
  for (const BusUnit& unit : scan.Units()) {
    const std::string address = PaddedDecimal(unit.address, 2);
    rows.push_back({address, unit.version, unit.mac, unit.status});
    items.push_back(JsonObject({{"address", JsonString(address)},
                                {"version", JsonString(unit.version)},
                                {"mac", JsonString(unit.mac)},
                                {"conflict", unit.conflict ? "true" : "false"},
                                {"status", JsonString(unit.status)}}));
  }
  if (json) return JsonArray("units", items, scan.Summary());
  return (scan.Units().empty() ? std::string() : TextTable(rows)) + scan.Summary() + "\n";
}

std::string InventoryReport(const std::vector<InventoryRow>& rows, bool json, std::string_view note) {
  if (!json) return InventoryCsv(rows, false, note);
  std::vector<std::string> items;
  for (const InventoryRow& r : rows) {
    items.push_back(JsonObject({{"unit", JsonString(r.unit)},
                                {"mac", JsonString(r.mac)},
                                {"version", JsonString(r.version)},
                                {"time", JsonString(r.time)},
                                {"file", JsonString(r.file)},
                                {"result", JsonString(r.result)}}));
  }
  std::string report = JsonArray("units", items, {});
  if (note.empty()) return report;
  report.resize(report.size() - 2);  // the object's "}\n"
  return report + ", \"note\": " + JsonString(note) + "}\n";
}

std::string UnitResultsReport(const std::vector<UnitResult>& results, bool json) {
  std::vector<std::vector<std::string>> rows = {{"ユニット", "結果"}};
  std::vector<std::string> items;
  for (const UnitResult& r : results) {
    rows.push_back({r.unit, r.result});
    items.push_back(JsonObject(
        {{"unit", JsonString(r.unit)}, {"result", JsonString(r.result)}, {"ok", r.ok ? "true" : "false"}}));
  }
  return json ? JsonArray("units", items, {}) : TextTable(rows);
}

std::string HistoryReport(const History& history, bool json, bool csv) {
  if (csv) return HistoryCsv(history, false);
  std::vector<std::vector<std::string>> rows = {{"No.", "ch.", "日時"}};
  std::vector<std::string> items;
  for (int i = 0; i < HistoryCount(history); ++i) {
    const HistoryRecord& r = history[i];
    rows.push_back({PaddedDecimal(i + 1, 3), PaddedDecimal(std::clamp(r.channel, 0, 99), 2), HistoryTime(r)});
    items.push_back(JsonObject({{"number", std::to_string(i + 1)}, {"channel", std::to_string(r.channel)},
                                {"time", JsonString(HistoryTime(r))}}));
  }
  return json ? JsonArray("entries", items, {}) : TextTable(rows);
}

ProgressLine::~ProgressLine() {
  if (shown_ > 0) std::fprintf(stderr, "\r%s\r", std::string(shown_, ' ').c_str());
}

void ProgressLine::Show(int done, int total, std::string_view what) {
  if (!terminal_) return;
  const std::string line = std::to_string(done) + " / " + std::to_string(total) + std::string(what);
  std::fprintf(stderr, "\r%s", line.c_str());
  shown_ = std::max(shown_, line.size());
}

}  // namespace kelvrix::cli
