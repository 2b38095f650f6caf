// The program's one mirror of every setting of the controlled unit.
//
// Dialogs write a field the moment its control changes, reply decoders write
// what the unit reports, the settings data file overwrites what it holds, and
// ResetSettingsToDefaults restores the factory state. Everything here is plain
// data: fixed arrays and NUL-terminated single-byte texts, exactly as the wire
// and the settings data file carry them.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace kelvrix {

inline constexpr int kChannelCount = 16;
inline constexpr int kHistoryEntryCount = 100;
inline constexpr int kEmptyHistoryChannel = 255;
inline constexpr int kDwellStepCount = 28;
inline constexpr int kTitleLength = 8;
// A channel title: up to the unit's eight bytes, NUL-terminated.
using ChannelTitle = char[kTitleLength + 1];

// What the monitor shows: 0..15 a single channel, 16..27 a division pattern
// (4A 4B 4C 4D 6A 6B 6C 9A 9B 12A 12B 16), 28 the automatic sequence.
using ScreenSelection = int32_t;
inline constexpr ScreenSelection kFirstDivision = 16;
inline constexpr ScreenSelection kDivision16 = 27;
inline constexpr ScreenSelection kAutoSequence = 28;
inline constexpr int kDivisionPatternCount = 12;

struct HistoryRecord {
  int32_t channel = kEmptyHistoryChannel;  // as the unit sends it; 255 = empty entry
  int32_t year = 0;                         // two digits
  int32_t month = 0;
  int32_t day = 0;
  int32_t hour = 0;
  int32_t minute = 0;
  int32_t second = 0;

  bool operator==(const HistoryRecord&) const = default;
};

using History = std::array<HistoryRecord, kHistoryEntryCount>;
using ChannelValues = std::array<int32_t, kChannelCount>;
using Ipv4Address = std::array<uint8_t, 4>;

struct DeviceSettings {
  // Alarm
  int32_t alarmMode;           // 0 internal, 1 external
  char alarmHoldTime[4];       // three decimal digits
  int32_t alarmInputPolarity;  // 0 make, 1 break
  int32_t alarmDisplay;        // on/off
  int32_t alarmReturn;         // on/off

  // Histories, filled only by replies
  History alarmHistory;
  History videoLossHistory;

  // Automatic sequence
  int32_t autoSequenceMode;  // 0 single, 1 division, 2 mix
  std::array<int32_t, kDwellStepCount> autoSequenceDwell;  // seconds 0..99

  // Per screen kind: 0 single, 1 Div.4, 2 Div.6, 3 Div.9, 4 Div.12, 5 Div.16
  std::array<int32_t, 6> aspectRatio;   // 0 = 4:3, 1 = full
  std::array<int32_t, 8> titleDisplay;  // 6 and 7 live only in the data file

  ChannelTitle channelTitle[kChannelCount];

  // Video adjustment per channel index
  ChannelValues videoBrightness;
  ChannelValues videoContrast;
  ChannelValues videoHue;
  ChannelValues videoSharpness;
  ChannelValues videoSaturationU;
  ChannelValues videoSaturationV;

  // Video loss
  ChannelValues videoLossDetect;
  int32_t videoLossDisplay;
  int32_t videoLossBackground;  // 0 normal, 1 black

  // Division layouts: the channel index shown in each pane
  int32_t layout4[4][4];
  int32_t layout6[3][6];
  int32_t layout9[2][9];
  int32_t layout12[2][12];
  int32_t layout16[16];

  // Screen
  ScreenSelection powerOnScreen;
  int32_t screenSize;  // 0 1280x1024, 1 1280x720, 2 1920x1080
  ScreenSelection screenSwitch;

  // Other settings
  int32_t connectorInput;  // 0 alarm, 1 remote
  int32_t borderLine;      // 0 black, 1 gray, 2 white
  int32_t characterSize;   // 0 normal, 1 small

  // Date and time display
  int32_t dateTimeDisplay;
  int32_t dateTimeDisplayForm;  // 0..7

  // The unit's network parameters
  Ipv4Address unitIpAddress;
  Ipv4Address unitGatewayAddress;
  Ipv4Address unitActiveAddress;
  int32_t unitSubnetClass;  // 0 class A, 1 class B, 2 class C
  char portNumber[6];       // five decimal digits; also the program's own TCP port
  int32_t connectionTry;
  int32_t keepAlive;
  int32_t timeRegister;  // 0..5 for 10..60 seconds
  char macAddress[18];
  char firmwareVersion[5];

  // File-only and status
  int32_t fileSpare;
  int32_t dataChanged;
  std::string currentFileName;  // UTF-8; empty = none

  bool operator==(const DeviceSettings&) const = default;
};

void ResetSettingsToDefaults(DeviceSettings& settings);

// One division pattern of the layout catalogue, in ScreenSelection order:
// its panes on the screen as a grid of columns x rows.
struct DivisionPattern {
  const char* mnemonic;  // "SPD4A" .. "SPD16"
  int paneCount;
  int columns, rows;
};
extern const std::array<DivisionPattern, kDivisionPatternCount> kDivisionPatterns;

// Where pane `pane` of pattern `division` sits on its grid: the cell of its
// top left corner and how many cells it spans. Panes are numbered left to
// right, top to bottom; the first pane of a 6-way pattern spans two by two.
struct PanePlace {
  int column, row, columns, rows;
  bool operator==(const PanePlace&) const = default;
};
PanePlace PanePlaceOf(int division, int pane);

// The panes of division pattern `division` (0..11, ScreenSelection - 16).
std::span<int32_t> LayoutPanes(DeviceSettings& settings, int division);
std::span<const int32_t> LayoutPanes(const DeviceSettings& settings, int division);

// The length of the longest head of `text` of at most `limit` bytes that
// does not end between the two bytes of a code page 932 character.
std::size_t WholeCharacterPrefix(std::string_view text, std::size_t limit);

// Copies `text` into a fixed text field, cut to fit between characters,
// always NUL-terminated.
template <std::size_t N>
void CopyText(char (&field)[N], std::string_view text) {
  const std::size_t n = WholeCharacterPrefix(text, N - 1);
  text.copy(field, n);
  field[n] = '\0';
}

}  // namespace kelvrix
