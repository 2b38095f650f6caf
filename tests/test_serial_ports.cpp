// The serial dialog's ports and the names they open by.
#include <gtest/gtest.h>

#include "link/serial_ports.h"

namespace kelvrix {
namespace {

TEST(SerialPorts, TheSixFirstThenTheMachinesHigherPortsThenTheConfiguredOne) {
  struct Case {
    std::vector<int> present;
    int32_t configured;
    std::vector<int32_t> comPorts;
  };
  const Case cases[] = {
      {{}, 0, {0, 1, 2, 3, 4, 5}},
      {{1, 3}, 2, {0, 1, 2, 3, 4, 5}},                       // the six whatever the machine has
      {{12, 7, 3, 7}, 0, {0, 1, 2, 3, 4, 5, 6, 11}},         // in number order, once each
      {{7}, 19, {0, 1, 2, 3, 4, 5, 6, 19}},                  // COM20 is set but missing: shown
      {{7}, 6, {0, 1, 2, 3, 4, 5, 6}},                       // set and present: once
      {{0, 257, 300}, 300, {0, 1, 2, 3, 4, 5}},              // nothing outside COM1..COM256
  };
  for (const Case& c : cases) {
    const PortChoice choice = SerialPortChoice(c.present, c.configured);
    EXPECT_EQ(choice.comPorts, c.comPorts);
    ASSERT_EQ(choice.entries.size(), choice.comPorts.size());
  }
  const PortChoice choice = SerialPortChoice({10, 7}, 0);
  EXPECT_EQ(choice.entries, (std::vector<std::string>{"COM 1", "COM 2", "COM 3", "COM 4", "COM 5", "COM 6",
                                                      "COM 7", "COM 10"}));
}

TEST(SerialPorts, NumbersComeFromTheComDeviceNamesOnly) {
  EXPECT_EQ(ComPortNumbers({"COM1", "LPT1", "COM7", "COM10", "COM", "COMx", "COM0", "COM07", "COM1a", "COM256",
                            "COM1000", "AUX"}),
            (std::vector<int>{1, 7, 10, 256}));
}

TEST(SerialPorts, PortsFromTenOnOpenByTheirDevicePath) {
  EXPECT_EQ(SerialDeviceName(0), "COM1");
  EXPECT_EQ(SerialDeviceName(8), "COM9");
  EXPECT_EQ(SerialDeviceName(9), "\\\\.\\COM10");
  EXPECT_EQ(SerialDeviceName(255), "\\\\.\\COM256");
}

}  // namespace
}  // namespace kelvrix
