// Dialogs 152 "アラーム履歴" and 151 "ビデオロス履歴": the unit's two event
// histories, 100 records each, shown ten a page in a drawn table. One
// implementation; what differs between the twins is a HistoryKind.
//
// The read sends 100 requests, one a tick, then ends on the tick after the
// last; the decoders store each record as its reply arrives.
#include "dialogs/dialog_frame_win.h"
#include "dialogs/setting_dialogs_win.h"
#include "link/send_command.h"
#include "model/digits.h"
#include "model/wide_text_win.h"
#include "resources/resource.h"

namespace kelvrix::dialogs {

namespace {

struct HistoryKind {
  const wchar_t* caption;
  History DeviceSettings::*records;
  std::string (*request)(int entry);
  void (*erase)(Panel& panel);  // does nothing while a run is under way
  SteppedRun read;
  UINT redrawTimer;  // a repaint never stops the read
};

template <UINT Timer>
constexpr SteppedRun ReadRun(void (*finish)(HWND)) {
  return {.timerId = Timer, .periodMs = 100, .stepCount = kHistoryEntryCount, .progressId = IDC_HISTORY_PROGRESS,
          .progressRange = kHistoryEntryCount, .endStep = kHistoryEntryCount + 1, .reads = true, .finish = finish};
}

template <const HistoryKind& Kind>
const History& RecordsOf(HWND dialog) {
  return PanelOf(dialog).settings.*Kind.records;
}

template <const HistoryKind& Kind>
void DrawTable(HWND dialog) {
  // 16 pixels: 8-pixel digits, which the columns' places are counted in.
  DrawTexts(dialog, IDC_HISTORY_TABLE, HistoryTable(RecordsOf<Kind>(dialog), SharedDialogState().HistoryPage()), 16);
}

template <const HistoryKind& Kind>
void ShowCount(HWND dialog) {
  const std::string count = PaddedDecimal(HistoryCount(RecordsOf<Kind>(dialog)), 3);
  SetDlgItemTextW(dialog, IDC_HISTORY_COUNT, WideFromUtf8(count).c_str());
}

template <const HistoryKind& Kind>
void ShowReadResult(HWND dialog) {
  DrawTable<Kind>(dialog);
  ShowCount<Kind>(dialog);
}

template <const HistoryKind& Kind>
void SendReadStep(HWND dialog, int step) {
  SendCommand(PanelOf(dialog), Kind.request(step));
}

template <const HistoryKind& Kind>
void OnInit(HWND dialog, Panel&) {
  AddEntries(dialog, IDC_HISTORY_PAGE, NumberEntries(1, kHistoryPageCount, 2));
  SelectEntry(dialog, IDC_HISTORY_PAGE, SharedDialogState().HistoryPage());
  ShowCount<Kind>(dialog);
  ScheduleRedraw(dialog, Kind.redrawTimer, 100);
}

template <const HistoryKind& Kind>
void OnCommand(HWND dialog, WPARAM wParam) {
  switch (LOWORD(wParam)) {
    case IDC_HISTORY_PAGE:
      if (IsSelectionChange(wParam)) {
        const int selected = SelectedEntry(dialog, IDC_HISTORY_PAGE);
        if (selected >= 0) SharedDialogState().historyPage = selected;
        DrawTable<Kind>(dialog);
      }
      break;
    case IDC_HISTORY_READ:
      StartRun(dialog, Kind.read);
      break;
    case IDC_HISTORY_ERASE:
      Kind.erase(PanelOf(dialog));
      break;
    default:
      break;
  }
}

constexpr HistoryKind kAlarm = {L"アラーム履歴 ", &DeviceSettings::alarmHistory, BuildAlarmHistoryReadRequest,
                                SendClearAlarmHistory, ReadRun<7>(ShowReadResult<kAlarm>), 107};
constexpr HistoryKind kVideoLoss = {L"ビデオロス履歴 ", &DeviceSettings::videoLossHistory,
                                    BuildVideoLossHistoryReadRequest, SendClearVideoLossHistory,
                                    ReadRun<8>(ShowReadResult<kVideoLoss>), 108};

template <const HistoryKind& Kind>
INT_PTR HistoryDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr DialogParts kParts = {
      .frame = {.caption = Kind.caption, .slaveAddressBox = SlaveAddressBox::UnitsOnly},
      .open = OnInit<Kind>, .command = OnCommand<Kind>, .draw = DrawTable<Kind>,
      .redrawTimer = Kind.redrawTimer, .run = &Kind.read, .sendStep = SendReadStep<Kind>};
  return HandleDialogMessage(dialog, message, wParam, lParam, kParts);
}

}  // namespace

INT_PTR CALLBACK AlarmHistoryDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  return HistoryDialog<kAlarm>(dialog, message, wParam, lParam);
}

INT_PTR CALLBACK VideoLossHistoryDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  return HistoryDialog<kVideoLoss>(dialog, message, wParam, lParam);
}

}  // namespace kelvrix::dialogs
