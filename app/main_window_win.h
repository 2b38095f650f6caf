// The main window: a strip with the menu bar, the tool bar and the status bar
// clock, from which every function opens.
#pragma once

#include <windows.h>

namespace kelvrix::app {

inline constexpr const wchar_t* kMainClassName = L"Kelvrix TCP Server";

bool RegisterMainClass(HINSTANCE instance);
// Creates, shows and trims the main window; nullptr when it cannot be made.
HWND CreateMainWindow(HINSTANCE instance);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The guarded exit of menu 121 and WM_CLOSE.
void RequestExit(HWND window);

// The title bar: the open settings file's name before the role's caption.
void ShowCurrentFileName();

}  // namespace kelvrix::app
