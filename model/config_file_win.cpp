#include "model/config_file_win.h"

#include <windows.h>

#include "app/wide_text_win.h"

namespace kelvrix {

namespace {

constexpr const wchar_t* kFileName = L"kelvrix.ini";
constexpr const wchar_t* kSection = L"Kelvrix_Section";

}  // namespace

std::string PrivateProfileStore::Read(std::string_view key, std::string_view defaultText) {
  wchar_t text[64] = {};
  GetPrivateProfileStringW(kSection, WideFromUtf8(key).c_str(), WideFromUtf8(defaultText).c_str(), text,
                           64, kFileName);
  // Every value of this file is ASCII.
  std::string ascii;
  for (const wchar_t* c = text; *c; ++c) ascii += *c < 0x80 ? static_cast<char>(*c) : '?';
  return ascii;
}

void PrivateProfileStore::Write(std::string_view key, std::string_view value) {
  WritePrivateProfileStringW(kSection, WideFromUtf8(key).c_str(), WideFromUtf8(value).c_str(), kFileName);
}

}  // namespace kelvrix
