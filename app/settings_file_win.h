// The File menu: New, Open, Save and Save As of the settings data file, with
// the system's file dialogs; and the settings report of what the program
// holds. Paths are UTF-16 here and UTF-8 in the model's currentFileName.
#pragma once

#include <windows.h>

namespace kelvrix::app {

void NewSettings();
void OpenSettings(HWND owner);
// True once the file is written; false when the dialog was cancelled or the
// write failed (said in a box).
bool SaveSettings();
bool SaveSettingsAs(HWND owner);
// "設定レポート...": the report of the settings held now, a page and its CSV
// beside it where the operator chooses, opened in the default browser.
void WriteSettingsReport(HWND owner);

}  // namespace kelvrix::app
