// The factory state of the settings mirror.
#include <gtest/gtest.h>

#include <vector>

#include "model/device_settings.h"

namespace kelvrix {
namespace {

std::vector<int32_t> Panes(const DeviceSettings& s, int division) {
  auto panes = LayoutPanes(s, division);
  return {panes.begin(), panes.end()};
}

TEST(DeviceSettingsDefaults, DivisionLayoutsFollowTheStartRule) {
  DeviceSettings s{};
  ResetSettingsToDefaults(s);
  using V = std::vector<int32_t>;
  EXPECT_EQ(Panes(s, 0), (V{0, 1, 2, 3}));
  EXPECT_EQ(Panes(s, 1), (V{4, 5, 6, 7}));
  EXPECT_EQ(Panes(s, 3), (V{12, 13, 14, 15}));
  EXPECT_EQ(Panes(s, 4), (V{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(Panes(s, 6), (V{12, 13, 14, 15, 0, 1}));
  EXPECT_EQ(Panes(s, 8), (V{9, 10, 11, 12, 13, 14, 15, 0, 1}));
  EXPECT_EQ(Panes(s, 10), (V{12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(Panes(s, 11), (V{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
}

TEST(DeviceSettingsDefaults, EveryFieldAtItsDefault) {
  DeviceSettings s{};
  ResetSettingsToDefaults(s);
  EXPECT_EQ(s.alarmMode, 0);
  EXPECT_STREQ(s.alarmHoldTime, "010");
  EXPECT_EQ(s.alarmInputPolarity, 0);
  EXPECT_EQ(s.alarmDisplay, 1);
  EXPECT_EQ(s.alarmReturn, 1);
  EXPECT_EQ(s.autoSequenceMode, 2);
  for (int32_t dwell : s.autoSequenceDwell) EXPECT_EQ(dwell, 2);
  EXPECT_EQ(s.aspectRatio, (std::array<int32_t, 6>{0, 0, 0, 0, 1, 0}));
  for (int32_t shown : s.titleDisplay) EXPECT_EQ(shown, 1);
  EXPECT_STREQ(s.channelTitle[0], "  CH01  ");
  EXPECT_STREQ(s.channelTitle[15], "  CH16  ");
  for (int c = 0; c < kChannelCount; ++c) {
    EXPECT_EQ(s.videoBrightness[c], 0);
    EXPECT_EQ(s.videoContrast[c], 92);
    EXPECT_EQ(s.videoHue[c], 0);
    EXPECT_EQ(s.videoSharpness[c], 1);
    EXPECT_EQ(s.videoSaturationU[c], 128);
    EXPECT_EQ(s.videoSaturationV[c], 128);
    EXPECT_EQ(s.videoLossDetect[c], 1);
  }
  EXPECT_EQ(s.videoLossDisplay, 1);
  EXPECT_EQ(s.videoLossBackground, 0);
  EXPECT_EQ(s.powerOnScreen, 27);
  EXPECT_EQ(s.screenSize, 0);
  EXPECT_EQ(s.screenSwitch, 0);
  EXPECT_EQ(s.connectorInput, 0);
  EXPECT_EQ(s.borderLine, 0);
  EXPECT_EQ(s.characterSize, 0);
  EXPECT_EQ(s.dateTimeDisplay, 1);
  EXPECT_EQ(s.dateTimeDisplayForm, 0);
  EXPECT_EQ(s.unitIpAddress, (Ipv4Address{0, 0, 0, 0}));
  EXPECT_EQ(s.unitSubnetClass, 2);
  EXPECT_STREQ(s.portNumber, "09004");
  EXPECT_EQ(s.connectionTry, 0);
  EXPECT_EQ(s.keepAlive, 0);
  EXPECT_EQ(s.timeRegister, 5);
  EXPECT_STREQ(s.macAddress, "00-00-00-00-00-00");
  EXPECT_STREQ(s.firmwareVersion, "0.00");
  EXPECT_EQ(s.fileSpare, 0);
}

TEST(DeviceSettingsReset, UndoesEditsAndEmptiesHistoriesButKeepsDates) {
  DeviceSettings s{};
  ResetSettingsToDefaults(s);
  s.alarmHistory[11] = {3, 26, 12, 8, 19, 30, 5};
  s.videoLossHistory[99].channel = 16;
  s.layout6[2][5] = 9;
  s.aspectRatio.fill(1);
  s.dataChanged = 1;
  s.currentFileName = "C:\\units\\wall.dat";
  CopyText(s.channelTitle[4], "DOOR    ");

  ResetSettingsToDefaults(s);

  EXPECT_EQ(s.alarmHistory[11].channel, kEmptyHistoryChannel);
  EXPECT_EQ(s.alarmHistory[11].year, 26);  // only the channel member marks an entry empty
  EXPECT_EQ(s.videoLossHistory[99].channel, kEmptyHistoryChannel);
  EXPECT_EQ(s.layout6[2][5], 1);
  EXPECT_EQ(s.aspectRatio, (std::array<int32_t, 6>{0, 0, 0, 0, 1, 0}));
  EXPECT_EQ(s.dataChanged, 0);
  EXPECT_TRUE(s.currentFileName.empty());
  EXPECT_STREQ(s.channelTitle[4], "  CH05  ");
}

TEST(CopyText, CutsToTheFieldAndTerminates) {
  char field[4];
  CopyText(field, "12345");
  EXPECT_STREQ(field, "123");
  CopyText(field, "7");
  EXPECT_STREQ(field, "7");
  CopyText(field, "A\x82\xA0\x82\xA2");  // "Aあい" in code page 932
  EXPECT_STREQ(field, "A\x82\xA0") << "never half a double-byte character";
  CopyText(field, "\xDF\xDF\xDF\xDF");  // half-width kana are one byte each
  EXPECT_STREQ(field, "\xDF\xDF\xDF");
}

}  // namespace
}  // namespace kelvrix
