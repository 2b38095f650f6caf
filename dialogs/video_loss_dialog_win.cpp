// Dialog 149 "ビデオロス": loss detection of every channel (one VL line for
// all 16), whether a loss is displayed, and the lost channel's background.
// Choices go into the model at once; each "設定" sends its line.
#include "dialogs/dialog_frame_win.h"
#include "dialogs/setting_dialogs_win.h"
#include "link/send_command.h"
#include "resources/resource.h"

namespace kelvrix::dialogs {

namespace {

constexpr UINT kRedrawTimer = 13;

void DrawTable(HWND dialog) { DrawTexts(dialog, IDC_VIDEO_LOSS_TABLE, VideoLossTable(PanelOf(dialog).settings)); }

void OnInit(HWND dialog, Panel& panel) {
  const DeviceSettings& settings = panel.settings;
  const int channel = SharedDialogState().Channel();
  AddEntries(dialog, IDC_CHANNEL, NumberEntries(1, kChannelCount, 0));
  AddEntries(dialog, IDC_VIDEO_LOSS_DETECT, OnOffEntries());
  AddEntries(dialog, IDC_VIDEO_LOSS_DISPLAY, OnOffEntries());
  AddEntries(dialog, IDC_VIDEO_LOSS_BACKGROUND, BackgroundEntries());
  SelectEntry(dialog, IDC_CHANNEL, channel);
  // A value outside a box's two entries, as an old file may hold, selects nothing.
  SelectEntry(dialog, IDC_VIDEO_LOSS_DETECT, settings.videoLossDetect[channel]);
  SelectEntry(dialog, IDC_VIDEO_LOSS_DISPLAY, settings.videoLossDisplay);
  SelectEntry(dialog, IDC_VIDEO_LOSS_BACKGROUND, settings.videoLossBackground);
  ScheduleRedraw(dialog, kRedrawTimer, 100);
}

// The box's choice into `field`; false when nothing is selected.
bool StoreChoice(HWND dialog, int id, int32_t& field) {
  const int selected = SelectedEntry(dialog, id);
  if (selected < 0) return false;
  field = selected;
  return true;
}

void OnCommand(HWND dialog, WPARAM wParam) {
  Panel& panel = PanelOf(dialog);
  DeviceSettings& settings = panel.settings;
  DialogState& state = SharedDialogState();
  const int id = LOWORD(wParam);
  switch (id) {
    case IDC_VIDEO_LOSS_SEND_DETECT:
      Send(panel, BuildVL(settings));
      return;
    case IDC_VIDEO_LOSS_SEND_DISPLAY:
      Send(panel, BuildVLD(settings));
      return;
    case IDC_VIDEO_LOSS_SEND_BACKGROUND:
      Send(panel, BuildVLBC(settings));
      return;
    default:
      break;
  }
  if (!IsSelectionChange(wParam)) return;
  switch (id) {
    case IDC_CHANNEL:
      // The detection box shows the channel its next choice applies to.
      StoreChoice(dialog, id, state.currentChannel);
      SelectEntry(dialog, IDC_VIDEO_LOSS_DETECT, settings.videoLossDetect[state.Channel()]);
      DrawTable(dialog);
      break;
    case IDC_VIDEO_LOSS_DETECT:
      if (StoreChoice(dialog, id, settings.videoLossDetect[state.Channel()])) DrawTable(dialog);
      break;
    case IDC_VIDEO_LOSS_DISPLAY:
      if (StoreChoice(dialog, id, settings.videoLossDisplay)) DrawTable(dialog);
      break;
    case IDC_VIDEO_LOSS_BACKGROUND:
      StoreChoice(dialog, id, settings.videoLossBackground);
      break;
    default:
      break;
  }
}

}  // namespace

INT_PTR CALLBACK VideoLossDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr DialogParts kParts = {{L"ビデオロスの設定 "}, OnInit, OnCommand, DrawTable, kRedrawTimer};
  return HandleDialogMessage(dialog, message, wParam, lParam, kParts);
}

}  // namespace kelvrix::dialogs
