// The two runs over every setting, each in a dialog of its own with a start
// button, a percentage and a bar, 100 ms a step:
//  - 147 "設定値の読み込み" refills the settings from the unit with 160 read
//    requests; the decoders store each answer as it arrives.
//  - 148 "全設定の書き込み" writes the whole mirror, typically just loaded
//    from a settings data file, in 152 steps; a refused title or layout shows
//    why and the run goes on.
// Both close themselves once the run is through, and stay open, showing how
// far they came, when a step fails.
#include "dialogs/dialog_frame_win.h"
#include "dialogs/setting_dialogs_win.h"
#include "link/send_command.h"
#include "model/all_settings_runs.h"
#include "resources/resource.h"

namespace kelvrix::dialogs {

namespace {

void CloseWhenDone(HWND dialog) { EndDialog(dialog, IDC_CLOSE); }

constexpr SteppedRun kReadAll = {.timerId = 11, .periodMs = 100, .stepCount = kReadAllSteps,
                                 .progressId = IDC_READ_ALL_PROGRESS, .percentId = IDC_READ_ALL_PERCENT,
                                 .percentCleared = L"   ", .reads = true, .finish = CloseWhenDone};
constexpr SteppedRun kWriteAll = {.timerId = 10, .periodMs = 100, .stepCount = kWriteAllSteps,
                                  .progressId = IDC_WRITE_ALL_PROGRESS, .percentId = IDC_WRITE_ALL_PERCENT,
                                  .percentCleared = L"   ", .finish = CloseWhenDone};

void SendReadStep(HWND dialog, int step) { SendCommand(PanelOf(dialog), ReadAllRequest(step)); }

void SendWriteStep(HWND dialog, int step) {
  Panel& panel = PanelOf(dialog);
  Send(panel, WriteAllStep(panel.settings, step));
}

// The start button is the dialog's only control of its own.
template <int StartButton, const SteppedRun& Run>
void OnCommand(HWND dialog, WPARAM wParam) {
  if (LOWORD(wParam) == StartButton) StartRun(dialog, Run);
}

}  // namespace

INT_PTR CALLBACK ReadAllDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr DialogParts kParts = {
      .frame = {.caption = L"設定項目の読み込み", .slaveAddressBox = SlaveAddressBox::UnitsOnly,
                .refusesCloseWhileRunning = true},
      .command = OnCommand<IDC_READ_ALL_START, kReadAll>,
      .run = &kReadAll, .sendStep = SendReadStep};
  return HandleDialogMessage(dialog, message, wParam, lParam, kParts);
}

INT_PTR CALLBACK WriteAllDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr DialogParts kParts = {
      .frame = {.caption = L"全項目の設定", .refusesCloseWhileRunning = true},
      .command = OnCommand<IDC_WRITE_ALL_START, kWriteAll>,
      .run = &kWriteAll, .sendStep = SendWriteStep};
  return HandleDialogMessage(dialog, message, wParam, lParam, kParts);
}

}  // namespace kelvrix::dialogs
