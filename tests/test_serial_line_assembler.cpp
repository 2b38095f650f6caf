// Cutting the serial byte stream into lines at every LF.
#include <gtest/gtest.h>

#include "link/serial_line_assembler.h"

namespace kelvrix {
namespace {

using Lines = std::vector<std::string>;

// Each case feeds its reads in order and expects the lines of every read.
struct AssemblyCase {
  const char* name;
  std::vector<std::string> reads;
  std::vector<Lines> linesPerRead;
};

const std::string kNoise596(596, 'x');
const std::string kLine599 = std::string(597, 'x') + "\r\n";

const AssemblyCase kCases[] = {
    {"three reads make one line", {"VA", "B0312", "0\r\n", "GO\r\n"}, {{}, {}, {"VAB03120\r\n"}, {"GO\r\n"}}},
    {"CR without LF waits", {"GO\r", "\n"}, {{}, {"GO\r\n"}}},
    {"an LF inside a read ends its line at once", {"GO\r\nVA", "B01000\r\n"}, {{"GO\r\n"}, {"VAB01000\r\n"}}},
    {"two replies in one read are two lines", {"GO\r\nGO\r\n"}, {{"GO\r\n", "GO\r\n"}}},
    {"LF alone ends a line too", {"E3\nGO\r\n"}, {{"E3\n", "GO\r\n"}}},
    {"an empty read adds nothing", {""}, {{}}},
    {"a line of exactly 599 characters passes", {kLine599}, {{kLine599}}},
    {"noise then a reply in a read of its own", {kNoise596, "GO\r\n"}, {{}, {"GO\r\n"}}},
    {"noise that never ends stays bounded and a later reply gets through",
     {std::string(599, 'x'), std::string(599, 'y'), std::string(700, 'z'), "GO\r\n"}, {{}, {}, {}, {"GO\r\n"}}},
    {"back-to-back replies over reads of 600 bytes lose nothing",
     {std::string("VAB01000\r\n") + std::string(595, 'x'), std::string("\r\nGO\r\n")},
     {{"VAB01000\r\n"}, {std::string(595, 'x') + "\r\n", "GO\r\n"}}},
    {"a line of 600 inside one read is dropped, the rest of the read kept",
     {std::string(598, 'x') + "\r\nGO\r\n"}, {{"GO\r\n"}}},
};

TEST(SerialLineAssembler, LinesEachReadCompletes) {
  for (const AssemblyCase& c : kCases) {
    SerialLineAssembler assembler;
    ASSERT_EQ(c.reads.size(), c.linesPerRead.size()) << c.name;
    for (std::size_t i = 0; i < c.reads.size(); ++i) {
      EXPECT_EQ(assembler.AddRead(c.reads[i]), c.linesPerRead[i]) << c.name << ", read " << i;
    }
  }
}

}  // namespace
}  // namespace kelvrix
