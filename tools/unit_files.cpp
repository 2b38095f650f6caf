#include "tools/unit_files.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "link/connection_table.h"
#include "model/csv_text.h"
#include "model/dialog_texts.h"
#include "model/digits.h"
#include "model/settings_data_file.h"
#include "model/unit_text.h"

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

std::string InventoryCsv(const std::vector<InventoryRow>& rows, bool byteOrderMark, std::string_view note) {
  std::string csv = byteOrderMark ? std::string(kByteOrderMark) : std::string();
  csv += CsvRow({"unit", "mac", "version", "time", "file", "result"});
  for (const InventoryRow& r : rows) csv += CsvRow({r.unit, r.mac, r.version, r.time, r.file, r.result});
  if (!note.empty()) csv += CsvRow({"", "", "", "", "", std::string(note)});
  return csv;
}

std::string WithInventoryRows(std::string_view existing, const std::vector<InventoryRow>& rows, bool byteOrderMark) {
  if (existing.find('\n') == std::string_view::npos) return InventoryCsv(rows, byteOrderMark, kNotReported);
  std::string rest = InventoryCsv(rows, false);
  rest.erase(0, rest.find('\n') + 1);  // its heading is there already
  // The note, a last row whose unit is empty, stays last.
  const std::size_t lastLine = existing.rfind('\n', existing.size() - 2);
  const bool noted = lastLine != std::string_view::npos && existing.substr(lastLine + 1).starts_with(",");
  const std::size_t at = noted ? lastLine + 1 : existing.size();
  std::string text(existing.substr(0, at));
  if (!text.ends_with('\n')) text += '\n';
  return text + rest + std::string(existing.substr(at));
}

namespace {

constexpr std::array<std::string_view, 10> kNetworkColumns = {
    "mac", "version", "ip_address", "subnet_class", "gateway_address", "active_address",
    "port", "connection_try", "keep_alive", "time_register"};

std::string OnOffText(int32_t value) { return value != 0 ? "ON" : "OFF"; }

// "192.168.0.21" into its four bytes; false for anything else.
bool ParseDotted(std::string_view text, Ipv4Address& address) {
  Ipv4Address parsed{};
  for (std::size_t i = 0; i < parsed.size(); ++i) {
    const std::size_t dot = i + 1 < parsed.size() ? text.find('.') : text.size();
    if (dot == std::string_view::npos || dot == 0 || dot > 3) return false;
    int value = 0;
    for (const char c : text.substr(0, dot)) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
    }
    if (value > 255) return false;
    parsed[i] = static_cast<uint8_t>(value);
    text.remove_prefix(std::min(text.size(), dot + 1));
  }
  address = parsed;
  return text.empty();
}

// The place of `text` among `entries` (trimmed as they show); -1 when none.
int EntryIndex(const std::vector<std::string>& entries, std::string_view text) {
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (entries[i] == text) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

std::string NetworkFileName(const std::string& settingsFileName) {
  const std::string stem = settingsFileName.ends_with(".dat")
                               ? settingsFileName.substr(0, settingsFileName.size() - 4) : settingsFileName;
  return stem + ".network.csv";
}

std::string NetworkCsv(const DeviceSettings& s) {
  const std::vector<std::string> header(kNetworkColumns.begin(), kNetworkColumns.end());
  const auto entry = [](const std::vector<std::string>& entries, int32_t value) {
    return value >= 0 && value < static_cast<int32_t>(entries.size()) ? entries[value] : std::to_string(value);
  };
  return std::string(kByteOrderMark) + CsvRow(header) +
         CsvRow({UnitText(s.macAddress), UnitText(s.firmwareVersion), DottedAddress(s.unitIpAddress),
                 entry(SubnetClassEntries(), s.unitSubnetClass), DottedAddress(s.unitGatewayAddress),
                 DottedAddress(s.unitActiveAddress), UnitText(s.portNumber), OnOffText(s.connectionTry),
                 OnOffText(s.keepAlive), entry(TimeRegisterEntries(), s.timeRegister)});
}

bool ReadNetworkCsv(std::string_view text, DeviceSettings& settings) {
  const std::size_t end = text.find('\n');
  if (end == std::string_view::npos) return false;
  const std::vector<std::string> header = CsvCells(text.substr(0, end));
  const std::vector<std::string> values = CsvCells(text.substr(end + 1));
  if (header != std::vector<std::string>(kNetworkColumns.begin(), kNetworkColumns.end()) ||
      values.size() != kNetworkColumns.size()) {
    return false;
  }
  DeviceSettings read = settings;
  const auto onOff = [](const std::string& value) { return value == "ON" ? 1 : value == "OFF" ? 0 : -1; };
  read.unitSubnetClass = EntryIndex(SubnetClassEntries(), values[3]);
  read.connectionTry = onOff(values[7]);
  read.keepAlive = onOff(values[8]);
  read.timeRegister = EntryIndex(TimeRegisterEntries(), values[9]);
  const bool port = values[6].size() == 5 && std::all_of(values[6].begin(), values[6].end(), [](unsigned char c) { return std::isdigit(c); });
  if (!ParseDotted(values[2], read.unitIpAddress) || !ParseDotted(values[4], read.unitGatewayAddress) ||
      !ParseDotted(values[5], read.unitActiveAddress) || !port || read.unitSubnetClass < 0 ||
      read.connectionTry < 0 || read.keepAlive < 0 || read.timeRegister < 0) {
    return false;
  }
  CopyText(read.portNumber, values[6]);
  CopyText(read.macAddress, IsMacAddress(values[0]) ? values[0] : std::string());
  settings = read;
  return true;
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
