// The settings report for a handover: one self-contained HTML page (inline
// CSS and SVG, no scripts), printable on A4, with every setting named as the
// comparison names it and shown as its dialog shows it, each division layout
// drawn as the screen with its panes in place, the automatic sequence as a
// table and, when read from a unit, both histories; beside it the same
// settings as CSV.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/device_settings.h"

namespace kelvrix {

// Where the settings came from, for the report's head.
struct ReportSource {
  std::string unit;     // "05", "192.168.0.21", "RS-232C"; empty for a file
  std::string mac, version;
  std::string file;     // a file's name
  std::string time;     // when the file was written or the unit read: "2026-12-10 09:05"
  std::string made;     // when the report was made
  // Read from a unit: per ComparedSettings() entry, whether its value was
  // not read (shown as "読めない値", never as the initial value in its place),
  // and per history (alarm, video loss) the entries not read.
  std::vector<bool> unread;
  int unreadHistoryEntries[2] = {0, 0};
  bool FromUnit() const { return !unit.empty(); }
  bool Unread(std::size_t setting) const { return setting < unread.size() && unread[setting]; }
};

// What the report shows for a value the unit did not give.
inline constexpr std::string_view kUnreadValue = "読めない値";

// Text for HTML: "<", ">", "&" and '"' as entities.
std::string EscapeHtml(std::string_view text);

// Division pattern `division` (0..11) as a picture: each pane in place with
// its number, its channel and the channel's title.
std::string LayoutSvg(const DeviceSettings& settings, int division);

std::string SettingsReportHtml(const DeviceSettings& settings, const ReportSource& source);

// group,setting,value: a setting of many elements gives a row each ("No.01 ch.01").
std::string SettingsReportCsv(const DeviceSettings& settings, bool byteOrderMark, const ReportSource& source = {});

}  // namespace kelvrix
