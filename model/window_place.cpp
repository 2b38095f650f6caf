#include "model/window_place.h"

#include <charconv>

namespace kelvrix {

std::optional<WindowPlace> ParseWindowPlace(std::string_view text) {
  int numbers[4];
  const char* at = text.data();
  const char* end = text.data() + text.size();
  for (int i = 0; i < 4; ++i) {
    if (i > 0 && (at == end || *at++ != ',')) return std::nullopt;
    const auto [next, error] = std::from_chars(at, end, numbers[i]);
    if (error != std::errc() || next == at) return std::nullopt;
    at = next;
  }
  constexpr int kFarthest = 100000, kSmallest = 50;
  const WindowPlace place{numbers[0], numbers[1], numbers[2], numbers[3]};
  const bool within = at == end && place.left > -kFarthest && place.left < kFarthest && place.top > -kFarthest &&
                      place.top < kFarthest && place.width >= kSmallest && place.width < kFarthest &&
                      place.height >= kSmallest && place.height < kFarthest;
  return within ? std::optional(place) : std::nullopt;
}

std::string WindowPlaceText(const WindowPlace& place) {
  return std::to_string(place.left) + "," + std::to_string(place.top) + "," + std::to_string(place.width) + "," +
         std::to_string(place.height);
}

}  // namespace kelvrix
