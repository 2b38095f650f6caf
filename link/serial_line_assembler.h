// Cuts the serial byte stream into reply lines.
//
// A read whose last byte is LF completes what was collected since the last
// such read; that text is split at every LF, so two replies that arrived in
// one read ("GO\r\nGO\r\n", the normal case at 9600 baud when a unit answers
// back to back) become two lines, in order. A read that ends elsewhere keeps
// collecting.
//
// The collected text never grows past kMaxLineLength: when a read would take
// it there, what came before is dropped as noise, and so are the following
// reads until one ends in LF. That read is kept on its own, so a reply that
// arrives after a burst of noise still gets through.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kelvrix {

class SerialLineAssembler {
 public:
  static constexpr std::size_t kMaxLineLength = 599;

  // Adds the bytes of one read; returns the lines this read completed, each
  // ending in LF, oldest first.
  std::vector<std::string> AddRead(std::string_view bytes);

 private:
  std::string collected_;
  bool discarding_ = false;
};

}  // namespace kelvrix
