#include "app/settings_file_win.h"

#include <commdlg.h>

#include <optional>
#include <vector>

#include "app/app_state_win.h"
#include "app/main_window_win.h"
#include "app/wide_text_win.h"
#include "dialogs/dialog_frame_win.h"
#include "model/settings_data_file.h"

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

// A settings data file is a few kilobytes; a larger file is read up to here,
// which is far past its 282 lines.
constexpr DWORD kReadLimit = 1 << 20;

std::optional<std::string> ReadWholeFile(const std::wstring& path) {
  // Shared every way: a file another program holds open (for writing, or
  // to delete it) can still be read.
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string bytes(kReadLimit, '\0');
  DWORD total = 0, read = 0;
  bool ok = true;
  while (total < kReadLimit && (ok = ReadFile(file, bytes.data() + total, kReadLimit - total, &read, nullptr)) &&
         read != 0) {
    total += read;
  }
  CloseHandle(file);
  if (!ok) return std::nullopt;
  bytes.resize(total);
  return bytes;
}

bool WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) || written == 0) {
      return false;
    }
    bytes.remove_prefix(written);
  }
  return FlushFileBuffers(file) != 0;
}

bool WriteSettingsFile(const std::wstring& path) {
  return ReplaceFile(path, WriteSettingsData(deviceSettings));
}

}  // namespace

bool ReplaceFile(const std::wstring& path, std::string_view bytes) {
  // Opening a read-only file for writing fails; moving a file over it would not.
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
    return false;
  }
  // A name of our own beside the target: same folder, so the move is a rename.
  std::wstring temporary;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    temporary = path + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt) + L".tmp";
    file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool written = WriteAll(file, bytes);
  CloseHandle(file);
  if (written && MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  DeleteFileW(temporary.c_str());
  return false;
}

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

void SaveSettings() {
  if (deviceSettings.currentFileName.empty()) {
    messages.ShowWarning("Don't file open");
    return;
  }
  if (!WriteSettingsFile(WideFromUtf8(deviceSettings.currentFileName))) {
    messages.ShowWarning("Can't file open");
    return;
  }
  deviceSettings.dataChanged = 0;
}

void SaveSettingsAs(HWND owner) {
  const auto chosen = ChooseSettingsFile(owner, FileDialog::Save);
  if (!chosen) return;
  const std::string path = WithDataFileSuffix(Utf8FromWide(*chosen));
  if (!MayWrite(owner, *chosen, path)) return;
  if (!WriteSettingsFile(WideFromUtf8(path))) {
    messages.ShowWarning("Can't file open");
    return;
  }
  deviceSettings.currentFileName = path;
  deviceSettings.dataChanged = 0;
  ShowCurrentFileName();
}

}  // namespace kelvrix::app
