#include "model/whole_file_win.h"

#include "model/wide_text_win.h"

namespace kelvrix {

namespace {

// A settings data file is a few kilobytes; a larger file is read up to here,
// which is far past its 282 lines.
constexpr DWORD kReadLimit = 1 << 20;

bool WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) || written == 0) {
      return false;
    }
    bytes.remove_prefix(written);
  }
  return FlushFileBuffers(file) != 0;
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::wstring& path) {
  // Shared every way: a file another program holds open (for writing, or
  // to delete it) can still be read.
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string bytes(kReadLimit, '\0');
  DWORD total = 0, read = 0;
  bool ok = true;
  while (total < kReadLimit && (ok = ReadFile(file, bytes.data() + total, kReadLimit - total, &read, nullptr)) &&
         read != 0) {
    total += read;
  }
  CloseHandle(file);
  if (!ok) return std::nullopt;
  bytes.resize(total);
  return bytes;
}


namespace {

// A new file of our own beside `path`: same folder, so the move is a rename.
HANDLE CreateBeside(const std::wstring& path, std::wstring& temporary) {
  // Opening a read-only file for writing fails; moving a file over it would not.
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
    return INVALID_HANDLE_VALUE;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = path + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt) + L".tmp";
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  return INVALID_HANDLE_VALUE;
}

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool ReplaceWholeFile(const std::wstring& path, std::string_view bytes) {
  std::wstring temporary;
  HANDLE file = CreateBeside(path, temporary);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool written = WriteAll(file, bytes);
  CloseHandle(file);
  if (written && MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  DeleteFileW(temporary.c_str());
  return false;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  const std::wstring wide = WideFromUtf8(path);
  if (IsFolder(wide)) return std::nullopt;
  return ReadWholeFile(wide);
}

bool ReplaceWholeFile(const std::string& path, std::string_view bytes) { return ReplaceWholeFile(WideFromUtf8(path), bytes); }

bool CanWriteBeside(const std::string& path) {
  std::wstring temporary;
  HANDLE file = CreateBeside(WideFromUtf8(path), temporary);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  DeleteFileW(temporary.c_str());
  return true;
}

bool MakeFolders(const std::string& path) {
  const std::wstring wide = WideFromUtf8(path);
  for (std::size_t slash = wide.find_first_of(L"\\/", 1); ; slash = wide.find_first_of(L"\\/", slash + 1)) {
    const std::wstring part = wide.substr(0, slash);
    if (!part.empty() && part.back() != L':' && !IsFolder(part)) CreateDirectoryW(part.c_str(), nullptr);
    if (slash == std::wstring::npos) break;
  }
  return IsFolder(wide);
}

std::optional<std::time_t> ModifiedTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA about;
  if (!GetFileAttributesExW(WideFromUtf8(path).c_str(), GetFileExInfoStandard, &about)) return std::nullopt;
  ULARGE_INTEGER ticks;  // 100 ns since 1601
  ticks.LowPart = about.ftLastWriteTime.dwLowDateTime;
  ticks.HighPart = about.ftLastWriteTime.dwHighDateTime;
  return static_cast<std::time_t>(ticks.QuadPart / 10000000ULL - 11644473600ULL);
}

std::vector<std::string> FileNamesIn(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(WideFromUtf8(PathIn(folder, "*")).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(Utf8FromWide(found.cFileName));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

}  // namespace kelvrix
