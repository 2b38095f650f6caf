// Files read and written whole: a settings file, a saved traffic record.
// The panel's file dialogs give wide paths; the portable core's UTF-8 paths
// (model/whole_file.h) come here converted.
#pragma once

#include <windows.h>

#include "model/whole_file.h"

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
bool ReplaceWholeFile(const std::wstring& path, std::string_view bytes);

}  // namespace kelvrix
