// Dialog 138 "自動切換え": the sequence mode and the dwell time of each of the
// 28 screens, shown as a drawn list and sent together.
#include "dialogs/dialog_frame_win.h"
#include "dialogs/setting_dialogs_win.h"
#include "link/send_command.h"
#include "resources/resource.h"

namespace kelvrix::dialogs {

namespace {

constexpr UINT kRedrawTimer = 2;
constexpr int kSameTimeDefault = 2;

void DrawList(HWND dialog) { DrawTexts(dialog, IDC_SEQUENCE_LIST, DwellList(PanelOf(dialog).settings)); }

// The time box shows the chosen screen's time, the one the list and the send hold.
void ShowScreenTime(HWND dialog, const DeviceSettings& settings) {
  SelectEntry(dialog, IDC_SEQUENCE_TIME, settings.autoSequenceDwell[SharedDialogState().SequenceScreen()]);
}

void OnInit(HWND dialog, Panel& panel) {
  const DialogState& state = SharedDialogState();
  AddEntries(dialog, IDC_SEQUENCE_SCREEN, SequenceScreenEntries());
  AddEntries(dialog, IDC_SEQUENCE_MODE, SequenceModeEntries());
  const auto seconds = NumberEntries(0, 99, 0);
  AddEntries(dialog, IDC_SEQUENCE_TIME, seconds);
  AddEntries(dialog, IDC_SEQUENCE_ALL_TIMES, seconds);
  SelectEntry(dialog, IDC_SEQUENCE_MODE, panel.settings.autoSequenceMode);
  SelectEntry(dialog, IDC_SEQUENCE_SCREEN, state.SequenceScreen());
  ShowScreenTime(dialog, panel.settings);
  SelectEntry(dialog, IDC_SEQUENCE_ALL_TIMES, kSameTimeDefault);
  ScheduleRedraw(dialog, kRedrawTimer, 200);
}

void OnCommand(HWND dialog, WPARAM wParam) {
  Panel& panel = PanelOf(dialog);
  DialogState& state = SharedDialogState();
  const int id = LOWORD(wParam);
  if (id == IDC_SEQUENCE_SEND_TIMES) {
    SendDwellTimes(panel);
    return;
  }
  if (id == IDC_SEQUENCE_SEND_MODE) {
    Send(panel, BuildCASM(panel.settings));
    return;
  }
  if (!IsSelectionChange(wParam)) return;
  const int selected = SelectedEntry(dialog, id);
  if (selected < 0) return;
  auto& dwell = panel.settings.autoSequenceDwell;
  switch (id) {
    case IDC_SEQUENCE_MODE:
      panel.settings.autoSequenceMode = selected;
      return;
    case IDC_SEQUENCE_SCREEN:
      state.sequenceScreenIndex = selected;
      ShowScreenTime(dialog, panel.settings);
      break;
    case IDC_SEQUENCE_TIME:
      dwell[state.SequenceScreen()] = selected;
      break;
    case IDC_SEQUENCE_ALL_TIMES:
      dwell.fill(selected);
      ShowScreenTime(dialog, panel.settings);
      break;
    default:
      return;
  }
  DrawList(dialog);
}

}  // namespace

INT_PTR CALLBACK AutoSequenceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr DialogParts kParts = {{L"自動切換えの設定 "}, OnInit, OnCommand, DrawList, kRedrawTimer};
  return HandleDialogMessage(dialog, message, wParam, lParam, kParts);
}

}  // namespace kelvrix::dialogs
