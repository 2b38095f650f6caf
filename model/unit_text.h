// Text a unit sent (a version, a MAC address, an answer no decoder took),
// made fit for people and files: the programs write UTF-8 everywhere, and a
// unit's bytes are code page 932, or garbage.
#pragma once

#include <string>
#include <string_view>

namespace kelvrix {

// The bytes read as code page 932 (ASCII, half-width katakana, the
// double-byte characters) in UTF-8; a control byte, and a byte that starts
// no character, as U+FFFD.
std::string UnitText(std::string_view bytes);

// `text` unchanged where it is UTF-8; each byte that starts no well-formed
// sequence as U+FFFD. The writers' last guard: their output is always UTF-8.
std::string ValidUtf8(std::string_view text);

// `text` as a JSON string, quotes included: valid UTF-8, with quotes,
// backslashes and control characters escaped.
std::string JsonString(std::string_view text);

}  // namespace kelvrix
