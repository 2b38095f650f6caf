// What kelvrix-cli prints: readable tables (the panel's Japanese names,
// UTF-8), or with --json one JSON document with English snake_case keys.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/device_settings.h"
#include "model/unit_text.h"  // JsonString
#include "tools/bus_scan.h"
#include "tools/unit_comparison.h"
#include "tools/unit_files.h"

namespace kelvrix::cli {

// Columns padded to their widest cell, two spaces apart; a wide character
// counts as two columns. A cell wider than a column ought to be (a list of
// sixteen panes) takes the room it needs in its own row only.
std::string TextTable(const std::vector<std::vector<std::string>>& rows);

// A JSON object (`json`, as the subcommands print it, or empty) with what
// failed: {"...": ..., "error": "...", "exit": 3}.
std::string JsonWithError(std::string_view json, std::string_view error, int exitCode);

// Every setting of a settings data file, as its dialog shows it.
//   {"settings": [{"setting": "...", "value": "..."}, ...]}
std::string ShowSettings(const DeviceSettings& settings, bool json);

// The comparison's rows, and its summary (or `summary`, what an apply came to).
//   {"differences": [{"setting", "file", "unit", "result"}], "summary": "..."}
std::string ComparisonReport(const UnitComparison& comparison, bool json, std::string_view summary = {});

// The units a bus scan found.
//   {"units": [{"address": "05", "version": "1.05", "mac": "00-80-45-01-02-03", "conflict": false,
//               "status": "応答"}], "summary": "..."}
std::string ScanReport(const BusScan& scan, bool json);

// A backup's inventory, and its note of what no backup holds.
//   CSV: unit,mac,version,time,file,result (the note a last row)
//   {"units": [{"unit": "05", "mac", "version", "time", "file", "result"}], "note": "..."}
std::string InventoryReport(const std::vector<InventoryRow>& rows, bool json, std::string_view note = {});

// What a subcommand did to each of many units.
struct UnitResult {
  std::string unit, result;
  bool ok;
};
//   {"units": [{"unit": "192.168.0.21", "result": "変更なし", "ok": true}]}
std::string UnitResultsReport(const std::vector<UnitResult>& results, bool json);

// The entries of a history up to the first empty one.
//   {"entries": [{"number": 1, "channel": 4, "time": "2012-03-07 09:05:00"}]}
//   CSV: number,channel,time
std::string HistoryReport(const History& history, bool json, bool csv);

// "12 / 160" on standard error while it is a terminal, rewritten in place,
// and wiped at the end.
class ProgressLine {
 public:
  explicit ProgressLine(bool terminal) : terminal_(terminal) {}
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void Show(int done, int total, std::string_view what = {});

 private:
  bool terminal_;
  std::size_t shown_ = 0;  // the length of the line on the terminal
};

}  // namespace kelvrix::cli
