// kelvrix.ini: the program's own link configuration, section "Kelvrix_Section".
//
// The file is read once at start-up and written key by key the moment the
// operator changes a value; there is no copy of it in memory. The key logic
// is here, behind ProfileStore; the Win32 build stores through the system's
// private-profile functions, tests through a map.
#pragma once

#include <cstddef>
#include <functional>
#include <utility>
#include <string>
#include <string_view>

#include "link/link_state.h"
#include "model/device_settings.h"

namespace kelvrix {

class ProfileStore {
 public:
  virtual ~ProfileStore() = default;
  // The key's text, or `defaultText` when the file, section or key is missing.
  virtual std::string Read(std::string_view key, std::string_view defaultText) = 0;
  // False when the file did not take the value.
  virtual bool Write(std::string_view key, std::string_view value) = 0;
};

// One kelvrix.ini file, in a place of its own.
class ProfileFile : public ProfileStore {
 public:
  virtual bool Exists() = 0;
  virtual std::string Path() = 0;
  // Starts this file as a copy of `source`, or empty when `source` does not
  // exist, making its folder first. False when it cannot.
  virtual bool Start(ProfileFile& source) = 0;
};

// kelvrix.ini where it can be kept. Sites may deploy one in the Windows
// directory (`shared`); it is read as long as the user has no file of their
// own. When it refuses a write, as it does a standard user, the
// configuration moves for good to the user's own file (`personal`), started
// as a copy of the shared one. When that refuses too, `warn` is told once.
class ConfigFiles : public ProfileStore {
 public:
  ConfigFiles(ProfileFile& shared, ProfileFile& personal, std::function<void(const std::string&)> warn)
      : shared_(shared), personal_(personal), warn_(std::move(warn)) {}
  std::string Read(std::string_view key, std::string_view defaultText) override;
  bool Write(std::string_view key, std::string_view value) override;

 private:
  ProfileFile& shared_;
  ProfileFile& personal_;
  std::function<void(const std::string&)> warn_;
  bool warned_ = false;
};

inline constexpr int kMaxHosts = 100;  // two digits in the key name

// "ip07_2": byte 2 of host-list entry 7.
std::string HostKey(int entry, int byte);

// Leading decimal digits as an integer; 0 when there are none.
int ProfileInteger(std::string_view text);

// Start-up, as the last part of the reset: ClientServer, select_number,
// list_count and the host list.
void ReadHostListKeys(ProfileStore& store, LinkState& link);
// Start-up, right after: com_port, rs_control, Interface, p_port_number.
void ReadConfigFile(ProfileStore& store, LinkState& link, DeviceSettings& settings);

// Writes of single values, the moment they change.
void WriteClientServer(ProfileStore& store, const LinkState& link);
void WriteSelectedConnection(ProfileStore& store, const LinkState& link);
void WriteComPort(ProfileStore& store, const LinkState& link);
void WriteRsControl(ProfileStore& store, const LinkState& link);
void WriteInterface(ProfileStore& store, const LinkState& link);
void WritePortNumber(ProfileStore& store, const DeviceSettings& settings);

// Appends a host and writes list_count, then its four keys. False when the
// list is full.
bool AddHost(ProfileStore& store, LinkState& link, const Ipv4Address& address);
// Removes the host at `position`: list_count first, then the keys of every
// entry that moved up, under its new number; then select_number when the
// choice moved with its host or, its host deleted, became none (-1).
bool DeleteHost(ProfileStore& store, LinkState& link, int position);

}  // namespace kelvrix
