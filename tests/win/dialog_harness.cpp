#include "dialog_harness.h"

#include <algorithm>

#include <commctrl.h>

#include "dialogs/dialog_frame_win.h"

namespace kelvrix::testing {

using namespace std::chrono;

bool PumpUntil(const std::function<bool()>& done, milliseconds limit) {
  const auto end = steady_clock::now() + limit;
  while (!done()) {
    const auto left = duration_cast<milliseconds>(end - steady_clock::now()).count();
    if (left <= 0) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<long long>(left, 50)), QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(message.wParam));  // leave it for the caller to see
        return done();
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return true;
}

void Pump(milliseconds time) { PumpUntil([] { return false; }, time); }

int InkIn(HWND frame, RECT area) {
  HDC context = GetDC(frame);
  int ink = 0;
  for (LONG y = area.top; y < area.bottom; ++y) {
    for (LONG x = area.left; x < area.right; ++x) {
      if (GetRValue(GetPixel(context, x, y)) < 128) ++ink;
    }
  }
  ReleaseDC(frame, context);
  return ink;
}

namespace {

// The common controls the templates hold, the IPv4 address field among them.
bool RegisterControls() {
  const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES | ICC_INTERNET_CLASSES};
  return InitCommonControlsEx(&classes);
}

}  // namespace

DialogHarness::DialogHarness(int templateId, DLGPROC procedure, Panel& panel)
    : DialogHarness(templateId, procedure, reinterpret_cast<LPARAM>(&panel)) {}

DialogHarness::DialogHarness(int templateId, DLGPROC procedure, LPARAM initParam)
    : window((RegisterControls(), CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId),
                                                     nullptr, procedure, initParam))) {
  ShowWindow(window, SW_SHOW);
  Pump(milliseconds(50));
}

DialogHarness::~DialogHarness() { DestroyWindow(window); }

void DialogHarness::Choose(int comboId, int index) {
  HWND combo = GetDlgItem(window, comboId);
  SendMessageW(combo, CB_SETCURSEL, index, 0);
  SendMessageW(window, WM_COMMAND, MAKEWPARAM(comboId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

void DialogHarness::Click(int buttonId) {
  SendMessageW(window, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(window, buttonId)));
}

void DialogHarness::Type(int editId, const std::wstring& text) { SetDlgItemTextW(window, editId, text.c_str()); }

std::vector<std::wstring> DialogHarness::Entries(int comboId) const {
  std::vector<std::wstring> entries;
  const auto count = SendDlgItemMessageW(window, comboId, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t text[64] = {};
    SendDlgItemMessageW(window, comboId, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    entries.emplace_back(text);
  }
  return entries;
}

std::wstring DialogHarness::SelectedText(int comboId) const {
  const int selected = Selection(comboId);
  return selected < 0 ? std::wstring() : Entries(comboId)[selected];
}

int DialogHarness::Selection(int comboId) const {
  return static_cast<int>(SendDlgItemMessageW(window, comboId, CB_GETCURSEL, 0, 0));
}

bool DialogHarness::IsEnabled(int id) const { return IsWindowEnabled(GetDlgItem(window, id)); }
bool DialogHarness::IsVisible(int id) const { return IsWindowVisible(GetDlgItem(window, id)); }

std::wstring DialogHarness::Text(int id) const {
  wchar_t text[128] = {};
  GetDlgItemTextW(window, id, text, 128);
  return text;
}

std::vector<std::vector<std::wstring>> DialogHarness::Rows(int listId) const {
  HWND list = GetDlgItem(window, listId);
  const int columns = Header_GetItemCount(ListView_GetHeader(list));
  std::vector<std::vector<std::wstring>> rows;
  for (int row = 0; row < ListView_GetItemCount(list); ++row) {
    rows.push_back({ListView_GetCheckState(list, row) ? L"1" : L"0"});
    for (int column = 0; column < columns; ++column) {
      wchar_t text[256] = {};
      ListView_GetItemText(list, row, column, text, 256);
      rows.back().emplace_back(text);
    }
  }
  return rows;
}

namespace {

LRESULT CALLBACK RecordText(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  if (message == WM_SETTEXT) reinterpret_cast<TextRecorder*>(data)->texts.emplace_back(reinterpret_cast<const wchar_t*>(lParam));
  return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace

TextRecorder::TextRecorder(HWND dialog, int id) : control_(GetDlgItem(dialog, id)) {
  SetWindowSubclass(control_, RecordText, 1, reinterpret_cast<DWORD_PTR>(this));
}

TextRecorder::~TextRecorder() { RemoveWindowSubclass(control_, RecordText, 1); }

void SettingDialogTest::SetUp() { dialogs::SharedDialogState() = {}; }

std::wstring DialogHarness::Caption() const {
  wchar_t text[128] = {};
  GetWindowTextW(window, text, 128);
  return text;
}

}  // namespace kelvrix::testing
