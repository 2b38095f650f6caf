// Dialog 137 "タイトル表示の設定": whether channel titles show on the single
// screen and on each division size, one OFF/ON row each.
#include "dialogs/dialog_frame_win.h"
#include "dialogs/setting_dialogs_win.h"
#include "resources/resource.h"

namespace kelvrix::dialogs {

namespace {

template <int Kind>
constexpr ChoiceRow Row(int combo, int button) {
  return ElementRow<&DeviceSettings::titleDisplay, BuildTitleDisplay, Kind>(combo, button, OnOffEntries);
}
constexpr ChoiceRow kRows[] = {
    Row<0>(IDC_TITLE_DISPLAY_SINGLE, IDC_TITLE_DISPLAY_SEND_SINGLE),
    Row<1>(IDC_TITLE_DISPLAY_DIV4, IDC_TITLE_DISPLAY_SEND_DIV4),
    Row<2>(IDC_TITLE_DISPLAY_DIV6, IDC_TITLE_DISPLAY_SEND_DIV6),
    Row<3>(IDC_TITLE_DISPLAY_DIV9, IDC_TITLE_DISPLAY_SEND_DIV9),
    Row<4>(IDC_TITLE_DISPLAY_DIV12, IDC_TITLE_DISPLAY_SEND_DIV12),
    Row<5>(IDC_TITLE_DISPLAY_DIV16, IDC_TITLE_DISPLAY_SEND_DIV16),
};

}  // namespace

INT_PTR CALLBACK TitleDisplayDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr DialogParts kParts = {.frame = {L"タイトル表示の設定 "}, .rows = kRows};
  return HandleDialogMessage(dialog, message, wParam, lParam, kParts);
}

}  // namespace kelvrix::dialogs
