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

// The file name box of the system's file dialogs: a combo box in the
// Explorer style, an edit in the older one; the filter list beside it.
constexpr int kFileNameCombo = 0x47C;
constexpr int kFileNameEdit = 0x480;
constexpr int kFilterCombo = 0x470;

HWND FileNameBox(HWND dialog) {
  HWND box = GetDlgItem(dialog, kFileNameCombo);
  return box ? box : GetDlgItem(dialog, kFileNameEdit);
}

std::wstring FilterList(HWND dialog) {
  std::wstring list;
  const auto count = SendDlgItemMessageW(dialog, kFilterCombo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t text[128] = {};
    SendDlgItemMessageW(dialog, kFilterCombo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    list += (i ? L"|" : L"") + std::wstring(text);
  }
  return list;
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
    Answer(box);
    box.closing = true;
  }
}

void BoxWatcher::Answer(OpenBox& box) {
  if (box.fileDialog) {
    std::wstring path;
    if (!fileChoices.empty()) {
      path = fileChoices.front();
      fileChoices.erase(fileChoices.begin());
    }
    if (!path.empty()) SetWindowTextW(FileNameBox(box.window), path.c_str());
    PostMessageW(box.window, WM_COMMAND, path.empty() ? IDCANCEL : IDOK, 0);
    return;
  }
  int button = answer;
  if (!answers.empty()) {
    button = answers.front();
    answers.erase(answers.begin());
  }
  PostMessageW(box.window, WM_COMMAND, button, 0);
}

BOOL CALLBACK BoxWatcher::OnThreadWindow(HWND window, LPARAM) {
  wchar_t className[16] = {};
  GetClassNameW(window, className, 16);
  if (std::wstring(className) != L"#32770" || !IsWindowVisible(window)) return TRUE;
  auto& open = activeWatcher->open_;
  if (std::any_of(open.begin(), open.end(), [window](const OpenBox& box) { return box.window == window; })) {
    return TRUE;
  }
  const bool fileDialog = FileNameBox(window) != nullptr;
  wchar_t text[512] = {};
  GetDlgItemTextW(window, 0xFFFF, text, 512);
  activeWatcher->boxes.push_back({WindowText(window), fileDialog ? FilterList(window) : std::wstring(text),
                                  IconOf(window), GetWindow(window, GW_OWNER)});
  open.push_back({window, std::chrono::steady_clock::now(), false, fileDialog});
  return TRUE;
}

}  // namespace kelvrix::testing
