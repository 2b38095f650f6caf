// Files read and written whole: a settings file, a saved traffic record.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace kelvrix {

// The file's bytes, up to a megabyte (far past any settings file), or
// nothing when it cannot be read. Another program may hold it open.
std::optional<std::string> ReadWholeFile(const std::wstring& path);

// Writes `bytes` to a new file beside `path` and moves it over `path` once
// every byte is on disk, so a failed save leaves the previous file whole.
// False when the folder is missing, the file is read-only, or a write fails.
bool ReplaceFile(const std::wstring& path, std::string_view bytes);

}  // namespace kelvrix
