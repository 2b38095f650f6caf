// Dialog 143 "画面設定": the screen the unit shows after power-on and the one
// it shows now, each one of 29 screens with its own "設定". The screen size
// controls stay hidden, disabled and without behaviour.
#include "dialogs/dialog_frame_win.h"
#include "dialogs/setting_dialogs_win.h"
#include "resources/resource.h"

namespace kelvrix::dialogs {

namespace {

constexpr ChoiceRow kRows[] = {
    {IDC_SCREEN_POWER_ON, IDC_SCREEN_SEND_POWER_ON, FieldOf<&DeviceSettings::powerOnScreen>, BuildPowerOnScreen,
     ScreenEntries},
    {IDC_SCREEN_SWITCH, IDC_SCREEN_SEND_SWITCH, FieldOf<&DeviceSettings::screenSwitch>, BuildScreenSwitch,
     ScreenEntries},
};

void OnInit(HWND dialog, Panel&) { AddEntries(dialog, IDC_SCREEN_SIZE, ScreenSizeEntries()); }

}  // namespace

INT_PTR CALLBACK ScreenDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr DialogParts kParts = {
      .frame = {.caption = L"画面の設定 ", .resetsHiddenClicks = false, .closesOnOk = true}, .open = OnInit,
      .rows = kRows};
  return HandleDialogMessage(dialog, message, wParam, lParam, kParts);
}

}  // namespace kelvrix::dialogs
