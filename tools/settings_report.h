// The settings report for a handover: one self-contained HTML page (inline
// CSS and SVG, no scripts), printable on A4, with every setting named as the
// comparison names it and shown as its dialog shows it, each division layout
// drawn as the screen with its panes in place, the automatic sequence as a
// table and, when read from a unit, both histories; beside it the same
// settings as CSV.
#pragma once

#include <string>
#include <string_view>

#include "model/device_settings.h"

namespace kelvrix {

// Where the settings came from, for the report's head.
struct ReportSource {
  std::string unit;     // "05", "192.168.0.21", "RS-232C"; empty for a file
  std::string mac, version;
  std::string file;     // a file's name
  std::string time;     // when the file was written or the unit read: "2026-12-10 09:05"
  std::string made;     // when the report was made
  bool FromUnit() const { return !unit.empty(); }
};

// Text for HTML: "<", ">", "&" and '"' as entities.
std::string EscapeHtml(std::string_view text);

// Division pattern `division` (0..11) as a picture: each pane in place with
// its number, its channel and the channel's title.
std::string LayoutSvg(const DeviceSettings& settings, int division);

std::string SettingsReportHtml(const DeviceSettings& settings, const ReportSource& source);

// group,setting,value: a setting of many elements gives a row each ("No.01 ch.01").
std::string SettingsReportCsv(const DeviceSettings& settings, bool byteOrderMark);

}  // namespace kelvrix
