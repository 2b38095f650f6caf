// kelvrix.ini through the system's private-profile functions, at a full path:
// the file a site deploys in the Windows directory, and the user's own.
#pragma once

#include <string>

#include "link/config_file.h"

namespace kelvrix {

class PrivateProfileFile : public ProfileFile {
 public:
  explicit PrivateProfileFile(std::wstring path) : path_(std::move(path)) {}
  std::string Read(std::string_view key, std::string_view defaultText) override;
  bool Write(std::string_view key, std::string_view value) override;
  bool Exists() override;
  std::string Path() override;
  bool Start(ProfileFile& source) override;

 private:
  std::wstring path_;
};

// "C:\Windows\kelvrix.ini": where the file lives when named without a folder.
std::wstring SharedConfigPath();
// "...\AppData\Roaming\Kelvrix\kelvrix.ini": the user's own.
std::wstring PersonalConfigPath();

}  // namespace kelvrix
