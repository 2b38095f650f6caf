// Dialog 136 "アスペクト比の設定": 4:3 or full picture for the single screen
// and each division size, one row each.
#include "dialogs/dialog_frame_win.h"
#include "dialogs/setting_dialogs_win.h"
#include "resources/resource.h"

namespace kelvrix::dialogs {

namespace {

template <int Kind>
constexpr ChoiceRow Row(int combo, int button) {
  return ElementRow<&DeviceSettings::aspectRatio, BuildAspectRatio, Kind>(combo, button, AspectEntries);
}
constexpr ChoiceRow kRows[] = {
    Row<0>(IDC_ASPECT_SINGLE, IDC_ASPECT_SEND_SINGLE), Row<1>(IDC_ASPECT_DIV4, IDC_ASPECT_SEND_DIV4),
    Row<2>(IDC_ASPECT_DIV6, IDC_ASPECT_SEND_DIV6),     Row<3>(IDC_ASPECT_DIV9, IDC_ASPECT_SEND_DIV9),
    Row<4>(IDC_ASPECT_DIV12, IDC_ASPECT_SEND_DIV12),   Row<5>(IDC_ASPECT_DIV16, IDC_ASPECT_SEND_DIV16),
};

}  // namespace

INT_PTR CALLBACK AspectRatioDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr DialogParts kParts = {.frame = {L"アスペクト比の設定 "}, .rows = kRows};
  return HandleDialogMessage(dialog, message, wParam, lParam, kParts);
}

}  // namespace kelvrix::dialogs
