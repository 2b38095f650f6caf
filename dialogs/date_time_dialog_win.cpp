// Dialog 133 "カレンダ": sets the unit's clock one component at a time from
// boxes that start at the computer's local time, the 30-second correction,
// and whether and in which form the unit shows the date and time.
#include "dialogs/dialog_frame_win.h"
#include "dialogs/setting_dialogs_win.h"
#include "resources/resource.h"

namespace kelvrix::dialogs {

namespace {

SYSTEMTIME LocalTime() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return now;
}

// A clock component: its box, the entries' first value, and its button.
struct ClockRow {
  int combo;
  int button;
  int first;  // the value of entry 0
  int last;
  WORD SYSTEMTIME::*now;
  BuiltCommand (*build)(int value);
};
constexpr ClockRow kClock[] = {
    {IDC_DATE_YEAR, IDC_DATE_SEND_YEAR, 2000, 2099, &SYSTEMTIME::wYear, BuildDSY},
    {IDC_DATE_MONTH, IDC_DATE_SEND_MONTH, 1, 12, &SYSTEMTIME::wMonth, BuildDSM},
    {IDC_DATE_DAY, IDC_DATE_SEND_DAY, 1, 31, &SYSTEMTIME::wDay, BuildDSD},
    {IDC_TIME_HOUR, IDC_TIME_SEND_HOUR, 0, 23, &SYSTEMTIME::wHour, BuildTSH},
    {IDC_TIME_MINUTE, IDC_TIME_SEND_MINUTE, 0, 59, &SYSTEMTIME::wMinute, BuildTSM},
    {IDC_TIME_SECOND, IDC_TIME_SEND_SECOND, 0, 59, &SYSTEMTIME::wSecond, BuildTSS},
};

constexpr ChoiceRow kDisplay[] = {
    {IDC_DATE_FORM, IDC_DATE_SEND_FORM, FieldOf<&DeviceSettings::dateTimeDisplayForm>, BuildTSDR,
     DateTimeFormEntries},
    {IDC_DATE_DISPLAY, IDC_DATE_SEND_DISPLAY, FieldOf<&DeviceSettings::dateTimeDisplay>, BuildTSDO, OnOffEntries},
};

void OnInit(HWND dialog, Panel&) {
  const SYSTEMTIME now = dateTimeDialogClock();
  for (const ClockRow& row : kClock) {
    AddEntries(dialog, row.combo, NumberEntries(row.first, row.last, 0));
    SelectEntry(dialog, row.combo, now.*row.now - row.first);  // a year past 2099 selects nothing
  }
}

void OnCommand(HWND dialog, WPARAM wParam) {
  Panel& panel = PanelOf(dialog);
  const int id = LOWORD(wParam);
  if (id == IDC_TIME_SEND_CORRECTION) {
    Send(panel, BuildTSA());
    return;
  }
  for (const ClockRow& row : kClock) {
    if (id != row.button) continue;
    // The box as it shows now; the day is not checked against the month.
    const int selected = SelectedEntry(dialog, row.combo);
    if (selected >= 0 && selected <= row.last - row.first) Send(panel, row.build(row.first + selected));
    return;
  }
}

}  // namespace

SYSTEMTIME (*dateTimeDialogClock)() = LocalTime;

INT_PTR CALLBACK DateTimeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr DialogParts kParts = {
      .frame = {.caption = L"日付・時刻の設定 ", .resetsHiddenClicks = false, .closesOnOk = true},
      .open = OnInit, .command = OnCommand, .rows = kDisplay};
  return HandleDialogMessage(dialog, message, wParam, lParam, kParts);
}

}  // namespace kelvrix::dialogs
