// Where a window stood and how large it was, kept between starts as one
// line "left,top,width,height" (as its window keeps them). A line that is not four numbers in
// bounds gives nothing, and the window opens where the system puts it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kelvrix {

struct WindowPlace {
  int left, top, width, height;
  bool operator==(const WindowPlace&) const = default;
};

std::optional<WindowPlace> ParseWindowPlace(std::string_view text);
std::string WindowPlaceText(const WindowPlace& place);

}  // namespace kelvrix
