// Dialog 162 "通信モニタ". The record is kept whether or not the window is
// open (TrafficRecorder); the window is a view of it: the list asks for the
// rows it shows, the recorder posts one message however many entries came
// until the window has caught up, and the list follows the newest entry
// while it is scrolled to the end.
#include "dialogs/traffic_monitor_win.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cstring>
#include <string>

#include "dialogs/maintenance_tool_win.h"
#include "model/whole_file_win.h"
#include "model/wide_text_win.h"
#include "resources/resource.h"

namespace kelvrix::dialogs {

namespace {

constexpr const wchar_t* kContextProperty = L"KelvrixTrafficMonitor";
constexpr UINT kStatusTimer = 1;  // the header's "最後の応答" ages

HWND monitor = nullptr;

TrafficMonitorContext& ContextOf(HWND dialog) {
  return *static_cast<TrafficMonitorContext*>(GetPropW(dialog, kContextProperty));
}

HWND List(HWND dialog) { return GetDlgItem(dialog, IDC_TRAFFIC_LIST); }

void ShowStatus(HWND dialog) {
  const TrafficMonitorContext& context = ContextOf(dialog);
  SetItemText(dialog, IDC_TRAFFIC_STATUS, LinkStatusLine(context.link, context.status()));
}

// The list shows as many rows as the record holds; entries shift once the
// ring is full, so every row shown is drawn again.
void Refresh(HWND dialog) {
  HWND list = List(dialog);
  const int count = static_cast<int>(ContextOf(dialog).traffic.Log().Size());
  const int shown = ListView_GetItemCount(list);
  const bool following = shown == 0 || ListView_GetTopIndex(list) + ListView_GetCountPerPage(list) >= shown;
  ListView_SetItemCountEx(list, count, LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL);
  InvalidateRect(list, nullptr, FALSE);
  if (following && count > 0) ListView_EnsureVisible(list, count - 1, FALSE);
}

std::string ColumnText(const TrafficEntry& entry, int column) {
  switch (column) {
    case 0: return std::to_string(entry.number);
    case 1: return TimeOfDay(entry.millisOfDay);
    case 2: return std::string(DirectionMark(entry.kind));
    case 3: return entry.link;
    default: return entry.kind == TrafficKind::Event ? entry.bytes : EscapedBytes(entry.bytes);
  }
}

void GiveRowText(HWND dialog, NMLVDISPINFOW& info) {
  const TrafficLog& log = ContextOf(dialog).traffic.Log();
  if (!(info.item.mask & LVIF_TEXT) || info.item.iItem < 0 || static_cast<std::size_t>(info.item.iItem) >= log.Size()) return;
  const std::wstring text = WideFromUtf8(ColumnText(log.At(static_cast<std::size_t>(info.item.iItem)), info.item.iSubItem));
  lstrcpynW(info.item.pszText, text.c_str(), info.item.cchTextMax);
}

std::wstring SelectedRows(HWND dialog) {
  const TrafficLog& log = ContextOf(dialog).traffic.Log();
  std::string text;
  for (int row = -1; (row = ListView_GetNextItem(List(dialog), row, LVNI_SELECTED)) != -1;) {
    if (static_cast<std::size_t>(row) < log.Size()) text += FormatEntry(log.At(static_cast<std::size_t>(row))) + "\r\n";
  }
  return WideFromUtf8(text);
}

void CopySelection(HWND dialog) {
  const std::wstring text = SelectedRows(dialog);
  if (text.empty() || !OpenClipboard(dialog)) return;
  EmptyClipboard();
  const std::size_t size = (text.size() + 1) * sizeof(wchar_t);
  if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size)) {
    std::memcpy(GlobalLock(memory), text.c_str(), size);
    GlobalUnlock(memory);
    if (!SetClipboardData(CF_UNICODETEXT, memory)) GlobalFree(memory);
  }
  CloseClipboard();
}

// The whole record as UTF-8 text with a byte order mark, a line an entry.
void SaveRecord(HWND dialog) {
  const auto path = AskSavePath(dialog, L"通信記録の保存", L"テキスト(*.txt)\0*.txt\0すべて(*.*)\0*.*\0", L"txt");
  if (!path) return;
  const TrafficLog& log = ContextOf(dialog).traffic.Log();
  std::string text = "\xEF\xBB\xBFNo.\t時刻\t方向\tリンク\tデータ\r\n";
  for (std::size_t i = 0; i < log.Size(); ++i) text += FormatEntry(log.At(i)) + "\r\n";
  if (!ReplaceWholeFile(*path, text)) ContextOf(dialog).messages.ShowWarning("保存できませんでした。");
}

// The list takes what the window has; the buttons keep to its bottom edge.
void Layout(HWND dialog) {
  RECT units{8, 22, 10, 6};  // dialog units: the edge, the list's top, the header's height, the gap above the buttons
  MapDialogRect(dialog, &units);
  const int edge = units.left;
  RECT client;
  GetClientRect(dialog, &client);
  RECT button;
  GetWindowRect(GetDlgItem(dialog, IDC_CLOSE), &button);
  const int buttonTop = client.bottom - edge - (button.bottom - button.top);
  const int width = client.right - 2 * edge;
  SetWindowPos(GetDlgItem(dialog, IDC_TRAFFIC_STATUS), nullptr, 0, 0, width, units.right, SWP_NOMOVE | SWP_NOZORDER);
  SetWindowPos(List(dialog), nullptr, edge, units.top, width, buttonTop - units.bottom - units.top, SWP_NOZORDER);
  for (int id : {IDC_TRAFFIC_COPY, IDC_TRAFFIC_SAVE, IDC_TRAFFIC_CLEAR, IDC_CLOSE}) {
    HWND item = GetDlgItem(dialog, id);
    RECT place;
    GetWindowRect(item, &place);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
    const int left = id == IDC_CLOSE ? client.right - edge - (place.right - place.left) : place.left;
    SetWindowPos(item, nullptr, left, buttonTop, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  }
  InvalidateRect(dialog, nullptr, TRUE);
}

void KeepMinimumSize(HWND dialog, MINMAXINFO& limits) {
  RECT smallest{0, 0, 300, 140};
  MapDialogRect(dialog, &smallest);
  limits.ptMinTrackSize = {smallest.right, smallest.bottom};
}

void OnInit(HWND dialog, TrafficMonitorContext& context) {
  SetPropW(dialog, kContextProperty, &context);
  static constexpr ListColumn kColumns[] = {
      {L"No.", 8}, {L"時刻", 14}, {L"方向", 6}, {L"リンク", 14}, {L"データ", 58}};
  AddListColumns(List(dialog), kColumns, LVS_EX_DOUBLEBUFFER);
  context.traffic.SetMonitor(dialog);
  context.traffic.Seen();
  Refresh(dialog);
  ShowStatus(dialog);
  SetTimer(dialog, kStatusTimer, 1000, nullptr);
}

INT_PTR CALLBACK TrafficMonitorProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    OnInit(dialog, *reinterpret_cast<TrafficMonitorContext*>(lParam));
    return TRUE;
  }
  if (!GetPropW(dialog, kContextProperty)) return FALSE;
  switch (message) {
    case MsgTrafficAdded:
      ContextOf(dialog).traffic.Seen();
      Refresh(dialog);
      ShowStatus(dialog);
      return TRUE;
    case WM_TIMER:
      ShowStatus(dialog);
      return TRUE;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      if (header->idFrom != IDC_TRAFFIC_LIST || header->code != LVN_GETDISPINFOW) return FALSE;
      GiveRowText(dialog, *reinterpret_cast<NMLVDISPINFOW*>(lParam));
      return TRUE;
    }
    case WM_SIZE:
      Layout(dialog);
      return TRUE;
    case WM_GETMINMAXINFO:
      KeepMinimumSize(dialog, *reinterpret_cast<MINMAXINFO*>(lParam));
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_TRAFFIC_COPY:
          CopySelection(dialog);
          break;
        case IDC_TRAFFIC_SAVE:
          SaveRecord(dialog);
          break;
        case IDC_TRAFFIC_CLEAR:
          ContextOf(dialog).traffic.Clear();
          Refresh(dialog);
          break;
        case IDC_CLOSE:
          DestroyWindow(dialog);
          break;
        default:
          break;
      }
      return TRUE;
    case WM_DESTROY:
      ContextOf(dialog).traffic.SetMonitor(nullptr);
      RemovePropW(dialog, kContextProperty);
      monitor = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

void OpenTrafficMonitor(HINSTANCE instance, HWND owner, TrafficMonitorContext& context) {
  if (!monitor) {
    monitor = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_TRAFFIC), owner, TrafficMonitorProc,
                                 reinterpret_cast<LPARAM>(&context));
  }
  if (!monitor) return;
  ShowWindow(monitor, SW_SHOWNORMAL);
  SetForegroundWindow(monitor);
}

HWND TrafficMonitorWindow() { return monitor; }

}  // namespace kelvrix::dialogs
