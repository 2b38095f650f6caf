#include "dialogs/dialog_frame_win.h"

#include <commctrl.h>

#include <algorithm>
#include <map>
#include <string>

#include "link/reply_dispatcher.h"
#include "link/send_command.h"
#include "model/wide_text_win.h"
#include "resources/resource.h"

namespace kelvrix::dialogs {

namespace {

constexpr const wchar_t* kPanelProperty = L"KelvrixPanel";
// Set while the dialog owns the running stepped run.
constexpr const wchar_t* kRunProperty = L"KelvrixRun";
// Set on a dialog that decodes its replies into a panel of its own.
constexpr const wchar_t* kOwnRepliesProperty = L"KelvrixOwnReplies";

HWND Item(HWND dialog, int id) { return GetDlgItem(dialog, id); }

void EnableClose(HWND dialog, bool enabled) { EnableWindow(Item(dialog, IDC_CLOSE), enabled); }

}  // namespace

DialogState& SharedDialogState() {
  static DialogState state;
  return state;
}

Panel& PanelOf(HWND dialog) { return *static_cast<Panel*>(GetPropW(dialog, kPanelProperty)); }

void UseOwnPanel(HWND dialog, Panel& panel) {
  SetPropW(dialog, kPanelProperty, &panel);
  SetPropW(dialog, kOwnRepliesProperty, reinterpret_cast<HANDLE>(1));
}

bool TakeSerialReply(std::string_view line) {
  if (!replyWindow || !GetPropW(replyWindow, kOwnRepliesProperty)) return false;
  SendMessageW(replyWindow, MsgSerialReply, 0, reinterpret_cast<LPARAM>(&line));
  return true;
}

namespace {

// The opening steps every setting dialog shares, before it fills its own controls.
Panel& OpenFrame(HWND dialog, LPARAM initParam, const FrameOptions& options) {
  SetPropW(dialog, kPanelProperty, reinterpret_cast<HANDLE>(initParam));
  Panel& panel = PanelOf(dialog);
  replyWindow = dialog;

  const LinkState& link = panel.link;
  const SlaveAddressBox box = options.slaveAddressBox;
  if (box != SlaveAddressBox::None) {
    AddEntries(dialog, IDC_SLAVE_ADDRESS, SlaveAddressEntries(box != SlaveAddressBox::UnitsOnly));
    const bool usable = link.rsControl == kRs485 && link.linkInterface == kSerialInterface;
    if (usable || box == SlaveAddressBox::AlwaysEnabled) {
      SelectEntry(dialog, IDC_SLAVE_ADDRESS, link.slaveAddressIndex);
    } else {
      EnableWindow(Item(dialog, IDC_SLAVE_ADDRESS), FALSE);
    }
  }
  if (options.resetsHiddenClicks) SharedDialogState().hiddenClickCount = 0;
  // The server role shows which unit the dialog talks to after the caption.
  const std::string host = options.namesChosenUnit ? ChosenPeerAddress(link.connections, link.clientServerMode,
                                                                        link.chosenRow, link.chosenSerial)
                                                   : std::string();
  SetWindowTextW(dialog, (options.caption + WideFromUtf8(host)).c_str());
  return panel;
}

void InitProgress(HWND dialog, const SteppedRun& run) {
  if (run.progressId == 0) return;
  const int range = run.progressRange != 0 ? run.progressRange : run.stepCount;
  SendDlgItemMessageW(dialog, run.progressId, PBM_SETRANGE, 0, MAKELPARAM(0, range));
  SendDlgItemMessageW(dialog, run.progressId, PBM_SETSTEP, 1, 0);
}

}  // namespace

void AddEntries(HWND dialog, int id, const std::vector<std::string>& entries) {
  const auto first = static_cast<std::size_t>(SendDlgItemMessageW(dialog, id, CB_GETCOUNT, 0, 0));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    SendDlgItemMessageW(dialog, id, CB_INSERTSTRING, first + i,
                        reinterpret_cast<LPARAM>(WideFromUtf8(entries[i]).c_str()));
  }
}

void SelectEntry(HWND dialog, int id, int index) { SendDlgItemMessageW(dialog, id, CB_SETCURSEL, index, 0); }

int SelectedEntry(HWND dialog, int id) {
  return static_cast<int>(SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0));
}

void SelectChoiceRows(HWND dialog, std::span<const ChoiceRow> rows, DeviceSettings& settings) {
  for (const ChoiceRow& row : rows) SelectEntry(dialog, row.combo, row.field(settings));
}

namespace {

void OpenChoiceRows(HWND dialog, std::span<const ChoiceRow> rows, DeviceSettings& settings) {
  for (const ChoiceRow& row : rows) AddEntries(dialog, row.combo, row.entries());
  SelectChoiceRows(dialog, rows, settings);
}

// True when the command was one of the rows'.
bool HandleChoiceRows(HWND dialog, WPARAM wParam, std::span<const ChoiceRow> rows,
                      void (*send)(Panel&, const BuiltCommand&)) {
  Panel& panel = PanelOf(dialog);
  const int id = LOWORD(wParam);
  for (const ChoiceRow& row : rows) {
    if (id == row.button) {
      send(panel, row.build(panel.settings));
      return true;
    }
    if (id == row.combo) {
      const int selected = SelectedEntry(dialog, id);
      if (IsSelectionChange(wParam) && selected >= 0) row.field(panel.settings) = selected;
      return true;
    }
  }
  return false;
}

}  // namespace

void ShowPortNumber(HWND dialog, int editId, const DeviceSettings& settings) {
  SendDlgItemMessageW(dialog, editId, EM_LIMITTEXT, 5, 0);
  SetDlgItemTextW(dialog, editId, WideFromUtf8(settings.portNumber).c_str());
}

void StorePortNumber(HWND dialog, int editId, DeviceSettings& settings) {
  wchar_t text[6] = {};
  GetDlgItemTextW(dialog, editId, text, 6);
  CopyText(settings.portNumber, Utf8FromWide(text));
}

void ShowAddress(HWND dialog, int id, const Ipv4Address& a) {
  SendDlgItemMessageW(dialog, id, IPM_SETADDRESS, 0, MAKEIPADDRESS(a[0], a[1], a[2], a[3]));
}

int ReadAddress(HWND dialog, int id, Ipv4Address& address) {
  DWORD packed = 0;
  const auto filled = SendDlgItemMessageW(dialog, id, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&packed));
  address = {static_cast<uint8_t>(FIRST_IPADDRESS(packed)), static_cast<uint8_t>(SECOND_IPADDRESS(packed)),
             static_cast<uint8_t>(THIRD_IPADDRESS(packed)), static_cast<uint8_t>(FOURTH_IPADDRESS(packed))};
  return static_cast<int>(filled);
}

namespace {

// Fixed pitch, as the tables are laid out for: a run of blanks wipes what a
// longer text left at the same place. The stock system font would do, but has
// no Japanese glyphs outside a Japanese Windows. One font per DPI, since each
// dialog takes the DPI of the monitor it opens on, and per size.
HFONT TableFont(int pixels, int dpi) {
  static std::map<std::pair<int, int>, HFONT> fonts;
  HFONT& font = fonts[{pixels, dpi}];
  if (!font) {
    font = CreateFontW(-MulDiv(pixels, dpi, 96), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN,
                       L"MS Gothic");
  }
  return font;
}

}  // namespace

void DrawTexts(HWND dialog, int frameId, const std::vector<PlacedText>& texts, int fontPixels) {
  HWND frame = Item(dialog, frameId);
  const int dpi = static_cast<int>(GetDpiForWindow(frame));
  HDC context = GetDC(frame);
  HGDIOBJ oldFont = SelectObject(context, TableFont(fontPixels, dpi));
  for (const PlacedText& placed : texts) {
    const std::wstring text = WideFromUtf8(placed.text);
    TextOutW(context, MulDiv(placed.x, dpi, 96), MulDiv(placed.y, dpi, 96), text.c_str(),
             static_cast<int>(text.size()));
  }
  SelectObject(context, oldFont);
  ReleaseDC(frame, context);
}

void ScheduleRedraw(HWND dialog, UINT timerId, UINT periodMs) {
  SharedDialogState().redrawPending = 1;
  SetTimer(dialog, timerId, periodMs, nullptr);
}

bool ClaimRun(HWND dialog, ResultMessages& refusals, bool linkGuard) {
  Panel& panel = PanelOf(dialog);
  if (linkGuard && !CanSendOverSocket(panel.link)) {
    refusals.ShowWarning("Socket が接続されていません");
    return false;
  }
  if (panel.link.batchStep != 0) return false;
  // An error left by an earlier single command is not this run's.
  panel.link.replyError = 0;
  EnableClose(dialog, false);
  panel.link.batchStep = 1;
  SetPropW(dialog, kRunProperty, reinterpret_cast<HANDLE>(1));
  return true;
}

void ReleaseRun(HWND dialog) {
  Panel& panel = PanelOf(dialog);
  panel.link.batchStep = 0;
  panel.link.replyError = 0;
  RemovePropW(dialog, kRunProperty);
  EnableClose(dialog, true);
}

void StartRun(HWND dialog, const SteppedRun& run) {
  Panel& panel = PanelOf(dialog);
  if (run.reads && panel.link.batchStep == 0 && ReadsFromBroadcast(panel.link)) {
    panel.messages.ShowWarning(kBroadcastReadRefusal);
    return;
  }
  if (!ClaimRun(dialog, panel.messages, run.linkGuard)) return;
  if (run.progressId != 0) SendDlgItemMessageW(dialog, run.progressId, PBM_SETPOS, 0, 0);
  SetTimer(dialog, run.timerId, run.periodMs, nullptr);
}

namespace {

bool OwnsRun(HWND dialog) { return GetPropW(dialog, kRunProperty) != nullptr; }

// Stopped by a failed step, the bar and the percentage show how far it came.
void EndRun(HWND dialog, const SteppedRun& run, bool completed) {
  KillTimer(dialog, run.timerId);
  ReleaseRun(dialog);
  if (!completed) return;
  if (run.progressId != 0) SendDlgItemMessageW(dialog, run.progressId, PBM_SETPOS, 0, 0);
  if (run.percentId != 0) SetDlgItemTextW(dialog, run.percentId, run.percentCleared);
  if (run.finish) run.finish(dialog);
}

bool IsCloseCommand(WPARAM wParam, const FrameOptions& options) {
  const int id = LOWORD(wParam);
  return id == IDC_CLOSE || (id == IDOK && options.closesOnOk);
}

// The slave address box, replies, Close and the end of the dialog.
// True when the message was the frame's.
bool HandleFrameMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, const DialogParts& parts) {
  const FrameOptions& options = parts.frame;
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_SLAVE_ADDRESS && options.slaveAddressBox != SlaveAddressBox::None) {
        if (IsSelectionChange(wParam)) {
          const int selected = SelectedEntry(dialog, IDC_SLAVE_ADDRESS);
          if (selected >= 0) PanelOf(dialog).link.slaveAddressIndex = selected;
        }
        return true;
      }
      if (IsCloseCommand(wParam, options)) {
        if (!(options.refusesCloseWhileRunning && PanelOf(dialog).link.batchStep != 0)) {
          EndDialog(dialog, IDC_CLOSE);
        }
        return true;
      }
      return false;
    case MsgReplyReceived: {
      if (!options.handlesSocketReplies) return false;
      Panel& panel = PanelOf(dialog);
      const std::string line = DispatchSocketReply(panel, panel.link.receiveBuffer, panel.link.receiveLength);
      if (parts.replied && !line.empty()) parts.replied(dialog, line, {});
      return true;
    }
    case MsgSerialReply: {
      Panel& panel = PanelOf(dialog);
      const std::string_view line = *reinterpret_cast<const std::string_view*>(lParam);
      if (parts.serialLine) {
        parts.serialLine(dialog, line);
        return true;
      }
      DispatchSerialReply(panel, line);
      if (parts.replied) parts.replied(dialog, SerialReplyBody(panel.link, line), SerialReplyAddress(panel.link, line));
      return true;
    }
    case WM_DESTROY: {
      // However the dialog ends, a run it started must not stay counted, and
      // an error it saw must not stop the next dialog's run.
      Panel& panel = PanelOf(dialog);
      if (RemovePropW(dialog, kRunProperty)) panel.link.batchStep = 0;
      panel.link.replyError = 0;
      if (replyWindow == dialog) replyWindow = nullptr;
      RemovePropW(dialog, kPanelProperty);
      RemovePropW(dialog, kOwnRepliesProperty);
      return false;
    }
    default:
      return false;
  }
}

void OnPaintDeferRedraw(HWND dialog, UINT timerId) {
  PAINTSTRUCT paint;
  BeginPaint(dialog, &paint);
  EndPaint(dialog, &paint);
  ScheduleRedraw(dialog, timerId, 20);
}

// On the redraw timer: draws once if a redraw is owed, then stops the timer.
void OnRedrawTimer(HWND dialog, UINT timerId, void (*draw)(HWND)) {
  KillTimer(dialog, timerId);
  DialogState& state = SharedDialogState();
  if (state.redrawPending == 0) return;
  draw(dialog);
  state.redrawPending = 0;
}

void ShowPercent(HWND dialog, const SteppedRun& run, int step) {
  const std::wstring percent = std::to_wstring(RunPercent(step, run.stepCount));
  SetDlgItemTextW(dialog, run.percentId, percent.c_str());
}

// Over TCP/IP the run ends on the tick after its last step, once that step's
// answer (posted to the dialog) has been handled: the last value is stored,
// and an error to the last step stops the run where it is. A serial answer
// goes to the main window whatever dialog is open.
void TickRun(HWND dialog, const SteppedRun& run, void (*sendStep)(HWND, int)) {
  Panel& panel = PanelOf(dialog);
  if (panel.link.batchStep == 0 || !OwnsRun(dialog)) {  // not ours, or already over
    KillTimer(dialog, run.timerId);
    return;
  }
  if (panel.link.replyError != 0) {
    EndRun(dialog, run, false);
    return;
  }
  const int step = panel.link.batchStep;
  const int lastStep = run.endStep != 0 ? run.endStep : run.stepCount;
  if (step > lastStep) {
    EndRun(dialog, run, true);
    return;
  }
  // A box up (a reply the run caused, a time-out) pauses the run until it is closed.
  if (panel.messages.Showing()) return;
  // A box raised by the step runs its own message loop: no tick may come then.
  KillTimer(dialog, run.timerId);
  if (step <= run.stepCount) {
    sendStep(dialog, step);
    if (run.percentId != 0) ShowPercent(dialog, run, step);
  }
  if (run.progressId != 0) SendDlgItemMessageW(dialog, run.progressId, PBM_STEPIT, 0, 0);
  if (!OwnsRun(dialog)) return;  // the dialog ended inside the step
  panel.link.batchStep = step + 1;
  if (run.closeEnabledAt != 0 && panel.link.batchStep >= run.closeEnabledAt) EnableClose(dialog, true);
  const bool failed = run.stepFailureEndsRun && panel.link.replyError != 0;
  if (failed || (step == lastStep && panel.link.linkInterface != kSocketInterface)) {
    EndRun(dialog, run, true);
    return;
  }
  SetTimer(dialog, run.timerId, run.periodMs, nullptr);
}

}  // namespace

INT_PTR HandleDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, const DialogParts& parts) {
  if (message == WM_INITDIALOG) {
    Panel& panel = OpenFrame(dialog, lParam, parts.frame);
    OpenChoiceRows(dialog, parts.rows, panel.settings);
    if (parts.open) parts.open(dialog, panel);
    if (parts.run) InitProgress(dialog, *parts.run);
    return TRUE;
  }
  if (GetPropW(dialog, kPanelProperty) == nullptr) return FALSE;  // before opening or after the end
  if (HandleFrameMessage(dialog, message, wParam, lParam, parts)) return TRUE;
  switch (message) {
    case WM_COMMAND:
      if (!HandleChoiceRows(dialog, wParam, parts.rows, parts.sendRow) && parts.command) parts.command(dialog, wParam);
      return TRUE;
    case WM_PAINT:
      if (!parts.draw) break;
      OnPaintDeferRedraw(dialog, parts.redrawTimer);
      return TRUE;
    case WM_TIMER:
      if (parts.draw && wParam == parts.redrawTimer) {
        OnRedrawTimer(dialog, parts.redrawTimer, parts.draw);
        return TRUE;
      }
      if (parts.run && wParam == parts.run->timerId) {
        TickRun(dialog, *parts.run, parts.sendStep);
        return TRUE;
      }
      break;
    default:
      break;
  }
  return parts.handle ? parts.handle(dialog, message, wParam, lParam) : (message == WM_TIMER ? TRUE : FALSE);
}

}  // namespace kelvrix::dialogs
