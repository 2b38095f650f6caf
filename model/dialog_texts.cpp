#include "model/dialog_texts.h"

#include <algorithm>

#include "model/digits.h"

namespace kelvrix {

int DialogState::Channel() const { return std::clamp(currentChannel, 0, kChannelCount - 1); }
int DialogState::Layout() const { return std::clamp(layoutIndex, 0, kDivisionPatternCount - 1); }
int DialogState::Pane() const { return PaneIndexFor(paneIndex, Layout()); }
int DialogState::SequenceScreen() const { return std::clamp(sequenceScreenIndex, 0, kDwellStepCount - 1); }
int DialogState::HistoryPage() const { return std::clamp(historyPage, 0, kHistoryPageCount - 1); }

std::vector<std::string> SlaveAddressEntries(bool withBroadcast) {
  std::vector<std::string> entries = NumberEntries(0, 31, 2);
  if (withBroadcast) entries.emplace_back("Bloadcast");
  return entries;
}

std::vector<std::string> NumberEntries(int from, int to, int width) {
  std::vector<std::string> entries;
  for (int value = from; value <= to; ++value) entries.push_back(PaddedDecimal(value, width));
  return entries;
}

std::vector<std::string> ChannelEntries() {
  std::vector<std::string> entries;
  for (int channel = 1; channel <= kChannelCount; ++channel) entries.push_back("ch." + PaddedDecimal(channel, 2));
  return entries;
}

std::vector<std::string> OnOffEntries() { return {"OFF", "ON "}; }

std::vector<PlacedText> ChannelTable(const std::array<std::string, kChannelCount>& values, int rowPitch) {
  std::vector<PlacedText> texts;
  for (int i = 0; i < kChannelCount; ++i) {
    const int x = i < 8 ? 0 : 180;
    texts.push_back({x, 10 + rowPitch * (i % 8), "       ch." + PaddedDecimal(i + 1, 2) + " = " + values[i]});
  }
  return texts;
}

std::vector<std::string> ScreenEntries() {
  std::vector<std::string> entries = ChannelEntries();
  for (const LayoutEntry& layout : kLayoutEntries) {
    std::string name(layout.comboText);  // " Div.4A ", " Div.12A"
    name.erase(0, name.find_first_not_of(' '));
    name.erase(name.find_last_not_of(' ') + 1);
    entries.push_back(name);
  }
  entries.emplace_back("Auto");
  return entries;
}

std::vector<std::string> ScreenSizeEntries() { return {"1280×1024", "1280× 720", "1920×1080"}; }
std::vector<std::string> AspectEntries() { return {" 4:3", "FULL"}; }
std::vector<std::string> ConnectorEntries() { return {"ALARM ", "REMOTE"}; }
std::vector<std::string> BorderEntries() { return {"BLACK ", "GRAY ", "WHITE"}; }
std::vector<std::string> CharacterSizeEntries() { return {"Normal ", "Small "}; }
std::vector<std::string> DateTimeFormEntries() {
  return {"年月日時分秒", "年月日時分　", "年月日　　　", "　月日時分秒",
          "　月日時分　", "　月日　　　", "　　　時分秒", "　　　時分　"};
}

std::vector<std::string> AlarmOnOffEntries() { return {"OFF", " ON"}; }
std::vector<std::string> AlarmPolarityEntries() { return {"Make ", "Break"}; }
std::vector<std::string> AlarmModeEntries() { return {"Internal", "External"}; }
std::vector<std::string> SequenceModeEntries() { return {"Single  ", "Division", "Mix     "}; }

int RunPercent(int step, int stepCount) { return stepCount > 0 ? step * 100 / stepCount : 0; }

const std::array<LayoutEntry, kDivisionPatternCount> kLayoutEntries = {{
    {" Div.4A ", " 4分割A "}, {" Div.4B ", " 4分割B "}, {" Div.4C ", " 4分割C "}, {" Div.4D ", " 4分割D "},
    {" Div.6A ", " 6分割A "}, {" Div.6B ", " 6分割B "}, {" Div.6C ", " 6分割C "},
    {" Div.9A ", " 9分割A "}, {" Div.9B ", " 9分割B "},
    {" Div.12A", "12分割A "}, {" Div.12B", "12分割B "},
    {" Div.16 ", "16分割  "},
}};

int LayoutPaneCount(int layoutIndex) {
  return kDivisionPatterns[std::clamp(layoutIndex, 0, kDivisionPatternCount - 1)].paneCount;
}

std::string PaneEntry(int pane) { return "No." + PaddedDecimal(pane + 1, 2); }

int32_t PaneIndexFor(int32_t paneIndex, int layoutIndex) {
  return std::clamp(paneIndex, 0, LayoutPaneCount(layoutIndex) - 1);
}

std::vector<PlacedText> LayoutPicture(const DeviceSettings& settings, int layoutIndex) {
  layoutIndex = std::clamp(layoutIndex, 0, kDivisionPatternCount - 1);
  std::vector<PlacedText> texts = {{20, 6, kLayoutEntries[layoutIndex].heading}};
  const auto panes = LayoutPanes(settings, layoutIndex);
  for (int row = 0; row < kChannelCount; ++row) {
    const int y = 26 + 20 * row;
    if (row < static_cast<int>(panes.size())) {
      texts.push_back({10, y, PaneEntry(row)});
      texts.push_back({70, y, "ch." + PaddedDecimal(panes[row] + 1, 2)});
    } else {
      texts.push_back({10, y, std::string(18, ' ')});  // wipes a longer layout's row
    }
  }
  return texts;
}

VideoStep VideoAllSetStep(int step) {
  static constexpr VideoAdjust kOrder[] = {kBrightness, kContrast, kSharpness, kHue, kSaturationU, kSaturationV};
  const int index = std::clamp(step, 1, kVideoAllSetSteps) - 1;
  return {kOrder[index / kChannelCount], index % kChannelCount};
}

std::vector<PlacedText> VideoAdjustTable(const DeviceSettings& settings, int currentChannel) {
  struct Row {
    const char* label;
    VideoAdjust item;
  };
  static constexpr Row kRows[] = {{"Brightness", kBrightness}, {"Contrast", kContrast},
                                  {"Hue", kHue},               {"Sharpness", kSharpness},
                                  {"Saturation U", kSaturationU}, {"Saturation V", kSaturationV}};
  const int first = currentChannel >= 8 ? 8 : 0;
  std::vector<PlacedText> texts;
  for (int column = 0; column < 8; ++column) {
    texts.push_back({160 + 60 * column, 6, "ch." + PaddedDecimal(first + column + 1, 2)});
  }
  for (int row = 0; row < 6; ++row) {
    const int y = 26 + 20 * row;
    const VideoAdjustItem& item = kVideoAdjustItems[kRows[row].item];
    texts.push_back({20, y, kRows[row].label});
    for (int column = 0; column < 8; ++column) {
      const int value = (settings.*item.field)[first + column];
      std::string text(4 - item.digits, ' ');  // " 128", and "  07" for sharpness
      text += PaddedDecimal(value, item.digits);
      texts.push_back({160 + 60 * column, y, text});
    }
  }
  return texts;
}

std::vector<std::string> SequenceScreenEntries() {
  std::vector<std::string> entries = ChannelEntries();
  for (std::string& entry : entries) entry += "  ";
  for (const LayoutEntry& layout : kLayoutEntries) entries.push_back(std::string(layout.comboText + 1));
  return entries;
}

std::vector<PlacedText> DwellList(const DeviceSettings& settings) {
  std::vector<PlacedText> texts;
  for (int i = 0; i < kDwellStepCount; ++i) {
    const std::string time = " = " + PaddedDecimal(settings.autoSequenceDwell[i], 2) + " 秒";
    if (i < kChannelCount) {
      texts.push_back({0, 10 + 20 * i, "  ch." + PaddedDecimal(i + 1, 2) + time});
    } else {
      texts.push_back({130, 10 + 20 * (i - kChannelCount), kLayoutEntries[i - kChannelCount].comboText + time});
    }
  }
  return texts;
}

// --- Alarm and video-loss history dialogs -------------------------------------

int HistoryCount(const History& history) {
  const auto firstEmpty = std::find_if(history.begin(), history.end(), [](const HistoryRecord& record) {
    return record.channel == kEmptyHistoryChannel;
  });
  return static_cast<int>(firstEmpty - history.begin());
}

namespace {

// The columns after the record number, each heading at its column's x. Two
// digits each, as the unit counts them (8-pixel digits, 16-pixel kanji); the
// year's column starts with the century.
struct HistoryColumn {
  int x;
  const char* heading;
  int32_t HistoryRecord::*field;
  const char* prefix = "";
};
constexpr HistoryColumn kHistoryColumns[] = {
    {60, "ch.", &HistoryRecord::channel}, {92, "年", &HistoryRecord::year, "20"},
    {140, "月", &HistoryRecord::month},   {180, "日", &HistoryRecord::day},
    {220, "時", &HistoryRecord::hour},    {260, "分", &HistoryRecord::minute},
    {300, "秒", &HistoryRecord::second},
};

}  // namespace

std::vector<PlacedText> HistoryTable(const History& history, int page) {
  page = std::clamp(page, 0, kHistoryPageCount - 1);
  std::vector<PlacedText> texts = {{20, 6, "No."}};
  for (const HistoryColumn& column : kHistoryColumns) texts.push_back({column.x, 6, column.heading});
  for (int row = 0; row < kHistoryPageRows; ++row) {
    const int number = kHistoryPageRows * page + row + 1;
    const int y = 26 + 20 * row;
    texts.push_back({20, y, PaddedDecimal(number, 3)});
    const HistoryRecord& record = history[number - 1];
    if (record.channel == kEmptyHistoryChannel) {
      texts.push_back({60, y, std::string(44, ' ')});
      continue;
    }
    // A value from a garbled reply cannot widen its column past the next one.
    for (const HistoryColumn& column : kHistoryColumns) {
      texts.push_back({column.x, y, column.prefix + PaddedDecimal(std::clamp(record.*column.field, 0, 99), 2)});
    }
  }
  return texts;
}

// --- Video loss dialog ----------------------------------------------------------

std::vector<std::string> BackgroundEntries() { return {"Normal", "Black "}; }

std::vector<PlacedText> VideoLossTable(const DeviceSettings& settings) {
  std::array<std::string, kChannelCount> states;
  for (int i = 0; i < kChannelCount; ++i) states[i] = OnOffEntries()[settings.videoLossDetect[i] != 0 ? 1 : 0];
  return ChannelTable(states, 20);
}

// --- Network settings dialog ----------------------------------------------------

const std::array<std::string_view, kNetworkReadSteps> kNetworkReadRequests = {
    "REAA\r\n", "REGA\r\n", "REIA\r\n", "RECT\r\n", "REKA\r\n",
    "REPN\r\n", "RESM\r\n", "RETR\r\n", "REMA\r\n", "RVN\r\n",
};

std::vector<std::string> SubnetClassEntries() { return {"Class A", "Class B", "Class C"}; }

std::vector<std::string> TimeRegisterEntries() {
  std::vector<std::string> entries;
  for (int i = 1; i <= 6; ++i) entries.push_back(PaddedDecimal(10 * i, 2));
  return entries;
}

}  // namespace kelvrix
