// "画面切替": a modeless window owned by the main window, usable beside the
// setting dialogs like the traffic monitor, whose tiles switch what the
// monitors show in one click (ScreenSwitcher carries the switch).
#pragma once

#include <windows.h>

#include <string_view>

#include "link/panel.h"

namespace kelvrix::dialogs {

// Opens the window where it stood last time, or brings it to the front.
void OpenScreenSwitcher(HINSTANCE instance, HWND owner, Panel& panel);
// The open window, or nullptr: the program's message loop gives it its keys.
HWND ScreenSwitcherWindow();
// A serial line while a switch or a read of the window waits for its
// answer: the window's, and no one else's. False when it is not.
bool SwitcherTakesLine(std::string_view line);

}  // namespace kelvrix::dialogs
