// Dialog 100, the About box: the program's name and its version, read from
// the version resource so that the two never disagree.
#include <cstdio>
#include <vector>

#include "dialogs/setting_dialogs_win.h"
#include "resources/resource.h"

namespace kelvrix::dialogs {

std::wstring ProgramVersion() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  DWORD unused = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &unused);
  if (size == 0) return {};
  std::vector<BYTE> info(size);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!GetFileVersionInfoW(path, 0, size, info.data()) ||
      !VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || length < sizeof *fixed) {
    return {};
  }
  wchar_t text[32];
  swprintf(text, 32, L"%u.%u.%u", HIWORD(fixed->dwProductVersionMS), LOWORD(fixed->dwProductVersionMS),
           HIWORD(fixed->dwProductVersionLS));
  return text;
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      SetDlgItemTextW(dialog, IDC_ABOUT_VERSION, (L"Version " + ProgramVersion()).c_str());
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, LOWORD(wParam));
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace kelvrix::dialogs
