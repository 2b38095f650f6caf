// Cuts the serial byte stream into reply lines.
//
// Every LF ends a line, wherever it falls in a read: two replies that arrive
// in one read ("GO\r\nGO\r\n", the normal case at 9600 baud when a unit
// answers back to back) are two lines, in order, and a line split over
// several reads is one. Bytes after the last LF wait for the next read.
//
// A line never grows past kMaxLineLength: when it would, what was collected
// before is dropped as noise and the new bytes start afresh, so a reply that
// arrives after a burst of noise still gets through; a piece that alone is
// longer is dropped.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kelvrix {

class SerialLineAssembler {
 public:
  static constexpr std::size_t kMaxLineLength = 599;

  // Adds the bytes of one read; returns the lines it completed, each ending
  // in LF, oldest first.
  std::vector<std::string> AddRead(std::string_view bytes);

 private:
  std::string collected_;  // the start of a line whose LF has not come yet
};

}  // namespace kelvrix
