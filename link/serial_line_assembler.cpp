#include "link/serial_line_assembler.h"

namespace kelvrix {

std::vector<std::string> SerialLineAssembler::AddRead(std::string_view bytes) {
  if (bytes.empty()) return {};
  const bool endsLine = bytes.back() == '\n';
  if (!discarding_ && collected_.size() + bytes.size() > kMaxLineLength) {
    collected_.clear();
    discarding_ = true;
  }
  if (discarding_) {
    if (!endsLine) return {};
    discarding_ = false;  // this read starts afresh
  }
  collected_.append(bytes);
  if (!endsLine) return {};

  std::vector<std::string> lines;
  std::string_view rest = collected_;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n') + 1;  // the text ends in LF: always found
    if (end <= kMaxLineLength) lines.emplace_back(rest.substr(0, end));
    rest.remove_prefix(end);
  }
  collected_.clear();
  return lines;
}

}  // namespace kelvrix
