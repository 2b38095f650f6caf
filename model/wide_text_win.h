// UTF-8 (the portable core's text) to UTF-16 (the W API's text) and back.
#pragma once

#include <string>
#include <string_view>

namespace kelvrix {

std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

}  // namespace kelvrix
