// The one writer of every comma-separated file the programs make (the
// inventory, the histories, the settings report, the unit list's report)
// and of the traffic record's tab-separated lines: RFC 4180 quoting, and no
// cell a spreadsheet would run as a formula.
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kelvrix {

// Put before a file's first row for a spreadsheet program to read it as UTF-8.
inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// One cell: a text that starts with "=", "+", "-", "@", TAB or CR gets an
// apostrophe in front; one that holds the separator, a quote, CR or LF is
// quoted, its quotes doubled. Bytes that are not UTF-8 become U+FFFD.
std::string CsvCell(std::string_view text, char separator = ',');

// The cells of one row, each through CsvCell, and the line's end.
std::string CsvRow(std::span<const std::string> cells, char separator = ',');
std::string CsvRow(std::initializer_list<std::string> cells, char separator = ',');

// The cells of one row as CsvRow writes it (quotes undone, a byte order
// mark in front dropped); the apostrophe a disarmed cell got stays.
std::vector<std::string> CsvCells(std::string_view row, char separator = ',');

}  // namespace kelvrix
