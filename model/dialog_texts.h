// What the setting dialogs show, decided without a window: combo entries,
// the division layout catalogue, the texts of the drawn tables and their
// places, and the steps of the video all-set. Texts are UTF-8.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/command_catalogue.h"
#include "model/device_settings.h"

namespace kelvrix {

// Selections the dialogs share and keep between openings.
struct DialogState {
  int32_t layoutIndex = 0;          // division layout dialog: 0..11
  int32_t paneIndex = 0;            // its pane, always below the layout's pane count
  int32_t currentChannel = 0;       // the picture dialogs' channel, 0..15
  int32_t sequenceScreenIndex = 0;  // auto sequence dialog: 0..27
  int32_t historyPage = 0;          // both history dialogs: 0..9
  int32_t redrawPending = 0;        // a dialog owes a redraw of its drawn table
  int32_t hiddenClickCount = 0;     // the main window's hidden gesture; most dialogs reset it

  // The selections as indexes into the tables they choose from. These values
  // outlive every dialog, so each use checks them: one out of range takes the
  // nearest valid index instead of reading past a table.
  int Channel() const;
  int Layout() const;
  int Pane() const;  // within Layout()'s panes
  int SequenceScreen() const;
  int HistoryPage() const;
};

// A text of a drawn table, at a pixel position (96 DPI) in its frame.
struct PlacedText {
  int x;
  int y;
  std::string text;
  bool operator==(const PlacedText&) const = default;
};

// Slave address box: "00".."31", then "Bloadcast" where broadcast may be chosen.
std::vector<std::string> SlaveAddressEntries(bool withBroadcast);

// Fixed-width decimal entries from..to ("000".."255" with width 3, "0".."15" with width 0).
std::vector<std::string> NumberEntries(int from, int to, int width);

// The percentage a stepped run shows after step `step` of `stepCount`.
int RunPercent(int step, int stepCount);

// "ch.01" .. "ch.16"
std::vector<std::string> ChannelEntries();

// "OFF", "ON " (with its blank): the entries of every on/off box.
std::vector<std::string> OnOffEntries();

// One text per channel drawn as "       ch.01 = " and the value, channels
// 1..8 in the left column and 9..16 in the right, `rowPitch` pixels apart.
std::vector<PlacedText> ChannelTable(const std::array<std::string, kChannelCount>& values, int rowPitch);

// --- Entries of the remaining setting dialogs, as the unit's manual words them ---

std::vector<std::string> ScreenEntries();      // "ch.01" .. "ch.16", "Div.4A" .. "Div.16", "Auto"
std::vector<std::string> ScreenSizeEntries();  // "1280×1024", "1280× 720", "1920×1080"
std::vector<std::string> AspectEntries();      // " 4:3", "FULL"
std::vector<std::string> ConnectorEntries();   // "ALARM ", "REMOTE"
std::vector<std::string> BorderEntries();      // "BLACK ", "GRAY ", "WHITE"
std::vector<std::string> CharacterSizeEntries();  // "Normal ", "Small "
std::vector<std::string> DateTimeFormEntries();   // "年月日時分秒" .. "　　　時分　"
std::vector<std::string> AlarmOnOffEntries();     // "OFF", " ON": the alarm dialog's own
std::vector<std::string> AlarmPolarityEntries();  // "Make ", "Break"
std::vector<std::string> AlarmModeEntries();      // "Internal", "External"
std::vector<std::string> SequenceModeEntries();   // "Single  ", "Division", "Mix     "

// --- Division layout dialog ---------------------------------------------------

struct LayoutEntry {
  const char* comboText;  // " Div.4A "
  const char* heading;    // " 4分割A "
};
extern const std::array<LayoutEntry, kDivisionPatternCount> kLayoutEntries;

int LayoutPaneCount(int layoutIndex);
std::string PaneEntry(int pane);  // "No.01" for pane 0
// The pane kept when the layout changes: the same one, or the last pane of a
// layout that has fewer.
int32_t PaneIndexFor(int32_t paneIndex, int layoutIndex);
std::vector<PlacedText> LayoutPicture(const DeviceSettings& settings, int layoutIndex);

// --- Video adjust dialog ------------------------------------------------------

inline constexpr int kVideoAllSetSteps = 96;
struct VideoStep {
  VideoAdjust item;
  int channel;  // index 0..15
};
// Step 1..96: brightness, contrast, sharpness, hue, saturation U, saturation V,
// each for channels 1..16: the order of the set buttons.
VideoStep VideoAllSetStep(int step);
std::vector<PlacedText> VideoAdjustTable(const DeviceSettings& settings, int currentChannel);

// --- Auto sequence dialog -----------------------------------------------------

std::vector<std::string> SequenceScreenEntries();  // "ch.01  " .. "Div.16 "
std::vector<PlacedText> DwellList(const DeviceSettings& settings);

// --- Alarm and video-loss history dialogs -------------------------------------

inline constexpr int kHistoryPageCount = 10;
inline constexpr int kHistoryPageRows = kHistoryEntryCount / kHistoryPageCount;

// The records before the first empty one: the unit fills its history from the front.
int HistoryCount(const History& history);
// Page 0..9: the heading, then per row the record number and, unless the
// record is empty, its fields; an empty record's row is blanked.
std::vector<PlacedText> HistoryTable(const History& history, int page);

// --- Video loss dialog ----------------------------------------------------------

std::vector<std::string> BackgroundEntries();  // "Normal", "Black "
std::vector<PlacedText> VideoLossTable(const DeviceSettings& settings);

// --- Network settings dialog ----------------------------------------------------

inline constexpr int kNetworkReadSteps = 10;
extern const std::array<std::string_view, kNetworkReadSteps> kNetworkReadRequests;
std::vector<std::string> SubnetClassEntries();   // "Class A" .. "Class C"
std::vector<std::string> TimeRegisterEntries();  // "10" .. "60" seconds

}  // namespace kelvrix
