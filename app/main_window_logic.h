// What the main window decides without a window: its height, the status bar
// texts, the menu items enabled for the link, the hidden maintenance gesture
// and the tool tips.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/link_state.h"

namespace kelvrix {

inline constexpr int kMainWindowWidth = 607;
inline constexpr int kMainTimerId = 1;
inline constexpr int kMainTimerPeriodMs = 300;

// 90 pixels on Windows 4.x, 5.0 and 5.2; 104 on XP (5.1), 6.x and anything else.
int MainWindowHeight(unsigned major, unsigned minor);

std::string_view MainWindowCaption(int32_t clientServerMode);
// The caption with the open settings file's name in front:
// "setup.dat - Kelvrix Client Program"; the caption alone with none open.
std::string MainWindowTitle(int32_t clientServerMode, std::string_view currentFileName);

// Part 0 of the status bar: "2026年12月 8日  火曜日" (weekday 0 = Sunday).
std::string StatusBarDate(int year, int month, int day, int weekday);
// Part 1: "09：05：07" with full-width colons.
std::string StatusBarTime(int hour, int minute, int second);

struct MenuItemState {
  int command;
  bool enabled;
};
// The link-dependent items, as WM_MENUSELECT sets them.
std::array<MenuItemState, 4> MenuEnabling(const LinkState& link);

// Counts context-menu requests in the top-left 20 x 20 pixels of the screen;
// true on the tenth in a row, which opens the settings read dialog.
bool CountHiddenClick(int32_t& hiddenClickCount, uint16_t x, uint16_t y);

// Tool tip of tool bar command 501..513; empty for any other id.
std::string_view ToolTipText(int command);

}  // namespace kelvrix
