// kelvrix.ini through the system's private-profile functions. Named without
// a directory, the file lives in the Windows directory.
#pragma once

#include "model/config_file.h"

namespace kelvrix {

class PrivateProfileStore : public ProfileStore {
 public:
  std::string Read(std::string_view key, std::string_view defaultText) override;
  void Write(std::string_view key, std::string_view value) override;
};

}  // namespace kelvrix
