#include "link/serial_line_assembler.h"

namespace kelvrix {

std::vector<std::string> SerialLineAssembler::AddRead(std::string_view bytes) {
  std::vector<std::string> lines;
  while (!bytes.empty()) {
    const std::size_t lf = bytes.find('\n');
    const std::size_t end = lf == std::string_view::npos ? bytes.size() : lf + 1;
    const std::string_view piece = bytes.substr(0, end);
    bytes.remove_prefix(end);
    if (collected_.size() + piece.size() > kMaxLineLength) {
      collected_.clear();
      if (piece.size() > kMaxLineLength) continue;
    }
    collected_.append(piece);
    if (piece.back() == '\n') {
      lines.push_back(std::move(collected_));
      collected_.clear();
    }
  }
  return lines;
}

}  // namespace kelvrix
