// Factory defaults of the settings mirror and the division layout catalogue.
#include "model/device_settings.h"

#include <algorithm>
#include <cstdio>
#include <type_traits>

namespace kelvrix {

const std::array<DivisionPattern, kDivisionPatternCount> kDivisionPatterns = {{
    {"SPD4A", 4, 2, 2}, {"SPD4B", 4, 2, 2}, {"SPD4C", 4, 2, 2}, {"SPD4D", 4, 2, 2},
    {"SPD6A", 6, 3, 3}, {"SPD6B", 6, 3, 3}, {"SPD6C", 6, 3, 3},
    {"SPD9A", 9, 3, 3}, {"SPD9B", 9, 3, 3},
    {"SPD12A", 12, 4, 3}, {"SPD12B", 12, 4, 3},
    {"SPD16", 16, 4, 4},
}};

PanePlace PanePlaceOf(int division, int pane) {
  const DivisionPattern& pattern = kDivisionPatterns[std::clamp(division, 0, kDivisionPatternCount - 1)];
  pane = std::clamp(pane, 0, pattern.paneCount - 1);
  if (pattern.paneCount == 6) {
    // One large pane, the others down its right and along the bottom.
    static constexpr PanePlace kSixWay[] = {{0, 0, 2, 2}, {2, 0, 1, 1}, {2, 1, 1, 1},
                                            {0, 2, 1, 1}, {1, 2, 1, 1}, {2, 2, 1, 1}};
    return kSixWay[pane];
  }
  return {pane % pattern.columns, pane / pattern.columns, 1, 1};
}

namespace {

// Each division pattern's panes, with where its row sits in the model; for a
// mutable and a read-only mirror alike.
template <typename Settings>
auto PanesOf(Settings& s, int division) {
  using Panes = std::span<std::remove_reference_t<decltype(s.layout16[0])>>;
  switch (division) {
    case 0: case 1: case 2: case 3: return Panes(s.layout4[division]);
    case 4: case 5: case 6: return Panes(s.layout6[division - 4]);
    case 7: case 8: return Panes(s.layout9[division - 7]);
    case 9: case 10: return Panes(s.layout12[division - 9]);
    case 11: return Panes(s.layout16);
    default: return Panes();
  }
}

// Patterns of one division size start one after the other: pane j of the
// pattern that starts at channel index `start` shows (start + j) mod 16.
void ResetLayouts(DeviceSettings& s) {
  int start = 0;
  int previousPaneCount = 0;
  for (int division = 0; division < kDivisionPatternCount; ++division) {
    const int paneCount = kDivisionPatterns[division].paneCount;
    start = paneCount == previousPaneCount ? start + paneCount : 0;
    previousPaneCount = paneCount;
    auto panes = PanesOf(s, division);
    for (int j = 0; j < paneCount; ++j) panes[j] = (start + j) % kChannelCount;
  }
}

void EmptyHistory(History& history) {
  for (auto& record : history) record.channel = kEmptyHistoryChannel;
}

}  // namespace

std::size_t WholeCharacterPrefix(std::string_view text, std::size_t limit) {
  // Lead bytes of a double-byte character; 0xA1..0xDF are half-width kana.
  const auto isLead = [](unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); };
  std::size_t end = 0;
  while (end < text.size()) {
    const std::size_t width = isLead(static_cast<unsigned char>(text[end])) ? 2 : 1;
    if (end + width > limit) break;
    end += width;
  }
  return std::min(end, text.size());
}

std::span<int32_t> LayoutPanes(DeviceSettings& settings, int division) {
  return PanesOf(settings, division);
}

std::span<const int32_t> LayoutPanes(const DeviceSettings& settings, int division) {
  return PanesOf(settings, division);
}

void ResetSettingsToDefaults(DeviceSettings& s) {
  s.alarmMode = 0;
  CopyText(s.alarmHoldTime, "010");
  s.alarmInputPolarity = 0;
  s.alarmDisplay = 1;
  s.alarmReturn = 1;
  s.autoSequenceMode = 2;
  s.videoLossDisplay = 1;
  s.videoLossBackground = 0;
  s.powerOnScreen = kDivision16;
  s.screenSize = 0;
  s.screenSwitch = 0;
  s.connectorInput = 0;
  s.borderLine = 0;
  s.characterSize = 0;
  s.dateTimeDisplay = 1;
  s.dateTimeDisplayForm = 0;
  s.fileSpare = 0;
  s.dataChanged = 0;
  s.currentFileName.clear();

  s.autoSequenceDwell.fill(2);
  s.aspectRatio.fill(0);
  s.aspectRatio[4] = 1;  // the 12-way division is full screen
  s.titleDisplay.fill(1);

  for (int c = 0; c < kChannelCount; ++c) {
    std::snprintf(s.channelTitle[c], sizeof s.channelTitle[c], "  CH%02d  ", c + 1);
  }
  s.videoBrightness.fill(0);
  s.videoContrast.fill(92);
  s.videoSaturationU.fill(128);
  s.videoSaturationV.fill(128);
  s.videoHue.fill(0);
  s.videoSharpness.fill(1);
  s.videoLossDetect.fill(1);

  EmptyHistory(s.alarmHistory);
  EmptyHistory(s.videoLossHistory);
  ResetLayouts(s);

  s.unitSubnetClass = 2;
  CopyText(s.portNumber, "09004");
  s.unitIpAddress = {0, 0, 0, 0};
  s.unitGatewayAddress = {0, 0, 0, 0};
  s.unitActiveAddress = {0, 0, 0, 0};
  CopyText(s.macAddress, "00-00-00-00-00-00");
  CopyText(s.firmwareVersion, "0.00");
  s.connectionTry = 0;
  s.keepAlive = 0;
  s.timeRegister = 5;
}

}  // namespace kelvrix
