#include "box_watcher.h"

namespace kelvrix::testing {

namespace {

thread_local BoxWatcher* activeWatcher = nullptr;

std::wstring WindowText(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

HICON IconOf(HWND box) {
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
      return reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
    }
  }
  return nullptr;
}

}  // namespace

BoxWatcher::BoxWatcher() : timer_(SetTimer(nullptr, 0, 20, OnTimer)) { activeWatcher = this; }

BoxWatcher::~BoxWatcher() {
  KillTimer(nullptr, timer_);
  activeWatcher = nullptr;
}

void CALLBACK BoxWatcher::OnTimer(HWND, UINT, UINT_PTR, DWORD) {
  if (activeWatcher) EnumThreadWindows(GetCurrentThreadId(), OnThreadWindow, 0);
}

BOOL CALLBACK BoxWatcher::OnThreadWindow(HWND window, LPARAM) {
  wchar_t className[16] = {};
  GetClassNameW(window, className, 16);
  if (std::wstring(className) != L"#32770" || !IsWindowVisible(window)) return TRUE;
  if (window == activeWatcher->lastClosed_) return TRUE;  // closing already
  wchar_t text[512] = {};
  GetDlgItemTextW(window, 0xFFFF, text, 512);
  activeWatcher->boxes.push_back({WindowText(window), text, IconOf(window), GetWindow(window, GW_OWNER)});
  activeWatcher->lastClosed_ = window;
  PostMessageW(window, WM_COMMAND, activeWatcher->answer, 0);
  return FALSE;
}

}  // namespace kelvrix::testing
