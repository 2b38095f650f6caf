// What the maintenance tools' dialogs share (the comparison, the bus scan):
// a panel of their own over a model of their own, whose result boxes only
// note a failure for the tool to show; their sequence paced by replies and
// time-outs; batchStep held while it runs, and the slave address box held
// still, so that the unit asked stays the unit answering.
//
// No request waits for its answer on the GUI thread: the answer comes as a
// serial line or a socket notification, its time-out as a timer. On the
// serial link the next request goes out as the answer is dispatched; on
// TCP/IP from a short timer, so that a unit answering at once on loopback
// never holds off the operator's clicks with a chain of notifications.
#pragma once

#include <windows.h>

#include <optional>
#include <span>
#include <string>

#include "dialogs/dialog_frame_win.h"
#include "link/panel.h"
#include "tools/reply_gated_run.h"

namespace kelvrix::dialogs {

struct MaintenanceTool {
  MaintenanceTool(Panel& program, DeviceSettings& model, GatedSequence& sequence, void (*show)(HWND dialog))
      : program(program), sequence(sequence), show(show), panel{model, program.link, failures, program.transport} {}
  MaintenanceTool(const MaintenanceTool&) = delete;
  MaintenanceTool& operator=(const MaintenanceTool&) = delete;

  Panel& program;
  GatedSequence& sequence;
  // After each request and at the end: the dialog shows how far the
  // sequence came, and once it has ended what it found.
  void (*show)(HWND dialog);
  NotedFailures failures;
  Panel panel;
  bool addressBoxEnabled = false;
};

// In the dialog's opening: its replies go to the tool's panel from now on.
void OpenTool(HWND dialog, MaintenanceTool& tool);
// Before the sequence starts: false when the run may not (a socket missing,
// another run going), with the refusal shown.
bool ClaimTool(HWND dialog);
// After the sequence started: sends its first request.
void RunTool(HWND dialog);
// "中止": the button stays disabled until the sequence has ended.
void CancelTool(HWND dialog, int cancelButton);
bool OnSerialLink(const LinkState& link);

// The tools' lists: report-style list views with columns that share the
// list's width by the percentages given.
struct ListColumn {
  const wchar_t* heading;
  int percent;
};
void AddListColumns(HWND list, std::span<const ListColumn> columns, DWORD extendedStyle);
void AddListRow(HWND list, int row, std::span<const std::string> texts);  // texts UTF-8
void SetItemText(HWND dialog, int id, const std::string& text);

// Where to save a tool's record: the path the operator chose in the save
// dialog (a file there is replaced only after the dialog's own question),
// or nothing. `filter` as OPENFILENAMEW takes it; `name` the proposed one.
std::optional<std::wstring> AskSavePath(HWND owner, const wchar_t* title, const wchar_t* filter,
                                        const wchar_t* extension, const wchar_t* name = L"");
// The same for a file to read: one that exists.
std::optional<std::wstring> AskOpenPath(HWND owner, const wchar_t* title, const wchar_t* filter);

// True when lParam is notification `code` from list `listId`.
bool IsListNotification(LPARAM lParam, int listId, UINT code);

// The frame's hooks: each reply, and the tool's timers (FALSE for any other message).
void ToolReplied(HWND dialog, std::string_view line, std::string_view address);
INT_PTR ToolMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// What a tool's dialog tells the frame: its slave address box (units only,
// held still while it runs), Close refused while it runs, its replies and
// its own messages.
constexpr DialogParts ToolDialogParts(const wchar_t* caption, void (*open)(HWND, Panel&),
                                      void (*command)(HWND, WPARAM),
                                      INT_PTR (*handle)(HWND, UINT, WPARAM, LPARAM)) {
  return {.frame = {.caption = caption, .slaveAddressBox = SlaveAddressBox::UnitsOnly, .refusesCloseWhileRunning = true},
          .open = open,
          .command = command,
          .replied = ToolReplied,
          .handle = handle};
}

}  // namespace kelvrix::dialogs
