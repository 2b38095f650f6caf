// UTF-8 (the portable core's text) to UTF-16 (the W API's text).
#pragma once

#include <string>
#include <string_view>

namespace kelvrix {

std::wstring WideFromUtf8(std::string_view text);

}  // namespace kelvrix
