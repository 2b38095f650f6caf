// The File menu: New, Open, Save and Save As of the settings data file, with
// the system's file dialogs. Paths are UTF-16 here and UTF-8 in the model's
// currentFileName.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace kelvrix::app {

void NewSettings();
void OpenSettings(HWND owner);
void SaveSettings();
void SaveSettingsAs(HWND owner);

// Writes `bytes` to a new file beside `path` and moves it over `path` once
// every byte is on disk, so a failed save leaves the previous file whole.
// False when the folder is missing, the file is read-only, or a write fails.
bool ReplaceFile(const std::wstring& path, std::string_view bytes);

}  // namespace kelvrix::app
