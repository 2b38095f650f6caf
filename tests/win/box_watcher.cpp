#include "box_watcher.h"

#include <algorithm>

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
  if (activeWatcher) activeWatcher->Watch();
}

void BoxWatcher::Watch() {
  std::erase_if(open_, [](const OpenBox& box) { return !IsWindow(box.window) || !IsWindowVisible(box.window); });
  EnumThreadWindows(GetCurrentThreadId(), OnThreadWindow, 0);
  mostOpenAtOnce = std::max(mostOpenAtOnce, open_.size());
  const auto now = std::chrono::steady_clock::now();
  for (OpenBox& box : open_) {
    if (box.closing || now - box.seen < holdFor) continue;
    PostMessageW(box.window, WM_COMMAND, answer, 0);
    box.closing = true;
  }
}

BOOL CALLBACK BoxWatcher::OnThreadWindow(HWND window, LPARAM) {
  wchar_t className[16] = {};
  GetClassNameW(window, className, 16);
  if (std::wstring(className) != L"#32770" || !IsWindowVisible(window)) return TRUE;
  auto& open = activeWatcher->open_;
  if (std::any_of(open.begin(), open.end(), [window](const OpenBox& box) { return box.window == window; })) {
    return TRUE;
  }
  wchar_t text[512] = {};
  GetDlgItemTextW(window, 0xFFFF, text, 512);
  activeWatcher->boxes.push_back({WindowText(window), text, IconOf(window), GetWindow(window, GW_OWNER)});
  open.push_back({window, std::chrono::steady_clock::now(), false});
  return TRUE;
}

}  // namespace kelvrix::testing
