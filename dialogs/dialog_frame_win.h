// What every setting dialog shares: the panel it works on, the slave address
// box, the caption, socket replies, combo helpers, the deferred drawing of a
// table into a frame control, and the paced "stepped" runs.
//
// A dialog gets its Panel as the init parameter of DialogBoxParam, so tests
// can open it on a panel of their own.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "dialogs/dialog_texts.h"
#include "link/panel.h"

namespace kelvrix::dialogs {

// A socket reply waits in the link's receive buffer.
inline constexpr UINT MsgReplyReceived = WM_USER + 2;

// The selections the dialogs share for the whole run of the program.
DialogState& SharedDialogState();

// The dialog that socket replies go to.
extern HWND replyWindow;

struct FrameOptions {
  const wchar_t* caption;  // e.g. L"アラームの設定 "
  bool withBroadcast = true;
  bool resetsHiddenClicks = true;
};

// The opening steps every setting dialog shares. Returns the dialog's panel.
Panel& OpenFrame(HWND dialog, LPARAM initParam, const FrameOptions& options);
Panel& PanelOf(HWND dialog);

// Combo boxes: entries go in after those already there.
void AddEntries(HWND dialog, int id, const std::vector<std::string>& entries);
void SelectEntry(HWND dialog, int id, int index);
int SelectedEntry(HWND dialog, int id);  // -1 when nothing is selected
inline bool IsSelectionChange(WPARAM wParam) { return HIWORD(wParam) == CBN_SELCHANGE; }

// Drawn tables: a WM_PAINT defers the drawing to a timer, so that the frame's
// own white background is painted first.
void DrawTexts(HWND dialog, int frameId, const std::vector<PlacedText>& texts);
void ScheduleRedraw(HWND dialog, UINT timerId, UINT periodMs);

// A stepped run: one command per tick of its own timer, with a progress bar.
struct SteppedRun {
  UINT timerId;
  UINT periodMs;
  int stepCount;
  int progressId;
};
void InitProgress(HWND dialog, const SteppedRun& run);
// The start button: the socket guard, nothing while any run is under way,
// otherwise Close disabled, step 1 and the timer started.
void StartRun(HWND dialog, const SteppedRun& run);

// What a setting dialog supplies of its own. The frame routes the messages:
// the slave address box, Close (id 2), socket replies and the end of the dialog
// are its; WM_PAINT defers the table's drawing to `redrawTimer`; a tick of the
// run's timer ends the run on an error reply, else sends step `batchStep` and
// moves on, and after the last step the run ends and the bar empties.
struct DialogParts {
  void (*open)(HWND dialog, LPARAM initParam);
  void (*command)(HWND dialog, WPARAM wParam);
  void (*draw)(HWND dialog) = nullptr;  // the drawn table, if the dialog has one
  UINT redrawTimer = 0;
  const SteppedRun* run = nullptr;      // the stepped run, if the dialog has one
  void (*sendStep)(HWND dialog, int step) = nullptr;
};

// The body of every setting dialog's procedure.
INT_PTR HandleDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, const DialogParts& parts);

}  // namespace kelvrix::dialogs
