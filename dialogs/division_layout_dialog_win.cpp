// Dialog 150 "分割画面の配置": the channel shown in each pane of the twelve
// division layouts, sent one layout at a time.
#include "dialogs/setting_dialogs_win.h"

#include "dialogs/dialog_frame_win.h"
#include "link/send_command.h"
#include "resources/resource.h"

namespace kelvrix::dialogs {

namespace {

constexpr UINT kRedrawTimer = 14;

void DrawPicture(HWND dialog) {
  const DialogState& state = SharedDialogState();
  DrawTexts(dialog, IDC_LAYOUT_PICTURE, LayoutPicture(PanelOf(dialog).settings, state.Layout()));
}

void FillPaneEntries(HWND dialog, int from, int to) {
  for (int pane = from; pane < to; ++pane) AddEntries(dialog, IDC_LAYOUT_PANE, {PaneEntry(pane)});
}

// The pane box keeps one entry per pane of the layout: appended or cut at the end.
void ChangeLayout(HWND dialog, int layout) {
  DialogState& state = SharedDialogState();
  const int oldCount = LayoutPaneCount(state.Layout());
  const int newCount = LayoutPaneCount(layout);
  state.layoutIndex = layout;
  DrawPicture(dialog);
  FillPaneEntries(dialog, oldCount, newCount);
  for (int pane = oldCount - 1; pane >= newCount; --pane) {
    SendDlgItemMessageW(dialog, IDC_LAYOUT_PANE, CB_DELETESTRING, pane, 0);
  }
  state.paneIndex = state.Pane();
  SelectEntry(dialog, IDC_LAYOUT_PANE, state.paneIndex);
}

void OnInit(HWND dialog, Panel&) {
  DialogState& state = SharedDialogState();
  AddEntries(dialog, IDC_CHANNEL, NumberEntries(1, kChannelCount, 2));
  FillPaneEntries(dialog, 0, LayoutPaneCount(state.Layout()));
  std::vector<std::string> layouts;
  for (const LayoutEntry& entry : kLayoutEntries) layouts.emplace_back(entry.comboText);
  AddEntries(dialog, IDC_LAYOUT, layouts);
  SelectEntry(dialog, IDC_LAYOUT, state.Layout());
  SelectEntry(dialog, IDC_LAYOUT_PANE, state.Pane());
  SelectEntry(dialog, IDC_CHANNEL, state.Channel());
  ScheduleRedraw(dialog, kRedrawTimer, 200);
}

void OnCommand(HWND dialog, WPARAM wParam) {
  DialogState& state = SharedDialogState();
  const int id = LOWORD(wParam);
  if (id == IDC_LAYOUT_SEND) {
    Panel& panel = PanelOf(dialog);
    Send(panel, BuildLayout(panel.settings, state.Layout()));
    return;
  }
  if (!IsSelectionChange(wParam)) return;
  const int selected = SelectedEntry(dialog, id);
  if (selected < 0) return;
  switch (id) {
    case IDC_LAYOUT:
      if (selected < kDivisionPatternCount) ChangeLayout(dialog, selected);
      break;
    case IDC_LAYOUT_PANE:
      state.paneIndex = PaneIndexFor(selected, state.Layout());
      DrawPicture(dialog);
      break;
    case IDC_CHANNEL:
      state.currentChannel = selected;
      if (selected < kChannelCount) LayoutPanes(PanelOf(dialog).settings, state.Layout())[state.Pane()] = selected;
      DrawPicture(dialog);
      break;
  }
}

}  // namespace

INT_PTR CALLBACK DivisionLayoutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr DialogParts kParts = {{L"分割画面の配置設定 "}, OnInit, OnCommand, DrawPicture, kRedrawTimer};
  return HandleDialogMessage(dialog, message, wParam, lParam, kParts);
}

}  // namespace kelvrix::dialogs
