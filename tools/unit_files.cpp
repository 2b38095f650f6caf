#include "tools/unit_files.h"

#include <algorithm>
#include <cctype>

#include "model/dialog_texts.h"
#include "model/digits.h"

namespace kelvrix {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

std::string UnitLabel(const UnitName& unit) {
  if (!unit.ip.empty()) return unit.ip;
  return unit.address >= 0 ? PaddedDecimal(unit.address, 2) : "unit";
}

std::string BackupFileName(const UnitName& unit, const std::tm& date) {
  char day[16];
  std::strftime(day, sizeof day, "%Y%m%d", &date);
  return UnitLabel(unit) + (unit.mac.empty() ? "" : "_" + unit.mac) + "_" + day + ".dat";
}

std::optional<std::string> FileForUnit(const std::vector<std::string>& names, const UnitName& unit) {
  const auto lower = [](std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
  };
  const std::string label = lower(UnitLabel(unit)), mac = lower(unit.mac);
  std::optional<std::string> chosen;
  for (const std::string& name : names) {
    const std::string lowered = lower(name);
    if (!lowered.ends_with(".dat")) continue;
    const std::string stem = lowered.substr(0, lowered.size() - 4);
    const bool named = stem == label || stem.starts_with(label + "_") || (!mac.empty() && stem.find(mac) != std::string::npos);
    if (named && (!chosen || name > *chosen)) chosen = name;
  }
  return chosen;
}

std::string InventoryCsv(const std::vector<InventoryRow>& rows, bool byteOrderMark) {
  std::string csv = byteOrderMark ? std::string(kByteOrderMark) : std::string();
  csv += "unit,mac,version,time,file,result\n";
  for (const InventoryRow& r : rows) {
    csv += r.unit + "," + r.mac + "," + r.version + "," + r.time + "," + r.file + "," + r.result + "\n";
  }
  return csv;
}

std::string HistoryTime(const HistoryRecord& r) {
  auto two = [](int32_t value) { return PaddedDecimal(std::clamp(value, 0, 99), 2); };
  return "20" + two(r.year) + "-" + two(r.month) + "-" + two(r.day) + " " + two(r.hour) + ":" + two(r.minute) + ":" +
         two(r.second);
}

std::string HistoryCsv(const History& history, bool byteOrderMark) {
  std::string csv = byteOrderMark ? std::string(kByteOrderMark) : std::string();
  csv += "number,channel,time\n";
  for (int i = 0; i < HistoryCount(history); ++i) {
    csv += std::to_string(i + 1) + "," + std::to_string(history[i].channel) + "," + HistoryTime(history[i]) + "\n";
  }
  return csv;
}

}  // namespace kelvrix
