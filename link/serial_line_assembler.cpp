#include "link/serial_line_assembler.h"

namespace kelvrix {

std::optional<std::string> SerialLineAssembler::AddRead(std::string_view bytes) {
  if (bytes.empty()) return std::nullopt;
  const bool endsLine = bytes.back() == '\n';
  if (!discarding_) {
    if (line_.size() + bytes.size() > kMaxLineLength) {
      line_.clear();
      discarding_ = true;
    } else {
      line_.append(bytes);
    }
  }
  if (!endsLine) return std::nullopt;
  if (discarding_) {
    discarding_ = false;
    return std::nullopt;
  }
  std::string line;
  line.swap(line_);
  return line;
}

}  // namespace kelvrix
