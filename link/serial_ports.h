// Which serial ports the serial dialog offers, and the names they open by.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kelvrix {

inline constexpr int32_t kHighestComPort = 255;  // com_port 255 = COM256

struct PortChoice {
  std::vector<std::string> entries;  // "COM 1".."COM 6", "COM 7", ...
  std::vector<int32_t> comPorts;     // com_port of each entry: its number minus one
};

// "COM 1".."COM 6" always, as com_port 0..5; after them the machine's ports
// above COM6 in number order, and the configured port when the machine does
// not have it, so that the operator sees what is set.
PortChoice SerialPortChoice(const std::vector<int>& presentNumbers, int32_t configured);

// The numbers of the "COMn" names among the system's device names.
std::vector<int> ComPortNumbers(const std::vector<std::string>& deviceNames);

// "COM1".."COM9"; from COM10 on the device path "\\.\COM10", the only name
// those ports open by.
std::string SerialDeviceName(int32_t comPort);

}  // namespace kelvrix
