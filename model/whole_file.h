// Files read and written whole, by UTF-8 paths on every system: settings
// files, backups, reports and their CSV. Implemented once for POSIX and once
// for Windows (wide paths, so a Japanese folder name works whatever the code page).
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvrix {

// The file's bytes, up to a megabyte (far past any settings file), or
// nothing when it is missing, a folder, or cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Writes `bytes` to a new file beside `path` and moves it over `path` once
// every byte is on disk: a write that fails (a full disk, a folder that
// refuses) leaves the previous file whole. False when it failed.
bool ReplaceWholeFile(const std::string& path, std::string_view bytes);

// Whether a file can be made beside `path` (one is made and removed): asked
// before a long read whose result would go there.
bool CanWriteBeside(const std::string& path);

// Makes the folder and those above it; true when it is there.
bool MakeFolders(const std::string& path);

// When the file was last written; nothing when unknown.
std::optional<std::time_t> ModifiedTime(const std::string& path);

// The names of the files (not folders) in `folder`.
std::vector<std::string> FileNamesIn(const std::string& folder);

// `folder` and `name` joined; Windows takes "/" as its own separator.
inline std::string PathIn(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '/' || folder.back() == '\\') return folder + name;
  return folder + "/" + name;
}

}  // namespace kelvrix
