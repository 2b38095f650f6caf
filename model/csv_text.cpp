#include "model/csv_text.h"

#include "model/unit_text.h"

namespace kelvrix {

std::string CsvCell(std::string_view text, char separator) {
  std::string cell = ValidUtf8(text);
  if (!cell.empty() && std::string_view("=+-@\t\r").find(cell.front()) != std::string_view::npos) cell.insert(cell.begin(), '\'');
  if (cell.find_first_of(std::string{separator, '"', '\r', '\n'}) == std::string::npos) return cell;
  std::string quoted = "\"";
  for (const char c : cell) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string CsvRow(std::span<const std::string> cells, char separator) {
  std::string row;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) row += separator;
    row += CsvCell(cells[i], separator);
  }
  return row + "\n";
}

std::string CsvRow(std::initializer_list<std::string> cells, char separator) {
  return CsvRow(std::span<const std::string>(cells.begin(), cells.size()), separator);
}

std::vector<std::string> CsvCells(std::string_view row, char separator) {
  if (row.starts_with(kByteOrderMark)) row.remove_prefix(kByteOrderMark.size());
  while (!row.empty() && (row.back() == '\n' || row.back() == '\r')) row.remove_suffix(1);
  std::vector<std::string> cells(1);
  bool quoted = false;
  for (std::size_t i = 0; i < row.size(); ++i) {
    const char c = row[i];
    if (quoted && c == '"' && i + 1 < row.size() && row[i + 1] == '"') {
      cells.back() += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == separator && !quoted) {
      cells.emplace_back();
    } else {
      cells.back() += c;
    }
  }
  return cells;
}

}  // namespace kelvrix
