// Every set command and read request, pinned to its exact bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>

#include "fakes.h"
#include "model/command_catalogue.h"
#include "model/digits.h"

namespace kelvrix {
namespace {

struct BuilderCase {
  const char* name;
  std::function<void(DeviceSettings&)> edit;
  std::function<BuiltCommand(const DeviceSettings&)> build;
  std::string_view expected;
};

void NoEdit(DeviceSettings&) {}

const BuilderCase kBuilderCases[] = {
    // Alarm
    {"AP make", NoEdit, BuildAP, "APM\r\n"},
    {"AP break", [](auto& s) { s.alarmInputPolarity = 1; }, BuildAP, "APB\r\n"},
    {"ADT default", NoEdit, BuildADT, "ADT010\r\n"},
    {"ADT 999", [](auto& s) { CopyText(s.alarmHoldTime, "999"); }, BuildADT, "ADT999\r\n"},
    {"ADT short text padded", [](auto& s) { CopyText(s.alarmHoldTime, "5"); }, BuildADT, "ADT005\r\n"},
    {"AD on", NoEdit, BuildAD, "ADON\r\n"},
    {"AD off", [](auto& s) { s.alarmDisplay = 0; }, BuildAD, "ADOF\r\n"},
    {"AM internal", NoEdit, BuildAM, "AMI\r\n"},
    {"AM external", [](auto& s) { s.alarmMode = 1; }, BuildAM, "AME\r\n"},
    {"AR on", NoEdit, BuildAR, "ARON\r\n"},
    {"AR off", [](auto& s) { s.alarmReturn = 0; }, BuildAR, "AROF\r\n"},
    {"AHD", NoEdit, [](auto&) { return BuildAHD(); }, "AHD\r\n"},
    {"VLHD", NoEdit, [](auto&) { return BuildVLHD(); }, "VLHD\r\n"},
    // Aspect ratio
    {"SARS 4:3", NoEdit, [](auto& s) { return BuildAspectRatio(s, 0); }, "SARS1\r\n"},
    {"SARS full", [](auto& s) { s.aspectRatio[0] = 1; }, [](auto& s) { return BuildAspectRatio(s, 0); }, "SARS2\r\n"},
    {"SARD4", NoEdit, [](auto& s) { return BuildAspectRatio(s, 1); }, "SARD41\r\n"},
    {"SARD6", [](auto& s) { s.aspectRatio[2] = 1; }, [](auto& s) { return BuildAspectRatio(s, 2); }, "SARD62\r\n"},
    {"SARD9", NoEdit, [](auto& s) { return BuildAspectRatio(s, 3); }, "SARD91\r\n"},
    {"SARD12 default full", NoEdit, [](auto& s) { return BuildAspectRatio(s, 4); }, "SARD122\r\n"},
    {"SARD16", NoEdit, [](auto& s) { return BuildAspectRatio(s, 5); }, "SARD161\r\n"},
    // Automatic sequence
    {"CASTM default", NoEdit, BuildCASTM, "CASTM02020202020202020202020202020202020202020202020202020202\r\n"},
    {"CASTM steps", [](auto& s) { for (int k = 0; k < 28; ++k) s.autoSequenceDwell[k] = k + 1; },
     BuildCASTM, "CASTM01020304050607080910111213141516171819202122232425262728\r\n"},
    {"CASTM one step left", [](auto& s) { s.autoSequenceDwell.fill(0); s.autoSequenceDwell[27] = 99; },
     BuildCASTM, "CASTM00000000000000000000000000000000000000000000000000000099\r\n"},
    {"CASM single", [](auto& s) { s.autoSequenceMode = 0; }, BuildCASM, "CASMS\r\n"},
    {"CASM division", [](auto& s) { s.autoSequenceMode = 1; }, BuildCASM, "CASMD\r\n"},
    {"CASM mix", NoEdit, BuildCASM, "CASMM\r\n"},
    // Date and time
    {"DSY", NoEdit, [](auto&) { return BuildDSY(2026); }, "DSY26\r\n"},
    {"DSY 2000", NoEdit, [](auto&) { return BuildDSY(2000); }, "DSY00\r\n"},
    {"DSM", NoEdit, [](auto&) { return BuildDSM(12); }, "DSM12\r\n"},
    {"DSD", NoEdit, [](auto&) { return BuildDSD(8); }, "DSD08\r\n"},
    {"TSH", NoEdit, [](auto&) { return BuildTSH(0); }, "TSH00\r\n"},
    {"TSM", NoEdit, [](auto&) { return BuildTSM(59); }, "TSM59\r\n"},
    {"TSS", NoEdit, [](auto&) { return BuildTSS(7); }, "TSS07\r\n"},
    {"TSA", NoEdit, [](auto&) { return BuildTSA(); }, "TSA\r\n"},
    {"TSDR first", NoEdit, BuildTSDR, "TSDR1\r\n"},
    {"TSDR last", [](auto& s) { s.dateTimeDisplayForm = 7; }, BuildTSDR, "TSDR8\r\n"},
    {"TSDO on", NoEdit, BuildTSDO, "TSDON\r\n"},
    {"TSDO off", [](auto& s) { s.dateTimeDisplay = 0; }, BuildTSDO, "TSDOF\r\n"},
    // Other settings
    {"CI alarm", NoEdit, BuildCI, "CIA\r\n"},
    {"CI remote", [](auto& s) { s.connectorInput = 1; }, BuildCI, "CIR\r\n"},
    {"BL black", NoEdit, BuildBL, "BLB\r\n"},
    {"BL gray", [](auto& s) { s.borderLine = 1; }, BuildBL, "BLG\r\n"},
    {"BL white", [](auto& s) { s.borderLine = 2; }, BuildBL, "BLW\r\n"},
    {"CDS normal", NoEdit, BuildCDS, "CDSN\r\n"},
    {"CDS small", [](auto& s) { s.characterSize = 1; }, BuildCDS, "CDSS\r\n"},
    {"MOF", NoEdit, [](auto&) { return BuildMOF(); }, "MOF\r\n"},
    // The unit's network settings
    {"IA", [](auto& s) { s.unitIpAddress = {192, 168, 1, 3}; }, BuildIA, "IA192.168.001.003\r\n"},
    {"IA short fields", [](auto& s) { s.unitIpAddress = {192, 168, 0, 10}; }, BuildIA, "IA192.168.000.010\r\n"},
    {"GA", [](auto& s) { s.unitGatewayAddress = {10, 0, 0, 254}; }, BuildGA, "GA010.000.000.254\r\n"},
    {"AA default", NoEdit, BuildAA, "AA000.000.000.000\r\n"},
    {"SM class A", [](auto& s) { s.unitSubnetClass = 0; }, BuildSM, "SMA\r\n"},
    {"SM class B", [](auto& s) { s.unitSubnetClass = 1; }, BuildSM, "SMB\r\n"},
    {"SM class C", NoEdit, BuildSM, "SMC\r\n"},
    {"PN default", NoEdit, BuildPN, "PN09004\r\n"},
    {"PN short text padded", [](auto& s) { CopyText(s.portNumber, "9004"); }, BuildPN, "PN09004\r\n"},
    {"PN full", [](auto& s) { CopyText(s.portNumber, "65535"); }, BuildPN, "PN65535\r\n"},
    {"ECT off", NoEdit, BuildECT, "ECTOF\r\n"},
    {"ECT on", [](auto& s) { s.connectionTry = 1; }, BuildECT, "ECTON\r\n"},
    {"EKA on", [](auto& s) { s.keepAlive = 1; }, BuildEKA, "EKAON\r\n"},
    {"ETR keep-alive off ignores the register", [](auto& s) { s.timeRegister = 2; }, BuildETR, "ETR1\r\n"},
    {"ETR 30 s", [](auto& s) { s.keepAlive = 1; s.timeRegister = 2; }, BuildETR, "ETR3\r\n"},
    {"ETR 60 s", [](auto& s) { s.keepAlive = 1; }, BuildETR, "ETR6\r\n"},
    // Division layouts
    {"SPD4A default", NoEdit, [](auto& s) { return BuildLayout(s, 0); }, "SPD4A01020304\r\n"},
    {"SPD4C", NoEdit, [](auto& s) { return BuildLayout(s, 2); }, "SPD4C09101112\r\n"},
    {"SPD4D", NoEdit, [](auto& s) { return BuildLayout(s, 3); }, "SPD4D13141516\r\n"},
    {"SPD6C wraps", NoEdit, [](auto& s) { return BuildLayout(s, 6); }, "SPD6C131415160102\r\n"},
    {"SPD9B", NoEdit, [](auto& s) { return BuildLayout(s, 8); }, "SPD9B101112131415160102\r\n"},
    {"SPD12A", NoEdit, [](auto& s) { return BuildLayout(s, 9); }, "SPD12A010203040506070809101112\r\n"},
    {"SPD12B", NoEdit, [](auto& s) { return BuildLayout(s, 10); }, "SPD12B131415160102030405060708\r\n"},
    {"SPD16", NoEdit, [](auto& s) { return BuildLayout(s, 11); }, "SPD1601020304050607080910111213141516\r\n"},
    {"SPD16 reversed", [](auto& s) { for (int j = 0; j < 16; ++j) s.layout16[j] = 15 - j; },
     [](auto& s) { return BuildLayout(s, 11); }, "SPD1616151413121110090807060504030201\r\n"},
    // Screen
    {"POS single", [](auto& s) { s.powerOnScreen = 2; }, BuildPowerOnScreen, "POSS03\r\n"},
    {"POS channel 16", [](auto& s) { s.powerOnScreen = 15; }, BuildPowerOnScreen, "POSS16\r\n"},
    {"POS 4B", [](auto& s) { s.powerOnScreen = 17; }, BuildPowerOnScreen, "POSD4B\r\n"},
    {"POS 6C", [](auto& s) { s.powerOnScreen = 22; }, BuildPowerOnScreen, "POSD6C\r\n"},
    {"POS 9A", [](auto& s) { s.powerOnScreen = 23; }, BuildPowerOnScreen, "POSD9A\r\n"},
    {"POS 12B", [](auto& s) { s.powerOnScreen = 26; }, BuildPowerOnScreen, "POSD12B\r\n"},
    {"POS 16 default", NoEdit, BuildPowerOnScreen, "POSD16\r\n"},
    {"POS auto", [](auto& s) { s.powerOnScreen = 28; }, BuildPowerOnScreen, "POSCAS\r\n"},
    {"POS above auto", [](auto& s) { s.powerOnScreen = 40; }, BuildPowerOnScreen, "POSCAS\r\n"},
    {"CS channel 10", [](auto& s) { s.screenSwitch = 9; }, BuildScreenSwitch, "CS10\r\n"},
    {"CS default", NoEdit, BuildScreenSwitch, "CS01\r\n"},
    {"CD 4A", [](auto& s) { s.screenSwitch = 16; }, BuildScreenSwitch, "CD4A\r\n"},
    {"CD 12A", [](auto& s) { s.screenSwitch = 25; }, BuildScreenSwitch, "CD12A\r\n"},
    {"CD 12B", [](auto& s) { s.screenSwitch = 26; }, BuildScreenSwitch, "CD12B\r\n"},
    {"CD 16", [](auto& s) { s.screenSwitch = 27; }, BuildScreenSwitch, "CD16\r\n"},
    {"CCAS", [](auto& s) { s.screenSwitch = 28; }, BuildScreenSwitch, "CCAS\r\n"},
    {"SS 1280x1024", NoEdit, BuildSS, "SS1\r\n"},
    {"SS 1920x1080", [](auto& s) { s.screenSize = 2; }, BuildSS, "SS3\r\n"},
    // Channel titles
    {"CT default", NoEdit, [](auto& s) { return BuildCT(s, 0); }, "CT01  CH01  \r\n"},
    {"CT padded two letters", [](auto& s) { CopyText(s.channelTitle[0], "AB      "); },
     [](auto& s) { return BuildCT(s, 0); }, "CT01AB      \r\n"},
    {"CT every symbol", [](auto& s) { CopyText(s.channelTitle[15], "[]+-/:.\xDF"); },
     [](auto& s) { return BuildCT(s, 15); }, "CT16[]+-/:.\xDF\r\n"},
    // Title display
    {"CTDS on", NoEdit, [](auto& s) { return BuildTitleDisplay(s, 0); }, "CTDSON\r\n"},
    {"CTDS off", [](auto& s) { s.titleDisplay[0] = 0; }, [](auto& s) { return BuildTitleDisplay(s, 0); }, "CTDSOF\r\n"},
    {"CTDD4", NoEdit, [](auto& s) { return BuildTitleDisplay(s, 1); }, "CTDD4ON\r\n"},
    {"CTDD6", [](auto& s) { s.titleDisplay[2] = 0; }, [](auto& s) { return BuildTitleDisplay(s, 2); }, "CTDD6OF\r\n"},
    {"CTDD9", NoEdit, [](auto& s) { return BuildTitleDisplay(s, 3); }, "CTDD9ON\r\n"},
    {"CTDD12", [](auto& s) { s.titleDisplay[4] = 0; }, [](auto& s) { return BuildTitleDisplay(s, 4); }, "CTDD12OF\r\n"},
    {"CTDD16", NoEdit, [](auto& s) { return BuildTitleDisplay(s, 5); }, "CTDD16ON\r\n"},
    // Video adjustment
    {"VAB", [](auto& s) { s.videoBrightness[2] = 120; }, [](auto& s) { return BuildVideoAdjust(s, kBrightness, 2); }, "VAB03120\r\n"},
    {"VAB 5/128", [](auto& s) { s.videoBrightness[4] = 128; }, [](auto& s) { return BuildVideoAdjust(s, kBrightness, 4); }, "VAB05128\r\n"},
    {"VAC default", NoEdit, [](auto& s) { return BuildVideoAdjust(s, kContrast, 0); }, "VAC01092\r\n"},
    {"VAH", [](auto& s) { s.videoHue[9] = 7; }, [](auto& s) { return BuildVideoAdjust(s, kHue, 9); }, "VAH10007\r\n"},
    {"VASH 16", [](auto& s) { s.videoSharpness[15] = 7; }, [](auto& s) { return BuildVideoAdjust(s, kSharpness, 15); }, "VASH1607\r\n"},
    {"VASH 12", NoEdit, [](auto& s) { return BuildVideoAdjust(s, kSharpness, 11); }, "VASH1201\r\n"},
    {"VASU", NoEdit, [](auto& s) { return BuildVideoAdjust(s, kSaturationU, 0); }, "VASU01128\r\n"},
    {"VASV", [](auto& s) { s.videoSaturationV[13] = 255; }, [](auto& s) { return BuildVideoAdjust(s, kSaturationV, 13); }, "VASV14255\r\n"},
    // Video loss
    {"VL all on", NoEdit, BuildVL, "VLNNNNNNNNNNNNNNNN\r\n"},
    {"VL mixed", [](auto& s) { s.videoLossDetect[0] = 0; s.videoLossDetect[15] = 0; }, BuildVL, "VLFNNNNNNNNNNNNNNF\r\n"},
    {"VL channel 3 off", [](auto& s) { s.videoLossDetect[2] = 0; }, BuildVL, "VLNNFNNNNNNNNNNNNN\r\n"},
    {"VLD on", NoEdit, BuildVLD, "VLDON\r\n"},
    {"VLD off", [](auto& s) { s.videoLossDisplay = 0; }, BuildVLD, "VLDOF\r\n"},
    {"VLBC normal", NoEdit, BuildVLBC, "VLBCN\r\n"},
    {"VLBC black", [](auto& s) { s.videoLossBackground = 1; }, BuildVLBC, "VLBCB\r\n"},
};

void PrintTo(const BuilderCase& c, std::ostream* os) { *os << ::testing::PrintToString(std::string(c.name)); }

class BuilderTest : public ::testing::TestWithParam<BuilderCase> {};

TEST_P(BuilderTest, BuildsExactLine) {
  const BuilderCase& c = GetParam();
  DeviceSettings settings{};
  ResetSettingsToDefaults(settings);
  c.edit(settings);
  const BuiltCommand built = c.build(settings);
  EXPECT_FALSE(built.refused());
  EXPECT_EQ(built.text, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Catalogue, BuilderTest, ::testing::ValuesIn(kBuilderCases),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           for (char& ch : name) {
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           }
                           return name;
                         });

class RefusalTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetSettingsToDefaults(settings); }
  DeviceSettings settings{};
};

// Every entry of the screen dialog's two boxes, in entry order, and a value
// above the list sent as its last entry.
TEST(ScreenCommands, EveryScreenHasItsPowerOnAndSwitchLine) {
  const char* kScreens[] = {"01", "02", "03", "04", "05", "06", "07", "08", "09", "10", "11", "12", "13", "14",
                            "15", "16", "4A", "4B", "4C", "4D", "6A", "6B", "6C", "9A", "9B", "12A", "12B", "16"};
  DeviceSettings s = testing::Defaults();
  for (int value = 0; value <= 29; ++value) {
    s.powerOnScreen = s.screenSwitch = value;
    std::string powerOn = "POSCAS\r\n", screenSwitch = "CCAS\r\n";
    if (value < 16) {
      powerOn = std::string("POSS") + kScreens[value] + "\r\n";
      screenSwitch = std::string("CS") + kScreens[value] + "\r\n";
    } else if (value < 28) {
      powerOn = std::string("POSD") + kScreens[value] + "\r\n";
      screenSwitch = std::string("CD") + kScreens[value] + "\r\n";
    }
    EXPECT_EQ(BuildPowerOnScreen(s).text, powerOn) << value;
    EXPECT_EQ(BuildScreenSwitch(s).text, screenSwitch) << value;
  }
}

// The date and time lines take their values from the dialog's boxes.
TEST(DateTimeCommands, TwoDigitsOfEachComponent) {
  EXPECT_EQ(BuildDSY(2012).text + BuildDSM(3).text + BuildDSD(4).text + BuildTSH(5).text + BuildTSM(6).text +
                BuildTSS(7).text,
            "DSY12\r\nDSM03\r\nDSD04\r\nTSH05\r\nTSM06\r\nTSS07\r\n");
  EXPECT_EQ(BuildDSD(31).text + BuildDSY(2099).text, "DSD31\r\nDSY99\r\n");
}

TEST_F(RefusalTest, AllDwellTimesZeroIsRefused) {
  settings.autoSequenceDwell.fill(0);
  const BuiltCommand built = BuildCASTM(settings);
  EXPECT_EQ(built.refusal, Refusal::AllDwellTimesZero);
  EXPECT_TRUE(built.text.empty());
  EXPECT_EQ(RefusalMessage(built.refusal), "全て0秒です");
}

// An empty edit is not sent as "ADT000" or "PN00000".
TEST_F(RefusalTest, AnEmptyHoldTimeOrPortIsRefused) {
  CopyText(settings.alarmHoldTime, "");
  CopyText(settings.portNumber, "");
  for (const BuiltCommand& built : {BuildADT(settings), BuildPN(settings)}) {
    EXPECT_EQ(built.refusal, Refusal::EmptyValue);
    EXPECT_TRUE(built.text.empty());
  }
  EXPECT_EQ(RefusalMessage(Refusal::EmptyValue), "値が入力されていません");
}

TEST_F(RefusalTest, DuplicateChannelInAnyPairOfPanesIsRefused) {
  int32_t panes[6] = {0, 1, 2, 3, 4, 0};  // channels 1, 2, 3, 4, 5, 1
  std::copy(std::begin(panes), std::end(panes), settings.layout6[0]);
  BuiltCommand built = BuildLayout(settings, 4);
  EXPECT_EQ(built.refusal, Refusal::DuplicateChannel);
  EXPECT_EQ(RefusalMessage(built.refusal), "チャンネルが重複しています");

  // Neighbouring panes and the last pair are compared too.
  settings.layout16[14] = settings.layout16[15];
  EXPECT_EQ(BuildLayout(settings, 11).refusal, Refusal::DuplicateChannel);
  settings.layout4[3][0] = settings.layout4[3][1];
  EXPECT_EQ(BuildLayout(settings, 3).refusal, Refusal::DuplicateChannel);
}

TEST_F(RefusalTest, TitleOutsideTheCharacterSetIsRefused) {
  const char* refused[] = {"AB", "ab      ", "CH01   !", "\xE0       ", "A\tB     ", ""};
  for (const char* title : refused) {
    CopyText(settings.channelTitle[3], title);
    const BuiltCommand built = BuildCT(settings, 3);
    EXPECT_EQ(built.refusal, Refusal::TitleCharacter) << '"' << title << '"';
    EXPECT_EQ(RefusalMessage(built.refusal), "仕様以外の字が選択されてます");
  }
}

TEST(TitleCharacterSet, IsExactlyTheUnitsSet) {
  std::string allowed;
  for (int c = 0; c < 256; ++c) {
    if (IsTitleCharacter(static_cast<char>(c))) allowed += static_cast<char>(c);
  }
  EXPECT_EQ(allowed, " +-./0123456789:ABCDEFGHIJKLMNOPQRSTUVWXYZ[]\xDF");
}

TEST(ReadRequests, ChannelAndHistoryRequests) {
  EXPECT_EQ(BuildTitleReadRequest(0), "RCT01\r\n");
  EXPECT_EQ(BuildTitleReadRequest(15), "RCT16\r\n");
  EXPECT_EQ(BuildVideoAdjustReadRequest(kBrightness, 2), "RVAB03\r\n");
  EXPECT_EQ(BuildVideoAdjustReadRequest(kContrast, 0), "RVAC01\r\n");
  EXPECT_EQ(BuildVideoAdjustReadRequest(kHue, 15), "RVAH16\r\n");
  EXPECT_EQ(BuildVideoAdjustReadRequest(kSharpness, 11), "RVASH12\r\n");
  EXPECT_EQ(BuildVideoAdjustReadRequest(kSaturationU, 9), "RVASU10\r\n");
  EXPECT_EQ(BuildVideoAdjustReadRequest(kSaturationV, 0), "RVASV01\r\n");
  EXPECT_EQ(BuildAlarmHistoryReadRequest(1), "RAH001\r\n");
  EXPECT_EQ(BuildAlarmHistoryReadRequest(100), "RAH100\r\n");
  EXPECT_EQ(BuildVideoLossHistoryReadRequest(42), "RVLH042\r\n");
  for (int entry = 1; entry <= 100; ++entry) {
    EXPECT_EQ(BuildAlarmHistoryReadRequest(entry), "RAH" + PaddedDecimal(entry, 3) + "\r\n");
    EXPECT_EQ(BuildVideoLossHistoryReadRequest(entry), "RVLH" + PaddedDecimal(entry, 3) + "\r\n");
  }
}

TEST(ReadRequests, FixedRequestsInReadAllOrder) {
  std::string joined;
  for (auto request : kFixedReadRequests) {
    ASSERT_TRUE(request.starts_with("R") && request.ends_with("\r\n")) << request;
    joined += request.substr(0, request.size() - 2);
    joined += ' ';
  }
  EXPECT_EQ(joined,
            "RAD RADT RAM RAP RAR RBL RCASM RCASTM RCDS RCI RCTDD4 RCTDD6 RCTDD9 RCTDD12 "
            "RCTDD16 RCTDS RPOS RSARD4 RSARD6 RSARD9 RSARD12 RSARD16 RSARS RSPD4A RSPD4B "
            "RSPD4C RSPD4D RSPD6A RSPD6B RSPD6C RSPD9A RSPD9B RSPD12A RSPD12B RSPD16 RSS "
            "RTSD RTSDR REAA REGA REIA RECT REKA REPN RESM RETR REMA RVN ");
}

}  // namespace
}  // namespace kelvrix
