// Every reply prefix decoded into the mirror, and lines that must store nothing.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "fakes.h"
#include "link/reply_dispatcher.h"
#include "model/reply_decoders.h"

namespace kelvrix {
namespace {

DeviceSettings Defaults() {
  DeviceSettings s{};
  ResetSettingsToDefaults(s);
  return s;
}

// Decodes `line` into `s` as the dispatcher hands it over, without its line
// end; false when no row matched or the decoder stored nothing.
bool Decode(std::string_view line, DeviceSettings& s) {
  const std::string_view value = ReplyValue(line);
  const ReplyDecoder* decoder = FindReplyDecoder(value);
  return decoder != nullptr && decoder->decode(value, s);
}

struct DecodeCase {
  std::string_view line;
  std::function<void(DeviceSettings&)> expect;  // turns the defaults into the expected mirror
};

const DecodeCase kDecodeCases[] = {
    {"ADOF\r\n", [](auto& s) { s.alarmDisplay = 0; }},
    {"ADON\r\n", [](auto& s) { s.alarmDisplay = 1; }},
    {"ADT123\r\n", [](auto& s) { CopyText(s.alarmHoldTime, "123"); }},
    {"AH012 03 - 26/12/08 19:30:05\r\n",
     [](auto& s) { s.alarmHistory[11] = {3, 26, 12, 8, 19, 30, 5}; }},
    {"AH100 16 - 99-01-02 03-04-59\r\n",
     [](auto& s) { s.alarmHistory[99] = {16, 99, 1, 2, 3, 4, 59}; }},
    {"AME\r\n", [](auto& s) { s.alarmMode = 1; }},
    {"AMI\r\n", [](auto& s) { s.alarmMode = 0; }},
    {"APB\r\n", [](auto& s) { s.alarmInputPolarity = 1; }},
    {"AROF\r\n", [](auto& s) { s.alarmReturn = 0; }},
    {"BLG\r\n", [](auto& s) { s.borderLine = 1; }},
    {"BLW\r\n", [](auto& s) { s.borderLine = 2; }},
    {"BLX\r\n", [](auto& s) { s.borderLine = 2; }},
    {"CASMS\r\n", [](auto& s) { s.autoSequenceMode = 0; }},
    {"CASMD\r\n", [](auto& s) { s.autoSequenceMode = 1; }},
    {"CASTM01020304050607080910111213141516171819202122232425262728\r\n",
     [](auto& s) { for (int k = 0; k < 28; ++k) s.autoSequenceDwell[k] = k + 1; }},
    {"CDSS\r\n", [](auto& s) { s.characterSize = 1; }},
    {"CIR\r\n", [](auto& s) { s.connectorInput = 1; }},
    {"CTDD4OF\r\n", [](auto& s) { s.titleDisplay[1] = 0; }},
    {"CTDD6OF\r\n", [](auto& s) { s.titleDisplay[2] = 0; }},
    {"CTDD9OF\r\n", [](auto& s) { s.titleDisplay[3] = 0; }},
    {"CTDD12OF\r\n", [](auto& s) { s.titleDisplay[4] = 0; }},
    {"CTDD16OF\r\n", [](auto& s) { s.titleDisplay[5] = 0; }},
    {"CTDSOF\r\n", [](auto& s) { s.titleDisplay[0] = 0; }},
    {"CT05DOOR [1]\r\n", [](auto& s) { CopyText(s.channelTitle[4], "DOOR [1]"); }},
    {"CT16\xDF\xDF\xDF\xDF\xDF\xDF\xDF\xDF\r\n",
     [](auto& s) { CopyText(s.channelTitle[15], "\xDF\xDF\xDF\xDF\xDF\xDF\xDF\xDF"); }},
    {"POSS03\r\n", [](auto& s) { s.powerOnScreen = 2; }},
    {"POSD4A\r\n", [](auto& s) { s.powerOnScreen = 16; }},
    {"POSD4D\r\n", [](auto& s) { s.powerOnScreen = 19; }},
    {"POSD6B\r\n", [](auto& s) { s.powerOnScreen = 21; }},
    {"POSD6C\r\n", [](auto& s) { s.powerOnScreen = 22; }},
    {"POSD9B\r\n", [](auto& s) { s.powerOnScreen = 24; }},
    {"POSD12A\r\n", [](auto& s) { s.powerOnScreen = 25; }},
    {"POSD12B\r\n", [](auto& s) { s.powerOnScreen = 26; }},
    {"POSD16\r\n", [](auto& s) { s.powerOnScreen = 27; }},
    {"POSCAS\r\n", [](auto& s) { s.powerOnScreen = 28; }},
    {"SARS2\r\n", [](auto& s) { s.aspectRatio[0] = 1; }},
    {"SARD42\r\n", [](auto& s) { s.aspectRatio[1] = 1; }},
    {"SARD62\r\n", [](auto& s) { s.aspectRatio[2] = 1; }},
    {"SARD92\r\n", [](auto& s) { s.aspectRatio[3] = 1; }},
    {"SARD121\r\n", [](auto& s) { s.aspectRatio[4] = 0; }},
    {"SARD162\r\n", [](auto& s) { s.aspectRatio[5] = 1; }},
    {"SPD4C09101112\r\n", [](auto&) {}},  // the default row C, stored back unchanged
    {"SPD4A16151413\r\n", [](auto& s) { int32_t r[] = {15, 14, 13, 12}; std::copy_n(r, 4, s.layout4[0]); }},
    {"SPD4D01020304\r\n", [](auto& s) { int32_t r[] = {0, 1, 2, 3}; std::copy_n(r, 4, s.layout4[3]); }},
    {"SPD6B010203040506\r\n", [](auto& s) { int32_t r[] = {0, 1, 2, 3, 4, 5}; std::copy_n(r, 6, s.layout6[1]); }},
    {"SPD9A161514131211100908\r\n",
     [](auto& s) { int32_t r[] = {15, 14, 13, 12, 11, 10, 9, 8, 7}; std::copy_n(r, 9, s.layout9[0]); }},
    {"SPD12B010203040506070809101112\r\n",
     [](auto& s) { for (int j = 0; j < 12; ++j) s.layout12[1][j] = j; }},
    {"SPD1616151413121110090807060504030201\r\n",
     [](auto& s) { for (int j = 0; j < 16; ++j) s.layout16[j] = 15 - j; }},
    {"SS3\r\n", [](auto& s) { s.screenSize = 2; }},
    {"TSDOF\r\n", [](auto& s) { s.dateTimeDisplay = 0; }},
    {"TSDR8\r\n", [](auto& s) { s.dateTimeDisplayForm = 7; }},
    {"VAB03120\r\n", [](auto& s) { s.videoBrightness[2] = 120; }},
    {"VAB04121\n", [](auto& s) { s.videoBrightness[3] = 121; }},
    {"VAC16255\r\n", [](auto& s) { s.videoContrast[15] = 255; }},
    {"VAH01007\r\n", [](auto& s) { s.videoHue[0] = 7; }},
    {"VASH1607\r\n", [](auto& s) { s.videoSharpness[15] = 7; }},
    {"VASU05064\r\n", [](auto& s) { s.videoSaturationU[4] = 64; }},
    {"VASV10200\r\n", [](auto& s) { s.videoSaturationV[9] = 200; }},
    {"VLBCB\r\n", [](auto& s) { s.videoLossBackground = 1; }},
    {"VLDOF\r\n", [](auto& s) { s.videoLossDisplay = 0; }},
    {"VLDOX\r\n", [](auto& s) { s.videoLossDisplay = 0; }},
    {"VLH007 09 - 26/01/31 23:59:58\r\n",
     [](auto& s) { s.videoLossHistory[6] = {9, 26, 1, 31, 23, 59, 58}; }},
    {"VLFNNNNNNNNNNNNNNF\r\n", [](auto& s) { s.videoLossDetect[0] = 0; s.videoLossDetect[15] = 0; }},
    {"EAA192.168.001.003\r\n", [](auto& s) { s.unitActiveAddress = {192, 168, 1, 3}; }},
    {"EGA010.000.000.254\r\n", [](auto& s) { s.unitGatewayAddress = {10, 0, 0, 254}; }},
    {"EIA255.255.255.000\r\n", [](auto& s) { s.unitIpAddress = {255, 255, 255, 0}; }},
    {"EMA00-1A-2B-3C-4D-5E\r\n", [](auto& s) { CopyText(s.macAddress, "00-1A-2B-3C-4D-5E"); }},
    {"ESMA\r\n", [](auto& s) { s.unitSubnetClass = 0; }},
    {"EPN10001\r\n", [](auto& s) { CopyText(s.portNumber, "10001"); }},
    {"ECTON\r\n", [](auto& s) { s.connectionTry = 1; }},
    {"EKAON\r\n", [](auto& s) { s.keepAlive = 1; }},
    {"ETR3\r\n", [](auto& s) { s.timeRegister = 2; }},
    {"Ver. 1.23\r\n", [](auto& s) { CopyText(s.firmwareVersion, "1.23"); }},
};

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << ::testing::PrintToString(std::string(c.line)); }

class DecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, StoresExactlyTheReportedValue) {
  const DecodeCase& c = GetParam();
  DeviceSettings actual = Defaults();
  DeviceSettings expected = Defaults();
  c.expect(expected);
  EXPECT_TRUE(Decode(c.line, actual));
  EXPECT_TRUE(actual == expected);
}

std::string CaseName(const ::testing::TestParamInfo<DecodeCase>& info) {
  std::string name = std::to_string(info.index) + "_";
  for (char ch : info.param.line) {
    if (std::isalnum(static_cast<unsigned char>(ch))) name += ch;
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Catalogue, DecodeTest, ::testing::ValuesIn(kDecodeCases), CaseName);

TEST(ReplyDecoders, PrefixOrderMatchesTheDispatchTable) {
  std::vector<std::string_view> prefixes;
  for (const ReplyDecoder& row : ReplyDecoders()) prefixes.push_back(row.prefix);
  const std::vector<std::string_view> expected = {
      "ADO", "ADT", "AH", "AM", "AP", "ARO", "BL", "CASM", "CASTM", "CDS", "CI",
      "CTDD4O", "CTDD6O", "CTDD9O", "CTDD12O", "CTDD16O", "CTDSO", "CT",
      "POSS", "POSD", "POSCAS", "SARS", "SARD4", "SARD6", "SARD9", "SARD12", "SARD16",
      "SPD4A", "SPD4B", "SPD4C", "SPD4D", "SPD6A", "SPD6B", "SPD6C", "SPD9A", "SPD9B",
      "SPD12A", "SPD12B", "SPD16", "SS", "TSDO", "TSDR",
      "VAB", "VAC", "VAH", "VASH", "VASU", "VASV", "VLBC", "VLD", "VLH", "VL",
      "EAA", "EGA", "EIA", "EMA", "ESM", "EPN", "ECT", "EKA", "ETR", "Ver."};
  EXPECT_EQ(prefixes, expected);
}

TEST(ReplyDecoders, LongerPrefixesWinOverTheirBeginnings) {
  EXPECT_EQ(FindReplyDecoder("CTDSON\r\n")->prefix, "CTDSO");
  EXPECT_EQ(FindReplyDecoder("CTDD12ON\r\n")->prefix, "CTDD12O");
  EXPECT_EQ(FindReplyDecoder("CT01  CH01  \r\n")->prefix, "CT");
  EXPECT_EQ(FindReplyDecoder("VLDON\r\n")->prefix, "VLD");
  EXPECT_EQ(FindReplyDecoder("VLBCN\r\n")->prefix, "VLBC");
  EXPECT_EQ(FindReplyDecoder("VLH001N\r\n")->prefix, "VLH");
  EXPECT_EQ(FindReplyDecoder("VLNNNNNNNNNNNNNNNN\r\n")->prefix, "VL");
  EXPECT_EQ(FindReplyDecoder("CASTM0202\r\n")->prefix, "CASTM");
  EXPECT_EQ(FindReplyDecoder("POSCAS\r\n")->prefix, "POSCAS");
  EXPECT_EQ(FindReplyDecoder("GO\r\n"), nullptr);
  EXPECT_EQ(FindReplyDecoder("E3\r\n"), nullptr);
}

TEST(ReplyDecoders, AReadIsAnsweredInTheFormOfItsSetCommand) {
  EXPECT_TRUE(AnswersReadRequest("RVAB03\r\n", "VAB03120"));
  EXPECT_TRUE(AnswersReadRequest("RVN\r\n", "Ver. 1.00"));
  EXPECT_TRUE(AnswersReadRequest("RAH001", "AH001 N"));
  EXPECT_FALSE(AnswersReadRequest("RVAB04\r\n", "VAB03120")) << "a late answer to the channel before";
  EXPECT_FALSE(AnswersReadRequest("RVN\r\n", "VN"));
  EXPECT_FALSE(AnswersReadRequest("RCT01\r\n", "GO"));
  EXPECT_TRUE(AnswersReadRequest("", "")) << "no request: nothing to tell apart, and no throw";
}

TEST(ReplyDecoders, EmptyHistoryEntryKeepsItsDate) {
  DeviceSettings s = Defaults();
  s.alarmHistory[11] = {4, 26, 12, 1, 8, 0, 0};
  ASSERT_TRUE(Decode("AH012 N\r\n", s));
  EXPECT_EQ(s.alarmHistory[11], (HistoryRecord{255, 26, 12, 1, 8, 0, 0}));

  s.videoLossHistory[0] = {4, 26, 12, 1, 8, 0, 0};
  ASSERT_TRUE(Decode("VLH001 N\r\n", s));
  EXPECT_EQ(s.videoLossHistory[0], (HistoryRecord{255, 26, 12, 1, 8, 0, 0}));
}

TEST(ReplyDecoders, TitleReplyKeepsTheSlotTerminated) {
  DeviceSettings s = Defaults();
  ASSERT_TRUE(Decode("CT0112345678EXTRA\r\n", s));
  EXPECT_STREQ(s.channelTitle[0], "12345678");
}

// Lines a unit should never send, given to both dispatchers as they arrive:
// with CR LF and with LF alone. Each must leave the whole mirror untouched
// and announce nothing.
TEST(ReplyDecoders, MalformedLinesStoreNothing) {
  const std::string_view lines[] = {
      "ADO", "ADT1", "ADT1X3",
      "AH000 03 - 26/12/08 19:30:05", "AH101 03 - 26/12/08 19:30:05", "AH999 N",
      "AH012 03 - 26/12/08 19:30", "AH012 0X - 26/12/08 19:30:05", "AH012", "AH0",
      "AM", "AP", "ARO", "BL", "CASM", "CASTM0102",
      "CASTM010203040506070809101112131415161718192021222324252627X8",
      "CDS", "CI", "CTDD4O", "CTDD12O", "CTDSO",
      "CT00ABCDEFGH", "CT17ABCDEFGH", "CT99ABCDEFGH", "CT1AABCDEFGH", "CT01ABC", "CT", "CT03DOOR1 ",
      "CT03AB\rCDEFGH", "CT03AB\x1B" "CDEFGH", "CT03ABCDEFG\x7F",
      "POSS00", "POSS17", "POSSAB", "POSS1", "POSD", "POSD4", "POSD12", "POSDX1",
      "SARS", "SARD4", "SARD12", "SPD4A0102030", "SPD4A01020300", "SPD4A01020317",
      "SPD16010203040506070809101112131415", "SPD12A0102030405060708091011A2",
      "SS0", "SS4", "SS", "TSDO", "TSDR0", "TSDR9", "TSDR",
      "VAB00120", "VAB17120", "VAB0312", "VAB03A20", "VASH160", "VASU01-12",
      "VASV99000", "VAB01456", "VAC16256", "VASH0199", "VASH0116", "VASU03999", "VLBC", "VLD", "VLH000 N", "VLH101 01 - 26/01/01 00:00:00", "VLH00",
      "VLNNNN", "VLFNNNNNNNNNNNNN", "EAA192.168.001", "EAA256.000.000.000", "EGA1.2.3.4",
      "EIA192.168.0x1.003", "EMA00-1A", "EMA00-1A-2B-3C-4D-5", "ESMD", "ESM", "EPN1234", "EPN12a45",
      "ECT", "EKA", "ETR", "ETR0", "ETR7", "Ver.1", "Ver.", "Ver. 2.1"};
  for (std::string_view line : lines) {
    for (std::string_view end : {"\r\n", "\n"}) {
      const std::string received = std::string(line) + std::string(end);
      testing::TestPanel serial;
      DispatchSerialReply(serial.panel, received);
      EXPECT_TRUE(serial.settings == Defaults()) << "serial " << ::testing::PrintToString(received);
      EXPECT_EQ(serial.link.successPending, 0) << ::testing::PrintToString(received);
      testing::TestPanel socket;
      DispatchSocketReply(socket.panel, received, static_cast<int>(received.size()));
      EXPECT_TRUE(socket.settings == Defaults()) << "socket " << ::testing::PrintToString(received);
    }
  }
}

}  // namespace
}  // namespace kelvrix
