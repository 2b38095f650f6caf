#include "link/config_file.h"

#include "link/serial_ports.h"

#include <cstdio>

namespace kelvrix {

namespace {

// The profile functions read into fixed buffers: 10 characters for numbers,
// 6 for the port, each with its terminator.
constexpr std::size_t kNumberBuffer = 10;
constexpr std::size_t kPortBuffer = 6;

std::string ReadText(ProfileStore& store, std::string_view key, std::string_view defaultText,
                     std::size_t buffer) {
  std::string text = store.Read(key, defaultText);
  if (text.size() > buffer - 1) text.resize(buffer - 1);
  return text;
}

// A value outside what the program can use falls back to the key's default,
// so a hand-edited file can never index past a list.
int ReadNumber(ProfileStore& store, std::string_view key, int low, int high) {
  const int value = ProfileInteger(ReadText(store, key, "0", kNumberBuffer));
  return value >= low && value <= high ? value : 0;
}

void WriteNumber(ProfileStore& store, std::string_view key, int value) {
  store.Write(key, std::to_string(value));
}

void WriteHost(ProfileStore& store, int entry, const Ipv4Address& address) {
  for (int byte = 0; byte < 4; ++byte) WriteNumber(store, HostKey(entry, byte), address[byte]);
}

}  // namespace

std::string ConfigFiles::Read(std::string_view key, std::string_view defaultText) {
  return (personal_.Exists() ? personal_ : shared_).Read(key, defaultText);
}

bool ConfigFiles::Write(std::string_view key, std::string_view value) {
  // A user's file without the shared file's keys would hide them: write to
  // it only once it started as their copy.
  if (!personal_.Exists()) {
    if (shared_.Write(key, value)) return true;
    if (personal_.Start(shared_) && personal_.Write(key, value)) return true;
  } else if (personal_.Write(key, value)) {
    return true;
  }
  if (!warned_) {
    warned_ = true;
    warn_("設定を保存できません: " + personal_.Path());
  }
  return false;
}

std::string HostKey(int entry, int byte) {
  char key[16];
  std::snprintf(key, sizeof key, "ip%02d_%d", entry, byte);
  return key;
}

int ProfileInteger(std::string_view text) {
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9' || value > 99'999'999) break;
    value = value * 10 + (c - '0');
  }
  return value;
}

void ReadHostListKeys(ProfileStore& store, LinkState& link) {
  link.clientServerMode = ReadNumber(store, "ClientServer", 0, 1);
  // "-1" (none chosen, as a deleted choice leaves it) and any index past the
  // list choose no host: connecting to host 0 instead would reach another unit.
  const std::string selectedText = ReadText(store, "select_number", "0", kNumberBuffer);
  const bool isIndex = !selectedText.empty() && selectedText[0] >= '0' && selectedText[0] <= '9';
  const int selected = isIndex ? ProfileInteger(selectedText) : -1;
  const int count = ReadNumber(store, "list_count", 0, kMaxHosts);
  link.hostList.assign(static_cast<std::size_t>(count), Ipv4Address{});
  for (int entry = 0; entry < count; ++entry) {
    for (int byte = 0; byte < 4; ++byte) {
      link.hostList[entry][byte] = static_cast<uint8_t>(ReadNumber(store, HostKey(entry, byte), 0, 255));
    }
  }
  link.selectedConnection = selected >= 0 && selected < count ? selected : -1;
}

void ReadConfigFile(ProfileStore& store, LinkState& link, DeviceSettings& settings) {
  link.comPort = ReadNumber(store, "com_port", 0, kHighestComPort);
  link.rsControl = ReadNumber(store, "rs_control", 0, 1);
  link.linkInterface = ReadNumber(store, "Interface", 0, 1);
  const std::string port = ReadText(store, "p_port_number", "09004", kPortBuffer);
  CopyText(settings.portNumber, port);
}

void WriteClientServer(ProfileStore& store, const LinkState& link) {
  WriteNumber(store, "ClientServer", link.clientServerMode);
}
void WriteSelectedConnection(ProfileStore& store, const LinkState& link) {
  WriteNumber(store, "select_number", link.selectedConnection);
}
void WriteComPort(ProfileStore& store, const LinkState& link) { WriteNumber(store, "com_port", link.comPort); }
void WriteRsControl(ProfileStore& store, const LinkState& link) {
  WriteNumber(store, "rs_control", link.rsControl);
}
void WriteInterface(ProfileStore& store, const LinkState& link) {
  WriteNumber(store, "Interface", link.linkInterface);
}
void WritePortNumber(ProfileStore& store, const DeviceSettings& settings) {
  store.Write("p_port_number", settings.portNumber);
}

bool AddHost(ProfileStore& store, LinkState& link, const Ipv4Address& address) {
  if (link.hostList.size() >= static_cast<std::size_t>(kMaxHosts)) return false;
  link.hostList.push_back(address);
  const int entry = static_cast<int>(link.hostList.size()) - 1;
  WriteNumber(store, "list_count", entry + 1);
  WriteHost(store, entry, address);
  return true;
}

bool DeleteHost(ProfileStore& store, LinkState& link, int position) {
  if (position < 0 || position >= static_cast<int>(link.hostList.size())) return false;
  link.hostList.erase(link.hostList.begin() + position);
  const int count = static_cast<int>(link.hostList.size());
  WriteNumber(store, "list_count", count);
  for (int entry = position; entry < count; ++entry) WriteHost(store, entry, link.hostList[entry]);
  // The choice follows its host; the chosen host deleted, none is chosen.
  int& chosen = link.selectedConnection;
  if (chosen >= position) {
    chosen = chosen == position ? -1 : chosen - 1;
    WriteSelectedConnection(store, link);
  }
  return true;
}

}  // namespace kelvrix
