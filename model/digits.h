// Fixed-width decimal digits as the unit writes them on the wire.
// The Format routines write exactly two or three characters and no terminator;
// the Parse routines read exactly that many. IsDigits lets a decoder check a
// field before it trusts it.
#pragma once

#include <string>
#include <string_view>

namespace kelvrix {

inline void FormatTwoDigits(int n, char* out) {
  out[0] = static_cast<char>('0' + n / 10);
  out[1] = static_cast<char>('0' + n % 10);
}

inline void FormatThreeDigits(int n, char* out) {
  out[0] = static_cast<char>('0' + n / 100);
  out[1] = static_cast<char>('0' + (n % 100) / 10);
  out[2] = static_cast<char>('0' + n % 10);
}

inline int ParseTwoDigits(const char* p) { return 10 * (p[0] - '0') + (p[1] - '0'); }

inline int ParseThreeDigits(const char* p) {
  return 100 * (p[0] - '0') + 10 * (p[1] - '0') + (p[2] - '0');
}

// `value` (0 or more) in decimal with leading zeros up to `width` digits:
// (5, 3) -> "005", (5, 0) -> "5". For texts the panel shows or reports.
inline std::string PaddedDecimal(int value, int width) {
  std::string text = std::to_string(value);
  if (static_cast<int>(text.size()) < width) text.insert(0, static_cast<std::size_t>(width) - text.size(), '0');
  return text;
}

// True when text holds `count` decimal digits from `pos` on.
inline bool IsDigits(std::string_view text, std::size_t pos, std::size_t count) {
  if (pos + count > text.size()) return false;
  for (std::size_t i = pos; i < pos + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

}  // namespace kelvrix
