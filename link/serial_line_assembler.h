// Cuts the serial byte stream into reply lines.
//
// Only the last byte of each read decides: a read that ends in LF completes
// the line, with everything collected since the previous one (two lines in
// one read stay one string, as the unit never sends them). A line that grows
// past kMaxLineLength is dropped, together with the rest of it up to the next
// read that ends in LF, so a noisy line can never grow without bound.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kelvrix {

class SerialLineAssembler {
 public:
  static constexpr std::size_t kMaxLineLength = 599;

  // Adds the bytes of one read; returns the line when this read completed it.
  std::optional<std::string> AddRead(std::string_view bytes);

 private:
  std::string line_;
  bool discarding_ = false;
};

}  // namespace kelvrix
