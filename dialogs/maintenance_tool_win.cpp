#include "dialogs/maintenance_tool_win.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <chrono>

#include "dialogs/dialog_frame_win.h"
#include "link/send_command.h"
#include "model/reply_decoders.h"
#include "model/wide_text_win.h"
#include "resources/resource.h"

namespace kelvrix::dialogs {

namespace {

using Millis = GatedSequence::Millis;

constexpr const wchar_t* kToolProperty = L"KelvrixTool";
constexpr UINT kAnswerTimer = 20;  // the answer's time-out
constexpr UINT kNextTimer = 21;    // TCP/IP: the next request

MaintenanceTool& ToolOf(HWND dialog) { return *static_cast<MaintenanceTool*>(GetPropW(dialog, kToolProperty)); }

Millis Now() { return std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now().time_since_epoch()); }

void Finish(HWND dialog) {
  MaintenanceTool& tool = ToolOf(dialog);
  KillTimer(dialog, kAnswerTimer);
  KillTimer(dialog, kNextTimer);
  tool.panel.link.replyPending = 0;  // a request given up on is no one's to wait for
  tool.panel.link.replyWaitTicks = 0;
  ReleaseRun(dialog);
  EnableWindow(GetDlgItem(dialog, IDC_SLAVE_ADDRESS), tool.addressBoxEnabled);
}

// Sends what the sequence asks for now, and arms the answer's time-out.
void Pump(HWND dialog) {
  MaintenanceTool& tool = ToolOf(dialog);
  KillTimer(dialog, kAnswerTimer);
  KillTimer(dialog, kNextTimer);
  LinkState& link = tool.panel.link;
  while (const auto request = tool.sequence.Next(Now())) {
    tool.failures.last.clear();
    link.replyError = 0;
    link.replyWaitTicks = 0;  // each request waits on its own, never long enough for "No Connect"
    if (request->address >= 0) {
      SerialSendTo(tool.panel, request->line, request->address);
    } else {
      SendCommand(tool.panel, request->line, SocketWait::Notified);
    }
    if (link.replyError == 0) break;
    // Refused or failed by the link: no answer will come.
    link.replyError = 0;
    tool.sequence.NoReply();
  }
  if (tool.sequence.Running()) {
    const auto wait = std::max<Millis::rep>(1, (tool.sequence.Deadline() - Now()).count() + 1);
    SetTimer(dialog, kAnswerTimer, static_cast<UINT>(wait), nullptr);
  } else {
    Finish(dialog);
  }
  tool.show(dialog);
}

}  // namespace

bool OnSerialLink(const LinkState& link) { return link.linkInterface == kSerialInterface; }

void OpenTool(HWND dialog, MaintenanceTool& tool) {
  SetPropW(dialog, kToolProperty, &tool);
  UseOwnPanel(dialog, tool.panel);
}

bool ClaimTool(HWND dialog) { return ClaimRun(dialog, ToolOf(dialog).program.messages); }

void RunTool(HWND dialog) {
  HWND box = GetDlgItem(dialog, IDC_SLAVE_ADDRESS);
  ToolOf(dialog).addressBoxEnabled = IsWindowEnabled(box);
  EnableWindow(box, FALSE);
  Pump(dialog);
}

void CancelTool(HWND dialog, int cancelButton) {
  EnableWindow(GetDlgItem(dialog, cancelButton), FALSE);
  MaintenanceTool& tool = ToolOf(dialog);
  tool.sequence.Cancel();
  if (!OnSerialLink(tool.panel.link)) Pump(dialog);  // between requests: ends at once
}

void AddListColumns(HWND list, std::span<const ListColumn> columns, DWORD extendedStyle) {
  ListView_SetExtendedListViewStyle(list, extendedStyle | LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  RECT client;
  GetClientRect(list, &client);
  const int width = client.right - GetSystemMetrics(SM_CXVSCROLL);
  for (std::size_t i = 0; i < columns.size(); ++i) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<wchar_t*>(columns[i].heading);
    column.cx = width * columns[i].percent / 100;
    ListView_InsertColumn(list, static_cast<int>(i), &column);
  }
}

void AddListRow(HWND list, int row, std::span<const std::string> texts) {
  for (std::size_t column = 0; column < texts.size(); ++column) {
    std::wstring text = WideFromUtf8(texts[column]);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = static_cast<int>(column);
    item.pszText = text.data();
    if (column == 0) {
      ListView_InsertItem(list, &item);
    } else {
      ListView_SetItem(list, &item);
    }
  }
}

namespace {

std::optional<std::wstring> AskPath(HWND owner, const wchar_t* title, const wchar_t* filter, const wchar_t* extension,
                                    const wchar_t* name, bool save) {
  wchar_t path[MAX_PATH] = {};
  lstrcpynW(path, name, MAX_PATH);
  OPENFILENAMEW box{};
  box.lStructSize = sizeof box;
  box.hwndOwner = owner;
  box.lpstrFilter = filter;
  box.lpstrFile = path;
  box.nMaxFile = MAX_PATH;
  box.lpstrTitle = title;
  box.lpstrDefExt = extension;
  box.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
  if (!(save ? GetSaveFileNameW(&box) : GetOpenFileNameW(&box))) return std::nullopt;
  return std::wstring(path);
}

}  // namespace

std::optional<std::wstring> AskSavePath(HWND owner, const wchar_t* title, const wchar_t* filter,
                                        const wchar_t* extension, const wchar_t* name) {
  return AskPath(owner, title, filter, extension, name, true);
}

std::optional<std::wstring> AskOpenPath(HWND owner, const wchar_t* title, const wchar_t* filter) {
  return AskPath(owner, title, filter, nullptr, L"", false);
}

void SetItemText(HWND dialog, int id, const std::string& text) { SetDlgItemTextW(dialog, id, WideFromUtf8(text).c_str()); }

bool IsListNotification(LPARAM lParam, int listId, UINT code) {
  const auto* header = reinterpret_cast<const NMHDR*>(lParam);
  return header->idFrom == static_cast<UINT_PTR>(listId) && header->code == code;
}

void ToolReplied(HWND dialog, std::string_view line, std::string_view address) {
  MaintenanceTool& tool = ToolOf(dialog);
  if (!tool.sequence.Running()) return;
  tool.panel.link.successPending = 0;  // the version's answer raises no "Success": the tool's list tells
  tool.sequence.Replied(ReplyValue(line), address, tool.failures.last);
  tool.failures.last.clear();
  if (OnSerialLink(tool.panel.link)) {
    Pump(dialog);
  } else {
    SetTimer(dialog, kNextTimer, USER_TIMER_MINIMUM, nullptr);
  }
}

INT_PTR ToolMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_DESTROY) RemovePropW(dialog, kToolProperty);
  if (message != WM_TIMER || (wParam != kAnswerTimer && wParam != kNextTimer)) return FALSE;
  Pump(dialog);
  return TRUE;
}

}  // namespace kelvrix::dialogs
