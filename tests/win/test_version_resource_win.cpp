// The built kelvrix.exe's version resource, read back as Explorer reads it:
// every field says the project's version from CMakeLists.txt.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "model/wide_text_win.h"
#include "version.h"

namespace kelvrix {
namespace {

class VersionResource {
 public:
  explicit VersionResource(const std::wstring& path) {
    DWORD unused = 0;
    data_.resize(GetFileVersionInfoSizeW(path.c_str(), &unused));
    if (data_.empty() || !GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(data_.size()), data_.data())) {
      data_.clear();
    }
  }
  bool Found() const { return !data_.empty(); }
  std::string Text(const wchar_t* name) {
    const std::wstring key = std::wstring(L"\\StringFileInfo\\041104B0\\") + name;
    wchar_t* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data_.data(), key.c_str(), reinterpret_cast<void**>(&value), &length)) return {};
    return Utf8FromWide(value);
  }
  VS_FIXEDFILEINFO Fixed() {
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    VerQueryValueW(data_.data(), L"\\", reinterpret_cast<void**>(&fixed), &length);
    return fixed ? *fixed : VS_FIXEDFILEINFO{};
  }

 private:
  std::vector<BYTE> data_;
};

TEST(VersionResource, EveryFieldSaysTheProjectVersion) {
  const char* exe = std::getenv("KELVRIX_EXE");
  ASSERT_NE(exe, nullptr) << "KELVRIX_EXE names the built program";
  std::string path = std::string("Z:") + exe;
  for (char& c : path) c = c == '/' ? '\\' : c;
  VersionResource resource(WideFromUtf8(path));
  ASSERT_TRUE(resource.Found()) << path;
  EXPECT_EQ(resource.Text(L"FileVersion"), KELVRIX_VERSION_TEXT);
  EXPECT_EQ(resource.Text(L"ProductVersion"), KELVRIX_VERSION_TEXT);
  EXPECT_EQ(resource.Text(L"ProductName"), "Kelvrix control panel");
  EXPECT_EQ(resource.Text(L"FileDescription"), "Kelvrix control panel");
  EXPECT_EQ(resource.Text(L"OriginalFilename"), "kelvrix.exe");
  EXPECT_EQ(resource.Text(L"LegalCopyright"), "Copyright (C) 2026 Kelvrix");
  const VS_FIXEDFILEINFO fixed = resource.Fixed();
  EXPECT_EQ(fixed.dwFileVersionMS, static_cast<DWORD>(MAKELONG(KELVRIX_VERSION_MINOR, KELVRIX_VERSION_MAJOR)));
  EXPECT_EQ(fixed.dwFileVersionLS, static_cast<DWORD>(MAKELONG(0, KELVRIX_VERSION_PATCH)));
  EXPECT_EQ(fixed.dwProductVersionMS, fixed.dwFileVersionMS);
  EXPECT_EQ(fixed.dwProductVersionLS, fixed.dwFileVersionLS);
}

}  // namespace
}  // namespace kelvrix
