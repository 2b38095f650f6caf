#include "link/message_boxes_win.h"

#include "model/wide_text_win.h"

namespace kelvrix {

namespace {

// The box's window, caught as it is activated, so that a report folded into
// it can update its caption.
thread_local HWND* boxBeingShown = nullptr;
thread_local HHOOK activationHook = nullptr;

LRESULT CALLBACK CatchBox(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE && boxBeingShown && !*boxBeingShown) {
    wchar_t name[16] = {};
    GetClassNameW(reinterpret_cast<HWND>(wParam), name, 16);
    if (std::wstring_view(name) == L"#32770") *boxBeingShown = reinterpret_cast<HWND>(wParam);
  }
  return CallNextHookEx(activationHook, code, wParam, lParam);
}

// Task-modal: without an owner every window of the thread is disabled under
// the box; with one, that window.
UINT Style(const ResultBox& box) {
  UINT style = MB_OK | MB_TASKMODAL;
  if (box.icon == BoxIcon::Error) style |= MB_ICONERROR;
  if (box.icon == BoxIcon::Warning) style |= MB_ICONWARNING;
  return style;
}

}  // namespace

void MessageBoxScreen::Show(const ResultBox& box) {
  MessageBeep(MB_ICONQUESTION);
  HWND owner = box.owner == BoxOwner::ActiveWindow ? GetActiveWindow() : nullptr;
  shown_ = nullptr;
  boxBeingShown = &shown_;
  activationHook = SetWindowsHookExW(WH_CBT, CatchBox, nullptr, GetCurrentThreadId());
  MessageBoxW(owner, WideFromUtf8(box.text).c_str(), WideFromUtf8(box.CaptionWithCount()).c_str(), Style(box));
  if (activationHook) UnhookWindowsHookEx(activationHook);
  activationHook = nullptr;
  boxBeingShown = nullptr;
  shown_ = nullptr;
}

void MessageBoxScreen::Recount(const ResultBox& box) {
  if (shown_) SetWindowTextW(shown_, WideFromUtf8(box.CaptionWithCount()).c_str());
}

}  // namespace kelvrix
