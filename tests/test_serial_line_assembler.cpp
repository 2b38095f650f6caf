// Cutting the serial byte stream into lines by the last byte of each read.
#include <gtest/gtest.h>

#include "link/serial_line_assembler.h"

namespace kelvrix {
namespace {

TEST(SerialLineAssembler, ReplyInThreeReadsIsOneLine) {
  SerialLineAssembler assembler;
  EXPECT_FALSE(assembler.AddRead("VA"));
  EXPECT_FALSE(assembler.AddRead("B0312"));
  EXPECT_EQ(assembler.AddRead("0\r\n"), "VAB03120\r\n");
  EXPECT_EQ(assembler.AddRead("GO\r\n"), "GO\r\n");  // the next line starts afresh
}

TEST(SerialLineAssembler, CrWithoutLfWaitsForTheLf) {
  SerialLineAssembler assembler;
  EXPECT_FALSE(assembler.AddRead("GO\r"));
  EXPECT_EQ(assembler.AddRead("\n"), "GO\r\n");
}

TEST(SerialLineAssembler, OnlyTheLastByteOfAReadCounts) {
  SerialLineAssembler assembler;
  EXPECT_FALSE(assembler.AddRead("GO\r\nVA"));
  EXPECT_EQ(assembler.AddRead("B01000\r\n"), "GO\r\nVAB01000\r\n");
  EXPECT_EQ(assembler.AddRead("GO\r\nGO\r\n"), "GO\r\nGO\r\n");
  EXPECT_FALSE(assembler.AddRead(""));
}

TEST(SerialLineAssembler, OverlongLineIsDroppedUpToItsEnd) {
  SerialLineAssembler assembler;
  EXPECT_FALSE(assembler.AddRead(std::string(599, 'x')));
  EXPECT_FALSE(assembler.AddRead("y"));  // 600th character: the line is lost
  EXPECT_FALSE(assembler.AddRead("zzz"));
  EXPECT_FALSE(assembler.AddRead("tail\r\n"));  // its end is dropped too
  EXPECT_EQ(assembler.AddRead("GO\r\n"), "GO\r\n");
}

TEST(SerialLineAssembler, LineOfExactly599CharactersPasses) {
  SerialLineAssembler assembler;
  const std::string line = std::string(597, 'x') + "\r\n";
  EXPECT_EQ(assembler.AddRead(line), line);
}

}  // namespace
}  // namespace kelvrix
