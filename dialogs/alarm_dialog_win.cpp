// Dialog 142 "アラームの設定": alarm mode, hold time, input polarity, display
// and return, each with its own set button.
#include <array>

#include "dialogs/dialog_frame_win.h"
#include "dialogs/setting_dialogs_win.h"
#include "link/send_command.h"
#include "model/wide_text_win.h"
#include "resources/resource.h"

namespace kelvrix::dialogs {

namespace {

struct ChoiceControl {
  int combo;
  int32_t DeviceSettings::*field;
  std::vector<std::string> (*entries)();
};
constexpr std::array<ChoiceControl, 4> kChoices = {{
    {IDC_ALARM_DISPLAY, &DeviceSettings::alarmDisplay, AlarmOnOffEntries},
    {IDC_ALARM_RETURN, &DeviceSettings::alarmReturn, AlarmOnOffEntries},
    {IDC_ALARM_POLARITY, &DeviceSettings::alarmInputPolarity, AlarmPolarityEntries},
    {IDC_ALARM_MODE, &DeviceSettings::alarmMode, AlarmModeEntries},
}};

struct SetButton {
  int id;
  BuiltCommand (*build)(const DeviceSettings&);
};
constexpr std::array<SetButton, 5> kButtons = {{
    {IDC_ALARM_SEND_MODE, BuildAM},
    {IDC_ALARM_SEND_HOLD_TIME, BuildADT},
    {IDC_ALARM_SEND_POLARITY, BuildAP},
    {IDC_ALARM_SEND_DISPLAY, BuildAD},
    {IDC_ALARM_SEND_RETURN, BuildAR},
}};

void OnInit(HWND dialog, Panel& panel) {
  for (const ChoiceControl& choice : kChoices) {
    AddEntries(dialog, choice.combo, choice.entries());
    SelectEntry(dialog, choice.combo, panel.settings.*choice.field);
  }
  SendDlgItemMessageW(dialog, IDC_ALARM_HOLD_TIME, EM_LIMITTEXT, 3, 0);
  SetDlgItemTextW(dialog, IDC_ALARM_HOLD_TIME, WideFromUtf8(panel.settings.alarmHoldTime).c_str());
}

// Only digits are kept: a pasted non-digit is dropped from the model and from
// the edit, so the edit shows what will be sent (a short text goes out
// zero-padded).
void OnHoldTimeChange(HWND dialog, Panel& panel) {
  wchar_t text[4] = {};
  GetDlgItemTextW(dialog, IDC_ALARM_HOLD_TIME, text, 4);
  std::wstring digits;
  for (const wchar_t* c = text; *c; ++c) {
    if (*c >= L'0' && *c <= L'9') digits += *c;
  }
  CopyText(panel.settings.alarmHoldTime, std::string(digits.begin(), digits.end()));
  if (digits != text) {
    SetDlgItemTextW(dialog, IDC_ALARM_HOLD_TIME, digits.c_str());  // notifies again, with digits only
    SendDlgItemMessageW(dialog, IDC_ALARM_HOLD_TIME, EM_SETSEL, digits.size(), digits.size());
  }
}

void OnCommand(HWND dialog, WPARAM wParam) {
  Panel& panel = PanelOf(dialog);
  const int id = LOWORD(wParam);
  if (id == IDC_ALARM_HOLD_TIME && HIWORD(wParam) == EN_CHANGE) {
    OnHoldTimeChange(dialog, panel);
    return;
  }
  for (const ChoiceControl& choice : kChoices) {
    if (id == choice.combo && IsSelectionChange(wParam)) {
      const int selected = SelectedEntry(dialog, id);
      if (selected >= 0) panel.settings.*choice.field = selected;
      return;
    }
  }
  for (const SetButton& button : kButtons) {
    if (id == button.id) Send(panel, button.build(panel.settings));
  }
}

}  // namespace

INT_PTR CALLBACK AlarmDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  // Enter closes this dialog too, and it leaves the hidden gesture's count as it is.
  static constexpr DialogParts kParts = {
      {.caption = L"アラームの設定 ", .resetsHiddenClicks = false, .closesOnOk = true}, OnInit, OnCommand};
  return HandleDialogMessage(dialog, message, wParam, lParam, kParts);
}

}  // namespace kelvrix::dialogs
