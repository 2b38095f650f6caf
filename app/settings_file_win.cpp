#include "app/settings_file_win.h"

#include <commdlg.h>
#include <shellapi.h>

#include <cstdio>

#include <optional>
#include <vector>

#include "app/app_state_win.h"
#include "app/main_window_win.h"
#include "dialogs/dialog_frame_win.h"
#include "dialogs/maintenance_tool_win.h"
#include "model/settings_data_file.h"
#include "model/whole_file_win.h"
#include "model/wide_text_win.h"
#include "tools/settings_report.h"

namespace kelvrix::app {

namespace {

enum class FileDialog { Open = 1, Save = 2 };

// The operator's choice of file, or nothing when the dialog was cancelled.
std::optional<std::wstring> ChooseSettingsFile(HWND owner, FileDialog mode) {
  std::vector<wchar_t> path(8192, L'\0');
  static constexpr wchar_t kFilters[] = L"データ(*.dat)\0*.dat\0すべて(*.*)\0*.*\0";
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = kFilters;
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = path.data();
  dialog.nMaxFile = static_cast<DWORD>(path.size());
  BOOL chosen;
  if (mode == FileDialog::Open) {
    dialog.lpstrTitle = L"ファイルのオープン";
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    chosen = GetOpenFileNameW(&dialog);
  } else {
    dialog.lpstrTitle = L"ファイルの保存";
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
    chosen = GetSaveFileNameW(&dialog);
  }
  // A dialog ended by the program's own end may report a choice with no name.
  if (!chosen || path[0] == L'\0') return std::nullopt;
  return std::wstring(path.data());
}

bool AskYesNo(const wchar_t* question, HWND owner = nullptr) {
  return MessageBoxW(owner, question, L"Kelvrix", MB_ICONQUESTION | MB_YESNO) == IDYES;
}

// The file dialog asked about the name as typed; the suffix appended after it
// may name another file, which nobody has agreed to replace yet.
bool MayWrite(HWND owner, const std::wstring& chosen, const std::string& path) {
  const std::wstring target = WideFromUtf8(path);
  if (target == chosen) return true;
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
  return AskYesNo(WideFromUtf8(OverwriteQuestion(path)).c_str(), owner);
}

bool WriteSettingsFile(const std::wstring& path) {
  return ReplaceWholeFile(path, WriteSettingsData(deviceSettings));
}

}  // namespace

void NewSettings() {
  if (linkState.batchStep != 0) return;
  if (deviceSettings.dataChanged == 1 && !AskYesNo(L"データを保存せずに新規作成しますか？")) return;
  ResetSettingsToDefaults(deviceSettings);
  dialogs::SharedDialogState().currentChannel = 0;  // a new set starts on channel 1
  ShowCurrentFileName();
}

void OpenSettings(HWND owner) {
  if (linkState.batchStep != 0) return;
  if (deviceSettings.dataChanged == 1 && !AskYesNo(L"データを保存せずに別のファイルを開きますか？")) return;
  const auto path = ChooseSettingsFile(owner, FileDialog::Open);
  if (!path) return;
  const auto text = ReadWholeFile(*path);
  if (!text) {
    messages.ShowWarning("Can't file open");
    return;
  }
  deviceSettings.currentFileName = Utf8FromWide(*path);
  ReadSettingsData(*text, deviceSettings);
  deviceSettings.dataChanged = 0;
  ShowCurrentFileName();
}

bool SaveSettings() {
  if (deviceSettings.currentFileName.empty()) {
    messages.ShowWarning("Don't file open");
    return false;
  }
  if (!WriteSettingsFile(WideFromUtf8(deviceSettings.currentFileName))) {
    messages.ShowWarning("Can't file open");
    return false;
  }
  deviceSettings.dataChanged = 0;
  return true;
}

bool SaveSettingsAs(HWND owner) {
  const auto chosen = ChooseSettingsFile(owner, FileDialog::Save);
  if (!chosen) return false;
  const std::string path = WithDataFileSuffix(Utf8FromWide(*chosen));
  if (!MayWrite(owner, *chosen, path)) return false;
  if (!WriteSettingsFile(WideFromUtf8(path))) {
    messages.ShowWarning("Can't file open");
    return false;
  }
  deviceSettings.currentFileName = path;
  deviceSettings.dataChanged = 0;
  ShowCurrentFileName();
  return true;
}

namespace {

std::string LocalTimeText(const SYSTEMTIME& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute);
  return text;
}

// When the file was last written, in local time; empty when unknown.
std::string FileTimeText(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  FILETIME local;
  SYSTEMTIME time;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
      !FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToSystemTime(&local, &time)) {
    return {};
  }
  return LocalTimeText(time);
}

}  // namespace

void WriteSettingsReport(HWND owner) {
  const auto chosen = dialogs::AskSavePath(owner, L"設定レポートの保存", L"HTML(*.html)\0*.html\0すべて(*.*)\0*.*\0",
                                           L"html", L"report.html");
  if (!chosen) return;
  SYSTEMTIME now;
  GetLocalTime(&now);
  ReportSource source;
  const std::wstring file = WideFromUtf8(deviceSettings.currentFileName);
  source.file = file.empty() ? "（名前なし）" : Utf8FromWide(file.substr(file.find_last_of(L"\\/") + 1));
  if (deviceSettings.dataChanged == 1) source.file += "（保存していない変更あり）";
  source.time = file.empty() ? std::string() : FileTimeText(file);
  source.made = LocalTimeText(now);
  const std::wstring csv = chosen->substr(0, chosen->find_last_of(L'.')) + L".csv";
  if (!ReplaceWholeFile(*chosen, SettingsReportHtml(deviceSettings, source)) ||
      !ReplaceWholeFile(csv, SettingsReportCsv(deviceSettings, true))) {
    messages.ShowWarning("保存できませんでした。");
    return;
  }
  const auto opened = ShellExecuteW(owner, L"open", chosen->c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  if (reinterpret_cast<INT_PTR>(opened) <= 32) messages.ShowWarning("ブラウザで開けませんでした。");
}

}  // namespace kelvrix::app
