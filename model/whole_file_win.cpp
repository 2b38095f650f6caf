#include "model/whole_file_win.h"

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


bool ReplaceFile(const std::wstring& path, std::string_view bytes) {
  // Opening a read-only file for writing fails; moving a file over it would not.
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
    return false;
  }
  // A name of our own beside the target: same folder, so the move is a rename.
  std::wstring temporary;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    temporary = path + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt) + L".tmp";
    file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool written = WriteAll(file, bytes);
  CloseHandle(file);
  if (written && MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  DeleteFileW(temporary.c_str());
  return false;
}

}  // namespace kelvrix
