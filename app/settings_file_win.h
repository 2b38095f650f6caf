// The File menu: New, Open, Save and Save As of the settings data file, with
// the system's file dialogs. Paths are UTF-16 here and UTF-8 in the model's
// currentFileName.
#pragma once

#include <windows.h>

namespace kelvrix::app {

void NewSettings();
void OpenSettings(HWND owner);
void SaveSettings();
void SaveSettingsAs(HWND owner);

}  // namespace kelvrix::app
