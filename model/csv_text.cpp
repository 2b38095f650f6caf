#include "model/csv_text.h"

#include "model/unit_text.h"

namespace kelvrix {

std::string CsvCell(std::string_view text, char separator) {
  std::string cell = ValidUtf8(text);
  if (!cell.empty() && std::string_view("=+-@\t\r").find(cell.front()) != std::string_view::npos) cell.insert(0, "'");
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

}  // namespace kelvrix
