// What every setting dialog shares: the panel it works on, the slave address
// box, the caption, socket replies, combo helpers, the deferred drawing of a
// table into a frame control, and the paced "stepped" runs.
//
// A dialog gets its Panel as the init parameter of DialogBoxParam, so tests
// can open it on a panel of their own.
#pragma once

#include <windows.h>

#include <span>
#include <string>
#include <vector>

#include "link/panel.h"
#include "link/send_command.h"
#include "link/socket_layer_win.h"
#include "model/dialog_texts.h"

namespace kelvrix::dialogs {

// A serial line for a dialog that decodes into a panel of its own; lParam
// points to the line's std::string_view.
inline constexpr UINT MsgSerialReply = WM_USER + 3;

// The selections the dialogs share for the whole run of the program.
DialogState& SharedDialogState();

// The slave address box 1015 as a dialog has it.
enum class SlaveAddressBox {
  WithBroadcast,  // "00".."31" and "Bloadcast"; enabled on RS-485 over the serial link
  UnitsOnly,      // "00".."31" alone: the reading dialogs, where broadcast makes no sense
  AlwaysEnabled,  // 33 entries, enabled whatever the link: the slave address dialog
  None,           // the dialog has no box
};

// How a dialog differs from the common frame, stated as data.
struct FrameOptions {
  const wchar_t* caption;  // e.g. L"アラームの設定 "
  SlaveAddressBox slaveAddressBox = SlaveAddressBox::WithBroadcast;
  bool resetsHiddenClicks = true;         // most dialogs reset the main window's hidden gesture
  bool closesOnOk = false;                // Enter (id 1) ends the dialog as Close (id 2) does
  bool refusesCloseWhileRunning = false;  // Close, Enter and Esc do nothing while a run goes
  bool handlesSocketReplies = true;       // false for the dialogs that never send over TCP/IP
  bool namesChosenUnit = true;            // the server role's chosen unit after the caption
};

Panel& PanelOf(HWND dialog);

// A dialog that works on a panel of its own (the comparison reads a unit into
// a model beside the program's): its replies, serial and socket, decode into
// `panel` while it is the reply window.
void UseOwnPanel(HWND dialog, Panel& panel);
// The main window's way for each serial line: true when the reply window
// took it into its own panel.
bool TakeSerialReply(std::string_view line);

// Combo boxes: entries go in after those already there.
void AddEntries(HWND dialog, int id, const std::vector<std::string>& entries);
void SelectEntry(HWND dialog, int id, int index);
int SelectedEntry(HWND dialog, int id);  // -1 when nothing is selected
inline bool IsSelectionChange(WPARAM wParam) { return HIWORD(wParam) == CBN_SELCHANGE; }

// A row of a setting dialog: a box whose choice is one model field, and the
// "設定" button that sends the field's line.
struct ChoiceRow {
  int combo;
  int button;
  int32_t& (*field)(DeviceSettings&);
  BuiltCommand (*build)(const DeviceSettings&);
  std::vector<std::string> (*entries)();
};
template <auto Field>
int32_t& FieldOf(DeviceSettings& s) {
  return s.*Field;
}
template <auto Array, int Element>
int32_t& ElementOf(DeviceSettings& s) {
  return (s.*Array)[Element];
}

// The row of element `Element` of an array field, sent by that element's builder.
template <auto Array, BuiltCommand (*Build)(const DeviceSettings&, int), int Element>
constexpr ChoiceRow ElementRow(int combo, int button, std::vector<std::string> (*entries)()) {
  return {combo, button, ElementOf<Array, Element>, ForElement<Build, Element>, entries};
}

// Selects the model's value in each row's box again; a value outside the
// box's entries, as an old file may hold, selects nothing.
void SelectChoiceRows(HWND dialog, std::span<const ChoiceRow> rows, DeviceSettings& settings);

// The port number edit of the TCP/IP and network dialogs: at most five
// characters, the model's text, stored on every change.
void ShowPortNumber(HWND dialog, int editId, const DeviceSettings& settings);
void StorePortNumber(HWND dialog, int editId, DeviceSettings& settings);

// IPv4 address controls. ReadAddress returns how many of the four fields the
// operator filled; blank ones read as 0.
void ShowAddress(HWND dialog, int id, const Ipv4Address& address);
int ReadAddress(HWND dialog, int id, Ipv4Address& address);

// Drawn tables: a WM_PAINT defers the drawing to a timer, so that the frame's
// own white background is painted first.
// `fontPixels` is the height at 96 DPI: at 12 a half-width character is 6
// pixels wide, at 16 it is 8, as a table whose columns sit 8 pixels a digit
// apart needs.
void DrawTexts(HWND dialog, int frameId, const std::vector<PlacedText>& texts, int fontPixels = 12);
void ScheduleRedraw(HWND dialog, UINT timerId, UINT periodMs);

// A stepped run: one command per tick of its own timer, shown on a progress
// bar, as a percentage, or both. Steps 1..stepCount send; a run may go on for
// ticks that send nothing up to endStep, and may enable Close before its end.
struct SteppedRun {
  UINT timerId;
  UINT periodMs;
  int stepCount;
  int progressId = 0;                   // the bar, stepped on every tick (0: none)
  int progressRange = 0;                // the bar's range 0..N (0: stepCount)
  int percentId = 0;                    // edit showing step * 100 / stepCount (0: none)
  const wchar_t* percentCleared = L"";  // its text once the run has ended
  int endStep = 0;                      // the last tick (0: stepCount)
  int closeEnabledAt = 0;               // Close comes back once batchStep reaches this (0: at the end)
  bool linkGuard = true;                // refuse to start on TCP/IP without a socket
  bool stepFailureEndsRun = false;      // a step that fails ends the run at once, as its end does
  bool reads = false;                   // asks the unit: refused while the address is broadcast
  void (*finish)(HWND dialog) = nullptr;  // after the last tick: refresh the controls, close, ...
};
// The start button: the link guard, a read refused while the address is
// broadcast, nothing while any run is under way, otherwise replyError
// cleared, the bar emptied, Close disabled, step 1 and the timer started.
void StartRun(HWND dialog, const SteppedRun& run);

// A run paced other than by a SteppedRun's timer (the maintenance tools)
// holds batchStep the same way: ClaimRun refuses, false, while any run goes
// and, with `linkGuard`, on TCP/IP without a socket (its warning shown by
// `refusals`); otherwise the dialog owns the run and Close is disabled until
// ReleaseRun.
bool ClaimRun(HWND dialog, ResultMessages& refusals, bool linkGuard = true);
void ReleaseRun(HWND dialog);

// What a setting dialog supplies of its own. The frame routes the messages:
// it opens the frame before `open` fills the dialog's own controls, and owns
// the slave address box, Close, socket replies and the end of the dialog;
// WM_PAINT defers the table's drawing to `redrawTimer`; a tick of the run's
// timer ends the run when the last step failed (replyError: an error reply,
// a failed or refused send, a missing reply), else performs step `batchStep`
// and moves on, and after the last tick the run ends and `finish` runs.
struct DialogParts {
  FrameOptions frame;
  void (*open)(HWND dialog, Panel& panel) = nullptr;  // fills the dialog's own controls
  void (*command)(HWND dialog, WPARAM wParam) = nullptr;
  void (*draw)(HWND dialog) = nullptr;  // the drawn table, if the dialog has one
  UINT redrawTimer = 0;
  const SteppedRun* run = nullptr;      // the stepped run, if the dialog has one
  void (*sendStep)(HWND dialog, int step) = nullptr;
  // Rows of a box and its "設定": the frame fills and selects each box before
  // `open`, stores a choice without sending, and sends a row's line with
  // `sendRow` when its button is pressed.
  std::span<const ChoiceRow> rows = {};
  void (*sendRow)(Panel& panel, const BuiltCommand& command) = Send;
  // After each reply was decoded into the dialog's panel: the line as the
  // unit sent it, without its RS-485 address, and that address (empty off RS-485).
  void (*replied)(HWND dialog, std::string_view line, std::string_view address) = nullptr;
  // A dialog whose units' replies its own run decodes (the unit list): each
  // serial line as it came, dispatched by no one else.
  void (*serialLine)(HWND dialog, std::string_view line) = nullptr;
  // The dialog's own messages the frame does not route: its timers other
  // than the run's and the table's, notifications of its controls.
  INT_PTR (*handle)(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) = nullptr;
};

// The body of every setting dialog's procedure.
INT_PTR HandleDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, const DialogParts& parts);

}  // namespace kelvrix::dialogs
