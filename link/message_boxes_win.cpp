#include "link/message_boxes_win.h"

#include <windows.h>

#include "app/wide_text_win.h"

namespace kelvrix {

namespace {

void ShowBox(HWND owner, std::string_view text, const wchar_t* caption, UINT icon) {
  MessageBeep(MB_ICONQUESTION);
  MessageBoxW(owner, WideFromUtf8(text).c_str(), caption, MB_OK | MB_TASKMODAL | icon);
}

}  // namespace

void MessageBoxResults::ShowSuccess(std::string_view text) { ShowBox(nullptr, text, L"Success", 0); }

void MessageBoxResults::ShowError(std::string_view text) {
  ShowBox(nullptr, text, L"Error", MB_ICONERROR);
}

void MessageBoxResults::ShowWarning(std::string_view text) {
  ShowBox(GetActiveWindow(), text, L"Error", MB_ICONWARNING);
}

}  // namespace kelvrix
