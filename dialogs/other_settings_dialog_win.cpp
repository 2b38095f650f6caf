// Dialog 139 "その他の設定": the connector input's use, the border lines'
// colour, the on-screen character size, and switching the unit's menu off.
#include "dialogs/dialog_frame_win.h"
#include "dialogs/setting_dialogs_win.h"
#include "resources/resource.h"

namespace kelvrix::dialogs {

namespace {

constexpr ChoiceRow kRows[] = {
    {IDC_OTHER_CONNECTOR, IDC_OTHER_SEND_CONNECTOR, FieldOf<&DeviceSettings::connectorInput>, BuildCI,
     ConnectorEntries},
    {IDC_OTHER_BORDER, IDC_OTHER_SEND_BORDER, FieldOf<&DeviceSettings::borderLine>, BuildBL, BorderEntries},
    {IDC_OTHER_CHARACTER_SIZE, IDC_OTHER_SEND_CHARACTER_SIZE, FieldOf<&DeviceSettings::characterSize>, BuildCDS,
     CharacterSizeEntries},
};

void OnCommand(HWND dialog, WPARAM wParam) {
  if (LOWORD(wParam) == IDC_OTHER_MENU_OFF) Send(PanelOf(dialog), BuildMOF());
}

}  // namespace

INT_PTR CALLBACK OtherSettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr DialogParts kParts = {.frame = {L"その他の設定 "}, .command = OnCommand, .rows = kRows};
  return HandleDialogMessage(dialog, message, wParam, lParam, kParts);
}

}  // namespace kelvrix::dialogs
