// Dialog 141 "ビデオ調整": six picture adjustments of each channel, sent one
// by one or all 96 in one paced run.
#include <array>

#include "dialogs/dialog_frame_win.h"
#include "dialogs/setting_dialogs_win.h"
#include "link/send_command.h"
#include "resources/resource.h"

namespace kelvrix::dialogs {

namespace {

// The run paces on timer 5; the table's deferred redraw has a timer of its
// own, so that a repaint never stops the run.
constexpr SteppedRun kAllSet = {.timerId = 5, .periodMs = 100, .stepCount = kVideoAllSetSteps,
                                .progressId = IDC_VIDEO_PROGRESS};
constexpr UINT kRedrawTimer = 105;

struct ValueControl {
  int combo;
  int button;
  VideoAdjust item;
};
constexpr std::array<ValueControl, 6> kControls = {{
    {IDC_VIDEO_BRIGHTNESS, IDC_VIDEO_SEND_BRIGHTNESS, kBrightness},
    {IDC_VIDEO_CONTRAST, IDC_VIDEO_SEND_CONTRAST, kContrast},
    {IDC_VIDEO_SHARPNESS, IDC_VIDEO_SEND_SHARPNESS, kSharpness},
    {IDC_VIDEO_HUE, IDC_VIDEO_SEND_HUE, kHue},
    {IDC_VIDEO_SATURATION_U, IDC_VIDEO_SEND_SATURATION_U, kSaturationU},
    {IDC_VIDEO_SATURATION_V, IDC_VIDEO_SEND_SATURATION_V, kSaturationV},
}};

int32_t& ValueOf(Panel& panel, VideoAdjust item, int channel) {
  return (panel.settings.*kVideoAdjustItems[item].field)[channel];
}

void DrawTable(HWND dialog) {
  DrawTexts(dialog, IDC_VIDEO_TABLE,
            VideoAdjustTable(PanelOf(dialog).settings, SharedDialogState().Channel()));
}

void SendStep(HWND dialog, int step) {
  Panel& panel = PanelOf(dialog);
  const VideoStep s = VideoAllSetStep(step);
  Send(panel, BuildVideoAdjust(panel.settings, s.item, s.channel));
}

// Each box shows the value of the channel chosen, the one its "設定" sends.
void SelectChannelValues(HWND dialog, Panel& panel, int channel) {
  for (const ValueControl& control : kControls) SelectEntry(dialog, control.combo, ValueOf(panel, control.item, channel));
}

void OnInit(HWND dialog, Panel& panel) {
  const int channel = SharedDialogState().Channel();
  AddEntries(dialog, IDC_VIDEO_SHARPNESS, NumberEntries(0, 15, 0));
  AddEntries(dialog, IDC_CHANNEL, NumberEntries(1, kChannelCount, 0));
  const auto values = NumberEntries(0, 255, 3);
  for (const ValueControl& control : kControls) {
    if (control.item != kSharpness) AddEntries(dialog, control.combo, values);
  }
  SelectChannelValues(dialog, panel, channel);
  SelectEntry(dialog, IDC_CHANNEL, channel);
  ScheduleRedraw(dialog, kRedrawTimer, 100);
}

void OnCommand(HWND dialog, WPARAM wParam) {
  Panel& panel = PanelOf(dialog);
  DialogState& state = SharedDialogState();
  const int id = LOWORD(wParam);
  if (id == IDC_VIDEO_SEND_ALL) {
    StartRun(dialog, kAllSet);
    return;
  }
  for (const ValueControl& control : kControls) {
    if (id == control.button) {
      Send(panel, BuildVideoAdjust(panel.settings, control.item, state.Channel()));
      return;
    }
    if (id == control.combo && IsSelectionChange(wParam)) {
      const int selected = SelectedEntry(dialog, id);
      if (selected >= 0) ValueOf(panel, control.item, state.Channel()) = selected;
      DrawTable(dialog);
      return;
    }
  }
  if (id == IDC_CHANNEL && IsSelectionChange(wParam)) {
    const int selected = SelectedEntry(dialog, id);
    if (selected >= 0) state.currentChannel = selected;
    SelectChannelValues(dialog, panel, state.Channel());
    DrawTable(dialog);
  }
}

}  // namespace

INT_PTR CALLBACK VideoAdjustDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr DialogParts kParts = {{L"ビデオ調整 "}, OnInit, OnCommand, DrawTable, kRedrawTimer, &kAllSet, SendStep};
  return HandleDialogMessage(dialog, message, wParam, lParam, kParts);
}

}  // namespace kelvrix::dialogs
