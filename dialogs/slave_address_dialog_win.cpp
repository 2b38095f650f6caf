// Dialog 145 "スレーブアドレス for RS-485": which unit on the bus the next
// commands of every dialog address; the frame's always-enabled box is the
// whole dialog. It sends nothing.
#include "dialogs/dialog_frame_win.h"
#include "dialogs/setting_dialogs_win.h"

namespace kelvrix::dialogs {

INT_PTR CALLBACK SlaveAddressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr DialogParts kParts = {{.caption = L"スレーブアドレスの設定 ",
                                          .slaveAddressBox = SlaveAddressBox::AlwaysEnabled,
                                          .handlesSocketReplies = false}};
  return HandleDialogMessage(dialog, message, wParam, lParam, kParts);
}

}  // namespace kelvrix::dialogs
