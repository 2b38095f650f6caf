#include "tools/unit_files.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "model/csv_text.h"
#include "model/dialog_texts.h"
#include "model/digits.h"
#include "model/settings_data_file.h"

namespace kelvrix {

namespace {

constexpr int kDefaultPort = 9004;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// Letters, digits, dots and dashes; anything else, a folder's separator or a
// drive's colon among them, as "_". A name Windows keeps for a device ("con",
// "com1", also before a dot) or one of dots alone gets "_" in front.
std::string SafeNamePart(std::string_view text) {
  std::string safe;
  for (const unsigned char c : text) safe += std::isalnum(c) || c == '.' || c == '-' ? static_cast<char>(c) : '_';
  static constexpr std::array<std::string_view, 22> kDevices = {
      "con",  "prn",  "aux",  "nul",  "com1", "com2", "com3", "com4", "com5", "com6", "com7",
      "com8", "com9", "lpt1", "lpt2", "lpt3", "lpt4", "lpt5", "lpt6", "lpt7", "lpt8", "lpt9"};
  const std::string first = Lower(safe.substr(0, safe.find('.')));
  const bool device = std::find(kDevices.begin(), kDevices.end(), first) != kDevices.end();
  const bool reserved = device || safe.find_first_not_of('.') == std::string::npos;
  return reserved ? std::string(1, '_').append(safe) : safe;
}

std::string Day(const std::tm& date) {
  char day[16];
  std::strftime(day, sizeof day, "%Y%m%d", &date);
  return day;
}

// The date a name of ours ends in ("..._20261209.dat", "..._20261209-2.dat"); empty when none.
std::string DateIn(std::string_view stem) {
  const std::size_t underscore = stem.rfind('_');
  if (underscore == std::string_view::npos) return {};
  std::string_view date = stem.substr(underscore + 1);
  date = date.substr(0, date.find('-'));
  const bool digits = std::all_of(date.begin(), date.end(), [](unsigned char c) { return std::isdigit(c); });
  return date.size() == 8 && digits ? std::string(date) : std::string();
}

}  // namespace

bool IsMacAddress(std::string_view text) {
  if (text.size() != 17) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool dash = i % 3 == 2;
    if (dash ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

std::string UnitLabel(const UnitName& unit) {
  if (!unit.ip.empty()) {
    std::string name = unit.ip;
    if (unit.port > 0 && unit.port != kDefaultPort) name.append("-").append(std::to_string(unit.port));
    return SafeNamePart(name);
  }
  return unit.address >= 0 ? PaddedDecimal(unit.address, 2) : "unit";
}

std::string UnitFileStem(const UnitName& unit) {
  return UnitLabel(unit) + (IsMacAddress(unit.mac) ? "_" + unit.mac : "");
}

std::string BackupFileName(const UnitName& unit, const std::tm& date) {
  return UnitFileStem(unit) + "_" + Day(date) + ".dat";
}

std::string HistoryFileName(const UnitName& unit, bool alarm, const std::tm& date) {
  return UnitFileStem(unit) + (alarm ? "_alarm_" : "_video-loss_") + Day(date) + ".csv";
}

std::optional<std::string> FileForUnit(const std::vector<std::string>& names, const UnitName& unit) {
  const std::string label = Lower(UnitLabel(unit));
  const std::string mac = IsMacAddress(unit.mac) ? Lower(unit.mac) : std::string();
  std::optional<std::string> chosen;
  bool chosenByMac = false;
  std::string chosenDate;
  for (const std::string& name : names) {
    const std::string lowered = Lower(name);
    if (!lowered.ends_with(".dat")) continue;
    const std::string stem = lowered.substr(0, lowered.size() - 4);
    const bool byMac = !mac.empty() && stem.find(mac) != std::string::npos;
    if (!byMac && stem != label && !stem.starts_with(label + "_")) continue;
    const std::string date = DateIn(stem);
    const auto key = std::tie(byMac, date, name);
    if (!chosen || key > std::tie(chosenByMac, chosenDate, *chosen)) {
      chosen = name;
      chosenByMac = byMac;
      chosenDate = date;
    }
  }
  return chosen;
}

SettingsSource SettingsOfFile(const std::optional<std::string>& bytes, const std::string& name) {
  if (!bytes) return {{}, name, UnitOutcome::BadFile, "ファイルを読めません: " + name};
  if (const auto bad = FirstBadSettingsLine(*bytes)) {
    return {{}, name, UnitOutcome::BadFile,
            "設定ファイルとして読めません: " + name + "（" + std::to_string(*bad) + " 行目）"};
  }
  DeviceSettings settings{};
  ResetSettingsToDefaults(settings);
  ReadSettingsData(*bytes, settings);
  return {settings, name, UnitOutcome::Done, {}};
}

SettingsSource SettingsForUnit(const std::vector<std::string>& names, const UnitName& unit,
                               const std::function<std::optional<std::string>(const std::string& name)>& read) {
  const auto name = FileForUnit(names, unit);
  if (!name) return {{}, {}, UnitOutcome::NoFile, std::string(UnitOutcomeText(UnitOutcome::NoFile))};
  return SettingsOfFile(read(*name), *name);
}

std::string InventoryCsv(const std::vector<InventoryRow>& rows, bool byteOrderMark) {
  std::string csv = byteOrderMark ? std::string(kByteOrderMark) : std::string();
  csv += CsvRow({"unit", "mac", "version", "time", "file", "result"});
  for (const InventoryRow& r : rows) csv += CsvRow({r.unit, r.mac, r.version, r.time, r.file, r.result});
  return csv;
}

std::string HistoryTime(const HistoryRecord& r) {
  auto two = [](int32_t value) { return PaddedDecimal(std::clamp(value, 0, 99), 2); };
  return "20" + two(r.year) + "-" + two(r.month) + "-" + two(r.day) + " " + two(r.hour) + ":" + two(r.minute) + ":" +
         two(r.second);
}

std::string HistoryCsv(const History& history, bool byteOrderMark) {
  std::string csv = byteOrderMark ? std::string(kByteOrderMark) : std::string();
  csv += CsvRow({"number", "channel", "time"});
  for (int i = 0; i < HistoryCount(history); ++i) {
    csv += CsvRow({std::to_string(i + 1), std::to_string(history[i].channel), HistoryTime(history[i])});
  }
  return csv;
}

}  // namespace kelvrix
