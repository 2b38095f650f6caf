#include "link/serial_ports.h"

#include <algorithm>

namespace kelvrix {

PortChoice SerialPortChoice(const std::vector<int>& presentNumbers, int32_t configured) {
  std::vector<int32_t> ports = {0, 1, 2, 3, 4, 5};
  std::vector<int32_t> more;
  for (int number : presentNumbers) {
    if (number > 6 && number <= kHighestComPort + 1) more.push_back(number - 1);
  }
  if (configured > 5 && configured <= kHighestComPort) more.push_back(configured);
  std::sort(more.begin(), more.end());
  more.erase(std::unique(more.begin(), more.end()), more.end());
  ports.insert(ports.end(), more.begin(), more.end());

  PortChoice choice;
  for (int32_t port : ports) {
    choice.entries.push_back("COM " + std::to_string(port + 1));
    choice.comPorts.push_back(port);
  }
  return choice;
}

std::vector<int> ComPortNumbers(const std::vector<std::string>& deviceNames) {
  std::vector<int> numbers;
  for (const std::string& name : deviceNames) {
    if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, "COM") != 0 || name[3] == '0') continue;
    int number = 0;
    bool digits = true;
    for (std::size_t i = 3; i < name.size(); ++i) {
      digits = digits && name[i] >= '0' && name[i] <= '9';
      if (digits) number = number * 10 + (name[i] - '0');
    }
    if (digits) numbers.push_back(number);
  }
  return numbers;
}

std::string SerialDeviceName(int32_t comPort) {
  const std::string name = "COM" + std::to_string(comPort + 1);
  return comPort >= 9 ? "\\\\.\\" + name : name;
}

}  // namespace kelvrix
