#include "link/config_file_win.h"

#include <windows.h>
#include <shlobj.h>

#include "model/wide_text_win.h"

namespace kelvrix {

namespace {

constexpr const wchar_t* kFileName = L"kelvrix.ini";
constexpr const wchar_t* kSection = L"Kelvrix_Section";

}  // namespace

std::string PrivateProfileFile::Read(std::string_view key, std::string_view defaultText) {
  wchar_t text[64] = {};
  GetPrivateProfileStringW(kSection, WideFromUtf8(key).c_str(), WideFromUtf8(defaultText).c_str(), text, 64,
                           path_.c_str());
  // Every value of this file is ASCII.
  std::string ascii;
  for (const wchar_t* c = text; *c; ++c) ascii += *c < 0x80 ? static_cast<char>(*c) : '?';
  return ascii;
}

bool PrivateProfileFile::Write(std::string_view key, std::string_view value) {
  return WritePrivateProfileStringW(kSection, WideFromUtf8(key).c_str(), WideFromUtf8(value).c_str(),
                                    path_.c_str()) != 0;
}

bool PrivateProfileFile::Exists() {
  const DWORD attributes = GetFileAttributesW(path_.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string PrivateProfileFile::Path() { return Utf8FromWide(path_); }

bool PrivateProfileFile::Start(ProfileFile& source) {
  const std::wstring folder = path_.substr(0, path_.find_last_of(L'\\'));
  if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  if (!source.Exists()) return true;  // the first write makes the file
  const std::wstring from = WideFromUtf8(source.Path());
  if (!CopyFileW(from.c_str(), path_.c_str(), FALSE)) return false;
  // A deployed file may be read-only; its copy is the user's to change.
  return SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL) != 0;
}

std::wstring SharedConfigPath() {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = GetWindowsDirectoryW(folder, MAX_PATH);
  return std::wstring(folder, length < MAX_PATH ? length : 0) + L"\\" + kFileName;
}

std::wstring PersonalConfigPath() {
  wchar_t folder[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) return {};
  return std::wstring(folder) + L"\\Kelvrix\\" + kFileName;
}

}  // namespace kelvrix
