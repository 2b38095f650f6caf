// The files a run on many units leaves, named by one rule for the panel and
// the command-line tool: one settings data file per unit, named so that a
// folder of them tells whose each is; the inventory of a backup; a history
// as comma-separated values. A spreadsheet program takes the Japanese of a
// CSV only after a byte order mark, which scripts would rather not see: the
// caller chooses.
//
// Nothing a unit sends decides a path: its MAC address enters a name only
// when it has the form of one, and the rest of a name is the operator's
// (an address, a host) made safe for a file system.
#pragma once

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/device_settings.h"
#include "tools/unit_job.h"

namespace kelvrix {

// A unit of the link as a run names it: its RS-485 address (-1 off RS-485),
// or the address it has on the network and the port when it is not the
// default one, and its MAC address once known.
struct UnitName {
  int address = -1;
  std::string ip;
  int port = 0;  // 0: the default 9004
  std::string mac;
};

// Six pairs of hex digits joined by dashes: "00-80-45-01-02-03".
bool IsMacAddress(std::string_view text);

// "05", "192.168.0.21", "192.168.0.21-9005", or "unit" for the one unit on
// RS-232C; only letters, digits, dots and dashes, never a device name.
std::string UnitLabel(const UnitName& unit);

// "05_02-00-00-00-01-05": the label, and the MAC address when it is one.
std::string UnitFileStem(const UnitName& unit);

// "05_02-00-00-00-01-05_20261209.dat"
std::string BackupFileName(const UnitName& unit, const std::tm& date);
// "05_02-00-00-00-01-05_alarm_20261209.csv", "..._video-loss_...".
std::string HistoryFileName(const UnitName& unit, bool alarm, const std::tm& date);

// Of a folder's file names, the settings data file of the unit: one that
// names its MAC address, else one named by its label alone or followed by
// "_" ("05_...", "192.168.0.21.dat"); of several, the newest by the date
// in its name. Nothing when none does.
std::optional<std::string> FileForUnit(const std::vector<std::string>& names, const UnitName& unit);

// A settings file taken for a tool: its settings, or why there are none.
struct SettingsSource {
  std::optional<DeviceSettings> settings;
  std::string file;     // its name, as the row and the inventory show it
  UnitOutcome refusal;  // NoFile or BadFile when there are no settings
  std::string words;    // "設定ファイルとして読めません: a.dat（283 行目）"
};
// The settings of a file's bytes (nothing: the file could not be read), over
// the program's initial values; refused unless the file is whole.
SettingsSource SettingsOfFile(const std::optional<std::string>& bytes, const std::string& name);
// The unit's own file among a folder's `names`, read with `read`.
SettingsSource SettingsForUnit(const std::vector<std::string>& names, const UnitName& unit,
                               const std::function<std::optional<std::string>(const std::string& name)>& read);

// Beside a backup's settings file, what the unit reports that the file
// cannot hold: its network values as "プロトコルの設定" reads them back (IP
// address, subnet class, gateway, active address, port, connection try, keep
// alive, time register), its MAC address and version, as a row of CSV:
// "05_02-00-00-00-01-05_20261210.network.csv" beside "..._20261210.dat".
std::string NetworkFileName(const std::string& settingsFileName);
std::string NetworkCsv(const DeviceSettings& read);
// Those values of a network file (its MAC address when it is one; not the
// version, which is for people) into `settings`; false, and `settings`
// untouched, when the text is no such file or a value lies outside its range.
bool ReadNetworkCsv(std::string_view text, DeviceSettings& settings);

// What the unit cannot report, so that no backup holds it but as its
// initial value: said once in the inventory and by a restore.
inline constexpr std::string_view kNotReported =
    "ユニットから読めないビデオロスの設定（VL、VLD、VLBC）、画面の切替、時計は、設定ファイルでは初期値です";

// One unit of a run: "ok", or why its file is missing or incomplete.
struct InventoryRow {
  std::string unit, mac, version, time, file, result;
  bool Saved() const { return result == "ok"; }
};

// unit,mac,version,time,file,result; a backup's ends with a row that says,
// in its result, what it could not hold (`note`).
std::string InventoryCsv(const std::vector<InventoryRow>& rows, bool byteOrderMark, std::string_view note = {});

// An inventory (`existing`, as one of these writes it, or empty) with
// `rows` added after its units, before its note; with a byte order mark
// when it had one (or, new, when `byteOrderMark`).
std::string WithInventoryRows(std::string_view existing, const std::vector<InventoryRow>& rows, bool byteOrderMark);

// "2012-03-07 09:05:00"
std::string HistoryTime(const HistoryRecord& record);

// number,channel,time: the entries up to the first empty one.
std::string HistoryCsv(const History& history, bool byteOrderMark);

}  // namespace kelvrix
