// Dialog 140 "タイトルの設定": the eight-character title of each channel,
// sent one by one or all 16 in one paced run, with all titles drawn.
//
// Titles are bytes in the model and on the wire, text in the edit box: code
// page 932 converts between them, so the half-width "ﾟ" is the unit's byte
// 0xDF, and a character with no single-byte form becomes bytes outside the
// unit's set, refused when sent.
#include <cstring>
#include <string>
#include <string_view>

#include "dialogs/dialog_frame_win.h"
#include "dialogs/setting_dialogs_win.h"
#include "link/send_command.h"
#include "model/all_settings_runs.h"
#include "model/wide_text_win.h"
#include "resources/resource.h"

namespace kelvrix::dialogs {

namespace {

constexpr UINT kTitleCodePage = 932;

// The run paces on timer 4 and ends at once on a refused title; the table's
// deferred redraw has a timer of its own.
constexpr SteppedRun kAllSet = {.timerId = 4, .periodMs = 200, .stepCount = kChannelCount,
                                .percentId = IDC_TITLE_PERCENT, .percentCleared = L"  ",
                                .stepFailureEndsRun = true};
constexpr UINT kRedrawTimer = 104;

// Set while the program itself loads the edit: that filling marks the
// settings changed, as typing does, but stores nothing back, so a title that
// code page 932 cannot carry both ways is never re-encoded.
bool loadingEdit = false;

std::wstring TitleText(std::string_view title) {
  const int length = static_cast<int>(title.size());
  std::wstring text(title.size(), L'\0');
  text.resize(static_cast<std::size_t>(
      MultiByteToWideChar(kTitleCodePage, 0, title.data(), length, text.data(), length)));
  return text;
}

// No best fit: "Á" stays a byte outside the unit's set (refused when sent)
// rather than becoming an "A" that the edit does not show.
std::string TitleBytes(std::wstring_view text) {
  char bytes[64] = {};
  const int size = WideCharToMultiByte(kTitleCodePage, WC_NO_BEST_FIT_CHARS, text.data(),
                                       static_cast<int>(text.size()), bytes, sizeof bytes, nullptr, nullptr);
  return std::string(bytes, static_cast<std::size_t>(size));
}

// The characters of `text`, from the front, whose bytes fit a title whole.
std::size_t FittingLength(std::wstring_view text) {
  std::size_t length = text.size();
  while (length > 0 && ((length < text.size() && IS_LOW_SURROGATE(text[length])) ||
                        TitleBytes(text.substr(0, length)).size() > kTitleLength)) {
    --length;
  }
  return length;
}

// Stores the edit's text as the unit's bytes. What does not fit the title's
// eight bytes is refused as it is typed: the edit is cut back to the
// characters that fit whole, and that change stores them.
void StoreEdit(HWND dialog, ChannelTitle& title) {
  wchar_t buffer[16] = {};
  std::wstring text(buffer, static_cast<std::size_t>(GetDlgItemTextW(dialog, IDC_TITLE_EDIT, buffer, 16)));
  const std::size_t fits = FittingLength(text);
  if (fits < text.size()) {
    MessageBeep(MB_OK);
    text.resize(fits);
    SetDlgItemTextW(dialog, IDC_TITLE_EDIT, text.c_str());
    SendDlgItemMessageW(dialog, IDC_TITLE_EDIT, EM_SETSEL, fits, fits);
    return;
  }
  CopyText(title, TitleBytes(text));
}

void LoadEdit(HWND dialog, const Panel& panel) {
  const ChannelTitle& title = panel.settings.channelTitle[SharedDialogState().Channel()];
  loadingEdit = true;
  SetDlgItemTextW(dialog, IDC_TITLE_EDIT, TitleText({title, strnlen(title, sizeof title)}).c_str());
  loadingEdit = false;
}

// Each title padded over its whole field: a shorter title's blanks wipe what
// a longer one left.
void DrawTable(HWND dialog) {
  const DeviceSettings& settings = PanelOf(dialog).settings;
  std::array<std::string, kChannelCount> titles;
  for (int i = 0; i < kChannelCount; ++i) titles[i] = Utf8FromWide(TitleText(PaddedTitle(settings.channelTitle[i])));
  DrawTexts(dialog, IDC_TITLE_TABLE, ChannelTable(titles, 18));
}

// True when the title was refused; the refusal has been shown.
bool SendTitle(Panel& panel, int channel) {
  const BuiltCommand command = PaddedTitleCommand(panel.settings, channel);
  Send(panel, command);
  return command.refused();
}

void SendStep(HWND dialog, int step) {
  Panel& panel = PanelOf(dialog);
  if (SendTitle(panel, step - 1)) panel.link.replyError = 1;
}

void OnInit(HWND dialog, Panel& panel) {
  DialogState& state = SharedDialogState();
  state.currentChannel = 0;  // always opens on channel 1, which the other picture dialogs then show
  AddEntries(dialog, IDC_CHANNEL, ChannelEntries());
  SendDlgItemMessageW(dialog, IDC_CHANNEL, CB_SETCURSEL, 0, 0);
  SendDlgItemMessageW(dialog, IDC_TITLE_EDIT, EM_LIMITTEXT, kTitleLength, 0);
  LoadEdit(dialog, panel);
  ScheduleRedraw(dialog, kRedrawTimer, 100);
}

void OnCommand(HWND dialog, WPARAM wParam) {
  Panel& panel = PanelOf(dialog);
  DialogState& state = SharedDialogState();
  switch (LOWORD(wParam)) {
    case IDC_CHANNEL:
      if (IsSelectionChange(wParam)) {
        const int selected = SelectedEntry(dialog, IDC_CHANNEL);
        if (selected >= 0) state.currentChannel = selected;
        LoadEdit(dialog, panel);
        DrawTable(dialog);
      }
      break;
    case IDC_TITLE_EDIT:
      if (HIWORD(wParam) != EN_CHANGE) break;
      panel.settings.dataChanged = 1;
      if (loadingEdit) break;
      StoreEdit(dialog, panel.settings.channelTitle[state.Channel()]);
      DrawTable(dialog);
      break;
    case IDC_TITLE_SEND:
      if (panel.link.batchStep == 0) SendTitle(panel, state.Channel());
      break;
    case IDC_TITLE_SEND_ALL:
      StartRun(dialog, kAllSet);
      break;
    default:
      break;
  }
}

}  // namespace

INT_PTR CALLBACK TitleDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr DialogParts kParts = {
      .frame = {.caption = L"タイトルの設定 ", .resetsHiddenClicks = false, .closesOnOk = true,
                .refusesCloseWhileRunning = true},
      .open = OnInit, .command = OnCommand, .draw = DrawTable, .redrawTimer = kRedrawTimer,
      .run = &kAllSet, .sendStep = SendStep};
  return HandleDialogMessage(dialog, message, wParam, lParam, kParts);
}

}  // namespace kelvrix::dialogs
