// Cutting the serial byte stream into lines: a read that ends in LF completes
// them, and what it completes is split at every LF.
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
    {"an LF inside a read waits for a read that ends in LF",
     {"GO\r\nVA", "B01000\r\n"}, {{}, {"GO\r\n", "VAB01000\r\n"}}},
    {"two replies in one read are two lines", {"GO\r\nGO\r\n"}, {{"GO\r\n", "GO\r\n"}}},
    {"LF alone ends a line too", {"E3\nGO\r\n"}, {{"E3\n", "GO\r\n"}}},
    {"an empty read adds nothing", {""}, {{}}},
    {"a line of exactly 599 characters passes", {kLine599}, {{kLine599}}},
    {"noise then a reply in a read of its own", {kNoise596, "GO\r\n"}, {{}, {"GO\r\n"}}},
    {"an overlong line is dropped up to the next read that ends in LF",
     {std::string(599, 'x'), "y", "zzz", "GO\r\n", "AMI\r\n"}, {{}, {}, {}, {"GO\r\n"}, {"AMI\r\n"}}},
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
