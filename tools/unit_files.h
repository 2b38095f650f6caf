// The files a run on many units leaves: one settings data file per unit,
// named so that a folder of them tells whose each is; the inventory of a
// backup; a history as comma-separated values. A spreadsheet program takes
// the Japanese of a CSV only after a byte order mark, which scripts would
// rather not see: the caller chooses.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "model/device_settings.h"

namespace kelvrix {

// A unit of the link as a run names it: its RS-485 address (-1 off RS-485),
// or the address it has on the network, and its MAC address once known.
struct UnitName {
  int address = -1;
  std::string ip;
  std::string mac;
};

// "05", "192.168.0.21", or "unit" for the one unit on RS-232C.
std::string UnitLabel(const UnitName& unit);

// "05_02-00-00-00-01-05_20261209.dat": the unit, its MAC address when
// known, the date.
std::string BackupFileName(const UnitName& unit, const std::tm& date);

// Of a folder's file names, the settings data file that names the unit: its
// label alone or followed by "_" ("05_...", "192.168.0.21.dat"), or any name
// with its MAC address; of several, the last in name order (for backups, the
// newest). Nothing when none does.
std::optional<std::string> FileForUnit(const std::vector<std::string>& names, const UnitName& unit);

// One unit of a backup: "ok", or why its file is missing or incomplete.
struct InventoryRow {
  std::string unit, mac, version, time, file, result;
  bool Saved() const { return result == "ok"; }
};

// unit,mac,version,time,file,result
std::string InventoryCsv(const std::vector<InventoryRow>& rows, bool byteOrderMark);

// "2012-03-07 09:05:00"
std::string HistoryTime(const HistoryRecord& record);

// number,channel,time: the entries up to the first empty one.
std::string HistoryCsv(const History& history, bool byteOrderMark);

}  // namespace kelvrix
