// The settings data file: the lines a reset model writes, a byte-exact round
// trip, and files that must load safely.
#include <gtest/gtest.h>

#include "fakes.h"

#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <vector>

#include "model/settings_data_file.h"

namespace kelvrix {
namespace {

using namespace std::string_literals;

using testing::Defaults;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "every line ends in CR LF";
  return lines;
}

// Every field takes a value inside its range other than the default.
DeviceSettings OffDefaults() {
  DeviceSettings s = Defaults();
  auto visit = []<class Field>(Field&& field, auto extent) {
    if constexpr (std::is_same_v<decltype(extent), ValueRange>) {
      for (int32_t& value : field) value = value == extent.high ? extent.low : value + 1;
    } else {
      CopyText(field, extent.digits ? "7890" : " 7\xDF-A/B:C.D");  // as much as the model holds
    }
  };
  VisitSettingsDataFields(s, visit);
  s.channelTitle[3][0] = '\0';  // an empty title
  return s;
}

TEST(SettingsDataFile, ResetModelWritesTheDefaultsLineByLine) {
  const auto lines = Lines(WriteSettingsData(Defaults()));
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kSettingsDataLineCount));
  const std::pair<int, const char*> expected[] = {
      {1, "2"},    {28, "2"},   {29, "0"},   {33, "1"},   {34, "0"},   {35, "1"},   {42, "1"},
      {43, "0"},   {59, "92"},  {75, "1"},   {91, "0"},   {107, "128"}, {138, "128"}, {139, "1"},
      {155, "0"},  {158, "3"},  {159, "4"},  {170, "15"}, {171, "0"},  {188, "1"},  {189, "0"},
      {206, "1"},  {207, "0"},  {230, "7"},  {231, "0"},  {246, "15"}, {247, "0"},  {248, "0"},
      {249, "2"},  {250, "0"},  {251, "1"},  {252, "0"},  {253, "27"}, {254, "0"},  {255, "0"},
      {256, "0"},  {257, "0"},  {258, "0"},  {259, "1"},  {260, "1"},  {261, "1"},  {262, "0"},
      {263, "0"},  {264, "0"},  {265, "5"},  {266, "010"}, {267, "  CH01  "}, {282, "  CH16  "},
  };
  for (const auto& [line, text] : expected) EXPECT_EQ(lines[line - 1], text) << "line " << line;
}

TEST(SettingsDataFile, FileToModelToFileIsByteIdentical) {
  const DeviceSettings written = OffDefaults();
  const std::string file = WriteSettingsData(written);
  ASSERT_EQ(Lines(file)[269], "s") << "the empty title of channel 4";
  DeviceSettings read = Defaults();
  ReadSettingsData(file, read);
  EXPECT_EQ(WriteSettingsData(read), file);
  EXPECT_STREQ(read.channelTitle[3], "");
  EXPECT_STREQ(read.channelTitle[0], " 7\xDF-A/B:");
  const DeviceSettings defaults = Defaults();
  auto lines = Lines(WriteSettingsData(defaults));
  auto offLines = Lines(file);
  for (int i = 0; i < kSettingsDataLineCount; ++i) EXPECT_NE(lines[i], offLines[i]) << "line " << i + 1;
}

// The model tests/data/reference.dat holds, written by hand from the file
// layout, field by field. Neighbouring lines hold different values, and every
// line outside the on/off and layout runs a value no other line holds, so a
// field read or written in another's place shows.
DeviceSettings ReferenceModel() {
  DeviceSettings s = Defaults();
  for (int k = 0; k < kDwellStepCount; ++k) s.autoSequenceDwell[k] = 70 + k;
  s.aspectRatio = {1, 0, 1, 1, 0, 0};
  s.titleDisplay = {0, 1, 1, 0, 1, 0, 0, 1};
  for (int c = 0; c < kChannelCount; ++c) {
    s.videoBrightness[c] = 200 + c;
    s.videoContrast[c] = 100 + c;
    s.videoSharpness[c] = 15 - c;
    s.videoHue[c] = 30 + c;
    s.videoSaturationU[c] = 130 + c;
    s.videoSaturationV[c] = 230 + c;
  }
  s.videoLossDetect = {1, 0, 0, 1, 1, 1, 0, 1, 0, 0, 0, 1, 1, 0, 1, 0};
  for (int k = 0; k < 16; ++k) s.layout4[k / 4][k % 4] = 15 - k;
  for (int k = 0; k < 18; ++k) s.layout6[k / 6][k % 6] = (3 + k) % 16;
  for (int k = 0; k < 18; ++k) s.layout9[k / 9][k % 9] = (5 + 3 * k) % 16;
  for (int k = 0; k < 24; ++k) s.layout12[k / 12][k % 12] = (9 + 5 * k) % 16;
  for (int k = 0; k < 16; ++k) s.layout16[k] = (11 + 7 * k) % 16;
  s.screenSwitch = 21;
  s.fileSpare = -123456789;
  s.autoSequenceMode = 2;
  s.screenSize = 1;
  s.dateTimeDisplay = 0;
  s.dateTimeDisplayForm = 6;
  s.powerOnScreen = 28;
  s.connectorInput = 1;
  s.borderLine = 2;
  s.characterSize = 1;
  s.alarmMode = 1;
  s.alarmInputPolarity = 1;
  s.alarmDisplay = 0;
  s.alarmReturn = 0;
  s.videoLossDisplay = 0;
  s.videoLossBackground = 1;
  s.connectionTry = 1;
  s.keepAlive = 1;
  s.timeRegister = 4;
  CopyText(s.alarmHoldTime, "357");
  const char* titles[] = {"NORTH 01", "SOUTH 02", "EAST 03", "",        "\xB6\xD2\xD7 05", "LOBBY 06",
                          "GATE-07",  "DOCK 08",  "ROOF 09", "HALL 10", "ATM 11",             "SAFE 12",
                          "P/LOT 13", "LIFT:14",  "STAIR.15", " 16 END "};
  for (int c = 0; c < kChannelCount; ++c) CopyText(s.channelTitle[c], titles[c]);
  return s;
}

TEST(SettingsDataFile, HandWrittenReferenceReadsFieldByFieldAndWritesBackByteForByte) {
  std::ifstream in(KELVRIX_REFERENCE_DAT, std::ios::binary);
  ASSERT_TRUE(in) << KELVRIX_REFERENCE_DAT;
  const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(Lines(file).size(), static_cast<std::size_t>(kSettingsDataLineCount));
  DeviceSettings read = Defaults();
  ReadSettingsData(file, read);
  const auto readLines = Lines(WriteSettingsData(read));
  const auto referenceLines = Lines(WriteSettingsData(ReferenceModel()));
  std::string differing;
  for (int i = 0; i < kSettingsDataLineCount; ++i) {
    if (readLines[i] != referenceLines[i]) (differing += ' ') += std::to_string(i + 1);
  }
  EXPECT_TRUE(read == ReferenceModel()) << "lines read into the wrong field:" << differing;
  EXPECT_EQ(WriteSettingsData(ReferenceModel()), file);
}

// A file as an editor or another program may leave it: each case changes the
// lines of a default file and says what the model then holds.
struct BadFileCase {
  const char* name;
  std::function<void(std::vector<std::string>&)> edit;
  std::function<void(DeviceSettings&)> expect;  // turns the defaults into the expected model
  const char* lineEnd = "\r\n";
};

const BadFileCase kBadFiles[] = {
    {"values out of range leave their fields", [](auto& l) { l[28] = "7"s; l[154] = "99"s; l[0] = "-5"s; l[252] = "29"s; },
     [](auto&) {}},
    {"an integer with blanks and a sign, and text after it", [](auto& l) { l[0] = "  +17"s; l[1] = "8 seconds"s; },
     [](auto& s) { s.autoSequenceDwell[0] = 17; s.autoSequenceDwell[1] = 8; }},
    {"lines that are no number leave their fields", [](auto& l) { l[42] = "abc"s; l[43] = ""s; l[44] = "99999999999"s; },
     [](auto&) {}},
    {"over-long texts are cut to their fields, never inside a double-byte character",
     [](auto& l) { l[265] = "12345"s; l[266] = "ABCDEFGHIJKL"s; l[267] = "ABCDEFG\x82\xA0"s; l[268] = "\x82\xA0\x82\xA2\x82\xA4\x82\xA6"s; },
     [](auto& s) {
       CopyText(s.alarmHoldTime, "123");
       CopyText(s.channelTitle[0], "ABCDEFGH");
       CopyText(s.channelTitle[1], "ABCDEFG");
       CopyText(s.channelTitle[2], "\x82\xA0\x82\xA2\x82\xA4\x82\xA6");
     }},
    // A hold time is digits, a title has no control bytes: anything else keeps the field.
    {"a hold time that is not digits, and titles with control bytes, leave their fields",
     [](auto& l) { l[265] = "abc"s; l[266] = "AB\rCD"s; l[267] = "A\x1B" "B"s; l[268] = "A\tB"s; l[269] = "A\x7F"s; },
     [](auto&) {}},
    {"an empty hold time leaves its field", [](auto& l) { l[265] = ""s; }, [](auto&) {}},
    {"a title of exactly s comes back empty", [](auto& l) { l[270] = "s"s; }, [](auto& s) { s.channelTitle[4][0] = '\0'; }},
    {"LF alone ends lines too", [](auto& l) { l[42] = "200"s; l[281] = "LAST"s; },
     [](auto& s) { s.videoBrightness[0] = 200; CopyText(s.channelTitle[15], "LAST"); }, "\n"},
    {"a short file leaves the fields after its last line",
     [](auto& l) { l[0] = "9"s; l[42] = "1"s; l.resize(43); l[29] = "1"s; },
     [](auto& s) { s.autoSequenceDwell[0] = 9; s.aspectRatio[1] = 1; s.videoBrightness[0] = 1; }},
    {"an empty file changes nothing", [](auto& l) { l.clear(); }, [](auto&) {}},
};

TEST(SettingsDataFile, HandEditedAndForeignFilesLoadSafely) {
  for (const BadFileCase& c : kBadFiles) {
    auto lines = Lines(WriteSettingsData(Defaults()));
    c.edit(lines);
    std::string file;
    for (const std::string& line : lines) (file += line) += c.lineEnd;
    DeviceSettings read = Defaults();
    ReadSettingsData(file, read);
    DeviceSettings expected = Defaults();
    c.expect(expected);
    EXPECT_TRUE(read == expected) << c.name;
  }
}

TEST(SettingsDataFile, SaveAsAppendsTheSuffixUnlessThePathHoldsIt) {
  const std::pair<const char*, const char*> kCases[] = {
      {"setup", "setup.dat"},          {"setup.dat", "setup.dat"},
      {"a.data.txt", "a.data.txt"},    {"setup.DAT", "setup.DAT.dat"},
      {".dat", ".dat.dat"},            {"C:\\設定\\機器1", "C:\\設定\\機器1.dat"},
      {"C:\\x.dat\\setup", "C:\\x.dat\\setup"},
  };
  for (const auto& [chosen, saved] : kCases) EXPECT_EQ(WithDataFileSuffix(chosen), saved) << chosen;
  EXPECT_EQ(OverwriteQuestion("C:\\設定\\setup.dat"), "setup.dat は既に存在します。上書きしますか？");
  EXPECT_EQ(OverwriteQuestion("/home/op/機器1.dat"), "機器1.dat は既に存在します。上書きしますか？");
}

}  // namespace
}  // namespace kelvrix
