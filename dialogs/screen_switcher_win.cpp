// Window 164 "画面切替": the 29 screens as owner-drawn buttons, the target,
// the read of titles and layouts, a status line. What a tile shows, where it
// sits, the line it sends, the wait for answers and what the keyboard's
// digits name are the portable ScreenSwitcher's, TileGrid's and
// ChannelTyping's; this draws them at the window's DPI and feeds the
// switcher the link's lines, the units' bytes and the time. No box opens:
// what each switch did is in the status line and on its tile.
#include "dialogs/screen_switcher_win.h"

#include <commctrl.h>

#include <optional>
#include <string>
#include <vector>

#include "dialogs/maintenance_tool_win.h"
#include "link/config_file_win.h"
#include "model/wide_text_win.h"
#include "model/window_place.h"
#include "resources/resource.h"
#include "tools/screen_switcher.h"

namespace kelvrix::dialogs {

namespace {

using Millis = ScreenSwitcher::Millis;
Millis Now() { return Millis(GetTickCount64()); }

constexpr UINT kRunTimer = 1;     // the switch's or the read's next deadline
constexpr UINT kWatchTimer = 2;   // the settings held and the connections: what to draw again
constexpr UINT kTypingTimer = 3;  // the moment a second digit may come in
constexpr UINT kWatchPeriodMs = 500;
constexpr UINT kTypingMs = 1000;
constexpr UINT MsgClosed = WM_APP + 1;  // Close came and the answers are in: the window goes, outside any event
constexpr int kTileCount = kAutoSequence + 1;
constexpr const wchar_t* kKeysHelp =
    L"クリック・Enter・Space: 切替　矢印: 移動\r\n数字: チャンネル（1 と 2 で ch.12）\r\n"
    L"右クリック・Shift+F10: 電源投入時の画面にする";

// The units' bytes, comings and goings to the switcher; the window shows what changed.
struct WindowTap : UnitTap {
  void Received(SocketHandle socket, std::string_view bytes) override;
  void Arrived() override;
  void Connected(SocketHandle) override {}
  void Gone(SocketHandle socket) override;
};

struct SwitcherWindow {
  SwitcherWindow(HWND window, Panel& panel)
      : window(window), panel(panel), switcher(panel.link, panel.transport, panel.settings, Now) {}
  ~SwitcherWindow() {
    for (HFONT font : {large, small, tiny}) DeleteObject(font);
  }
  HWND window;
  Panel& panel;
  ScreenSwitcher switcher;
  WindowTap tap;
  std::vector<ScreenTile> tiles;  // as drawn
  std::vector<ScreenSwitcher::Target> targets;
  std::vector<std::string> targetTexts;
  TileGrid grid;
  HFONT large = nullptr, small = nullptr, tiny = nullptr;
  ChannelTyping typing;
  // What the window shows now, so that an event redraws only what changed.
  int lastShown = -1, failedShown = -1, powerOnShown = -1;
  std::string status;
  std::optional<Millis> timerDue;
  bool closing = false;  // Close came while answers were awaited: the window goes when they are in
};
std::optional<SwitcherWindow> current;

HWND Item(int id) { return GetDlgItem(current->window, id); }
HWND Tile(int screen) { return Item(IDC_SWITCH_TILE + screen); }
int Scaled(int pixels) { return MulDiv(pixels, static_cast<int>(GetDpiForWindow(current->window)), 96); }

std::wstring PlacePath() {
  const std::wstring personal = PersonalConfigPath();
  if (personal.empty()) return {};
  return personal.substr(0, personal.find_last_of(L'\\')) + L"\\screen_switcher.ini";
}

// The place in screen pixels, the size at 96 DPI: the window keeps its size
// on a screen of another DPI.
void RestorePlace() {
  wchar_t text[64] = {};
  const std::wstring path = PlacePath();
  if (path.empty()) return;
  GetPrivateProfileStringW(L"ScreenSwitcher", L"Place", L"", text, 64, path.c_str());
  const auto place = ParseWindowPlace(Utf8FromWide(text));
  if (!place) return;
  const RECT rect{place->left, place->top, place->left + Scaled(place->width), place->top + Scaled(place->height)};
  if (!MonitorFromRect(&rect, MONITOR_DEFAULTTONULL)) return;  // a screen since unplugged
  SetWindowPos(current->window, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void KeepPlace() {
  RECT rect;
  const std::wstring path = PlacePath();
  if (path.empty() || IsIconic(current->window) || IsZoomed(current->window) || !GetWindowRect(current->window, &rect)) return;
  CreateDirectoryW(path.substr(0, path.find_last_of(L'\\')).c_str(), nullptr);
  const int dpi = static_cast<int>(GetDpiForWindow(current->window));
  const std::string text = WindowPlaceText(
      {rect.left, rect.top, MulDiv(rect.right - rect.left, 96, dpi), MulDiv(rect.bottom - rect.top, 96, dpi)});
  WritePrivateProfileStringW(L"ScreenSwitcher", L"Place", WideFromUtf8(text).c_str(), path.c_str());
}

// The tiles' fonts: the dialog's face, at sizes for the window's DPI.
void MakeFonts() {
  SwitcherWindow& w = *current;
  LOGFONTW face{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(w.window, WM_GETFONT, 0, 0)), sizeof face, &face);
  const int dpi = static_cast<int>(GetDpiForWindow(w.window));
  auto make = [&](int points, int weight) {
    face.lfHeight = -MulDiv(points, dpi, 72);
    face.lfWeight = weight;
    face.lfQuality = CLEARTYPE_QUALITY;
    return CreateFontIndirectW(&face);
  };
  for (HFONT font : {w.large, w.small, w.tiny}) DeleteObject(font);
  w.large = make(12, FW_BOLD);
  w.small = make(9, FW_NORMAL);
  w.tiny = make(7, FW_NORMAL);
}

// The tiles take the room between the target row and the status line, which
// keeps to the bottom edge with Close.
void Layout() {
  HWND dialog = current->window;
  RECT client;
  GetClientRect(dialog, &client);
  RECT units{8, 28, 4, 24};  // dialog units: the edge, the tiles' top, the gap, the room below them
  MapDialogRect(dialog, &units);
  RECT close;
  GetWindowRect(Item(IDC_CLOSE), &close);
  const int closeHeight = close.bottom - close.top, closeWidth = close.right - close.left;
  const int bottom = client.bottom - units.left;
  SetWindowPos(Item(IDC_CLOSE), nullptr, client.right - units.left - closeWidth, bottom - closeHeight, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER);
  RECT status;
  GetWindowRect(Item(IDC_SWITCH_STATUS), &status);
  SetWindowPos(Item(IDC_SWITCH_STATUS), nullptr, units.left, bottom - closeHeight / 2 - (status.bottom - status.top) / 2,
               std::max<int>(0, client.right - 3 * units.left - closeWidth), status.bottom - status.top, SWP_NOZORDER);
  const int width = client.right - 2 * units.left + 2 * units.right;
  const int height = bottom - closeHeight - units.top;
  current->grid = LayTiles(width, height, units.right);
  HDWP moves = BeginDeferWindowPos(kTileCount);
  for (int screen = 0; screen < kTileCount && moves; ++screen) {
    const TileGrid::Place& place = current->grid.tiles[screen];
    moves = DeferWindowPos(moves, Tile(screen), nullptr, units.left - units.right + place.left, units.top + place.top,
                           place.width, place.height, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (moves) EndDeferWindowPos(moves);
  InvalidateRect(dialog, nullptr, TRUE);
}

void KeepMinimumSize(MINMAXINFO& limits) {
  RECT smallest{0, 0, 240, 180};
  MapDialogRect(current->window, &smallest);
  limits.ptMinTrackSize = {smallest.right, smallest.bottom};
}

ScreenSwitcher::Target ChosenTarget() {
  const int chosen = static_cast<int>(SendMessageW(Item(IDC_SWITCH_TARGET), CB_GETCURSEL, 0, 0));
  const auto& targets = current->targets;
  return chosen >= 0 && chosen < static_cast<int>(targets.size()) ? targets[chosen] : ScreenSwitcher::Target::Chosen;
}

// The targets this link offers now; the one chosen stays chosen while it is offered.
void ShowTargets() {
  SwitcherWindow& w = *current;
  std::vector<std::string> texts;
  const auto targets = w.switcher.Targets();
  for (const auto target : targets) texts.push_back(w.switcher.TargetText(target));
  if (targets == w.targets && texts == w.targetTexts) return;
  const ScreenSwitcher::Target before = ChosenTarget();
  SendMessageW(Item(IDC_SWITCH_TARGET), CB_RESETCONTENT, 0, 0);
  int select = 0;
  for (std::size_t i = 0; i < targets.size(); ++i) {
    SendMessageW(Item(IDC_SWITCH_TARGET), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideFromUtf8(texts[i]).c_str()));
    if (before == targets[i]) select = static_cast<int>(i);
  }
  SendMessageW(Item(IDC_SWITCH_TARGET), CB_SETCURSEL, select, 0);
  w.targets = targets;
  w.targetTexts = std::move(texts);
}

// What a screen reader says of a tile: its contents, then its marks.
std::string Spoken(int screen) {
  const SwitcherWindow& w = *current;
  std::string text = w.tiles[screen].spoken;
  if (screen == w.switcher.LastTile()) text += "（表示中）";
  if (screen == w.panel.settings.powerOnScreen) text += "（電源投入時の画面）";
  if (screen == w.switcher.FailedTile()) text += "（失敗）";
  return text;
}

void Redraw(int screen) {
  if (screen < 0 || screen >= kTileCount) return;
  SetWindowTextW(Tile(screen), WideFromUtf8(Spoken(screen)).c_str());
  InvalidateRect(Tile(screen), nullptr, FALSE);
}

// The tiles follow the settings held: a title or layout changed in its
// dialog, a file opened, a read. Only the tiles that changed are drawn again.
void Watch() {
  SwitcherWindow& w = *current;
  std::vector<ScreenTile> tiles = ScreenTiles(w.panel.settings);
  std::swap(w.tiles, tiles);
  for (int screen = 0; screen < kTileCount; ++screen) {
    if (tiles.empty() || tiles[screen] != w.tiles[screen]) Redraw(screen);
  }
  ShowTargets();
}

// The status, the marks and the progress as the switcher has them, and the
// timer for what is due next.
void Show() {
  SwitcherWindow& w = *current;
  ScreenSwitcher& switcher = w.switcher;
  if (switcher.Status() != w.status) SetItemText(w.window, IDC_SWITCH_STATUS, w.status = switcher.Status());
  for (auto [shown, now] : {std::pair{&w.lastShown, switcher.LastTile()}, std::pair{&w.failedShown, switcher.FailedTile()},
                            std::pair{&w.powerOnShown, static_cast<int>(w.panel.settings.powerOnScreen)}}) {
    if (*shown == now) continue;
    Redraw(*shown);
    Redraw(*shown = now);
  }
  const auto [done, total] = switcher.Progress();
  SendDlgItemMessageW(w.window, IDC_SWITCH_PROGRESS, PBM_SETRANGE32, 0, std::max(1, total));
  SendDlgItemMessageW(w.window, IDC_SWITCH_PROGRESS, PBM_SETPOS, switcher.Busy() ? done : 0, 0);
  EnableWindow(Item(IDC_SWITCH_READ), !switcher.Busy());
  if (switcher.TakeRead()) Watch();
  if (!switcher.Busy() && w.closing) PostMessageW(w.window, MsgClosed, 0, 0);
  const auto due = switcher.NextWake();
  if (due && (!w.timerDue || *due < *w.timerDue)) {
    w.timerDue = due;
    SetTimer(w.window, kRunTimer, static_cast<UINT>(std::max<Millis::rep>(USER_TIMER_MINIMUM, (*due - Now()).count() + 1)), nullptr);
  }
}

void WindowTap::Received(SocketHandle socket, std::string_view bytes) {
  current->switcher.Received(socket, bytes);
  Show();
}

void WindowTap::Arrived() { ShowTargets(); }

void WindowTap::Gone(SocketHandle socket) {
  current->switcher.Gone(socket);
  ShowTargets();
  Show();
}

void SwitchTo(int screen, bool powerOn = false) {
  current->switcher.Switch(ChosenTarget(), screen, powerOn);
  Show();
}

// --- The tiles --------------------------------------------------------------

void PutText(HDC dc, HFONT font, const std::string& text, RECT box, UINT format) {
  SelectObject(dc, font);
  const std::wstring wide = WideFromUtf8(text);
  DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &box, format | DT_NOPREFIX | DT_END_ELLIPSIS);
}

int LineHeight(HDC dc, HFONT font) {
  SelectObject(dc, font);
  TEXTMETRICW metrics;
  GetTextMetricsW(dc, &metrics);
  return metrics.tmHeight;
}

// A layout's picture: each pane at its place with its channel's number and,
// where there is room, its title.
void DrawLayout(HDC dc, const ScreenTile& tile, RECT box) {
  const int width = box.right - box.left, height = box.bottom - box.top;
  const int pictureWidth = std::min(width, height * 4 / 3), pictureHeight = pictureWidth * 3 / 4;
  const int left = box.left + (width - pictureWidth) / 2, top = box.top + (height - pictureHeight) / 2;
  HBRUSH pane = CreateSolidBrush(RGB(52, 60, 72));
  HBRUSH edge = CreateSolidBrush(RGB(200, 205, 212));
  const int line = LineHeight(dc, current->tiny);
  SetTextColor(dc, RGB(255, 255, 255));
  for (const ScreenTile::Pane& p : tile.panes) {
    RECT cell{left + p.place.column * pictureWidth / tile.columns, top + p.place.row * pictureHeight / tile.rows,
              left + (p.place.column + p.place.columns) * pictureWidth / tile.columns,
              top + (p.place.row + p.place.rows) * pictureHeight / tile.rows};
    FillRect(dc, &cell, pane);
    FrameRect(dc, &cell, edge);
    InflateRect(&cell, -1, -1);
    const bool titled = cell.bottom - cell.top >= 2 * line;
    RECT number = cell;
    if (titled) number.bottom = cell.top + (cell.bottom - cell.top) / 2;
    PutText(dc, current->tiny, std::to_string(p.channel + 1), number, DT_CENTER | DT_SINGLELINE | (titled ? DT_BOTTOM : DT_VCENTER));
    if (titled) PutText(dc, current->tiny, p.title, {cell.left, number.bottom, cell.right, cell.bottom}, DT_CENTER | DT_SINGLELINE | DT_TOP);
  }
  DeleteObject(pane);
  DeleteObject(edge);
}

void DrawTile(const DRAWITEMSTRUCT& item) {
  const SwitcherWindow& w = *current;
  const int screen = static_cast<int>(item.CtlID) - IDC_SWITCH_TILE;
  if (screen < 0 || screen >= static_cast<int>(w.tiles.size())) return;
  const ScreenTile& tile = w.tiles[screen];
  const bool failed = screen == w.switcher.FailedTile(), shown = screen == w.switcher.LastTile();
  const bool pressed = item.itemState & ODS_SELECTED;
  HDC dc = item.hDC;
  RECT box = item.rcItem;
  const COLORREF face = pressed ? RGB(204, 218, 238) : failed ? RGB(255, 226, 226) : shown ? RGB(221, 235, 255) : RGB(250, 250, 250);
  const COLORREF rim = failed ? RGB(200, 0, 0) : shown ? RGB(0, 90, 200) : RGB(160, 160, 160);
  HBRUSH faceBrush = CreateSolidBrush(face), rimBrush = CreateSolidBrush(rim);
  FillRect(dc, &box, faceBrush);
  for (int ring = 0; ring < Scaled(failed || shown ? 3 : 1); ++ring) {
    FrameRect(dc, &box, rimBrush);
    InflateRect(&box, -1, -1);
  }
  DeleteObject(faceBrush);
  DeleteObject(rimBrush);
  if (screen == w.panel.settings.powerOnScreen) {  // a green corner: the screen after power-on
    const int size = Scaled(14);
    const POINT corner[] = {{box.right - size, box.top}, {box.right, box.top}, {box.right, box.top + size}};
    HBRUSH green = CreateSolidBrush(RGB(0, 150, 60));
    HGDIOBJ before = SelectObject(dc, green);
    SelectObject(dc, GetStockObject(NULL_PEN));
    Polygon(dc, corner, 3);
    SelectObject(dc, before);
    DeleteObject(green);
  }
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, failed ? RGB(170, 0, 0) : RGB(20, 20, 20));
  InflateRect(&box, -Scaled(3), -Scaled(2));
  if (!tile.panes.empty()) {
    const int captionHeight = LineHeight(dc, w.small);
    PutText(dc, w.small, tile.caption, {box.left, box.top, box.right, box.top + captionHeight}, DT_CENTER | DT_SINGLELINE);
    DrawLayout(dc, tile, {box.left, box.top + captionHeight + Scaled(2), box.right, box.bottom});
  } else {
    const int middle = box.top + (box.bottom - box.top) * 11 / 20;
    PutText(dc, w.large, tile.caption, {box.left, box.top, box.right, middle}, DT_CENTER | DT_SINGLELINE | DT_BOTTOM);
    PutText(dc, w.small, tile.detail, {box.left, middle + Scaled(2), box.right, box.bottom}, DT_CENTER | DT_SINGLELINE | DT_TOP);
  }
  if (item.itemState & ODS_FOCUS) {
    RECT focus = item.rcItem;
    InflateRect(&focus, -Scaled(5), -Scaled(5));
    DrawFocusRect(dc, &focus);
  }
}

void Typed(int digit) {
  if (const auto channel = current->typing.Digit(digit)) {
    KillTimer(current->window, kTypingTimer);
    SetFocus(Tile(*channel));
    return SwitchTo(*channel);
  }
  SetTimer(current->window, kTypingTimer, kTypingMs, nullptr);
}

// Each tile: the arrows move between tiles as they sit, Enter switches as
// Space does, digits name a channel. Tab comes to the tiles at the one
// last focused, as to a group of option buttons, not 29 times.
LRESULT CALLBACK TileProc(HWND tile, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
  const int screen = GetDlgCtrlID(tile) - IDC_SWITCH_TILE;
  switch (message) {
    case WM_GETDLGCODE: {
      LRESULT code = DefSubclassProc(tile, message, wParam, lParam) | DLGC_WANTARROWS | DLGC_WANTCHARS;
      const auto* key = reinterpret_cast<const MSG*>(lParam);
      if (key && key->message == WM_KEYDOWN && key->wParam == VK_RETURN) code |= DLGC_WANTMESSAGE;
      return code;
    }
    case WM_KEYDOWN: {
      const int across = wParam == VK_LEFT ? -1 : wParam == VK_RIGHT ? 1 : 0;
      const int down = wParam == VK_UP ? -1 : wParam == VK_DOWN ? 1 : 0;
      if (across != 0 || down != 0) {
        SetFocus(Tile(current->grid.Neighbour(screen, across, down)));
        return 0;
      }
      if (wParam == VK_RETURN) {
        SwitchTo(screen);
        return 0;
      }
      break;
    }
    case WM_SETFOCUS:
      for (int other = 0; other < kTileCount; ++other) {
        const LONG_PTR style = GetWindowLongPtrW(Tile(other), GWL_STYLE);
        SetWindowLongPtrW(Tile(other), GWL_STYLE, other == screen ? style | WS_TABSTOP : style & ~WS_TABSTOP);
      }
      break;
    case WM_CHAR:
      if (wParam >= L'0' && wParam <= L'9') {
        Typed(static_cast<int>(wParam - L'0'));
        return 0;
      }
      if (wParam == L'\r') return 0;
      break;
    default:
      break;
  }
  return DefSubclassProc(tile, message, wParam, lParam);
}

void MakeTiles(HWND dialog) {
  HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(dialog, GWLP_HINSTANCE));
  HWND tips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0, 0, 0,
                              dialog, nullptr, instance, nullptr);
  SendMessageW(tips, TTM_SETMAXTIPWIDTH, 0, Scaled(420));
  HWND after = Item(IDC_SWITCH_READ);  // in the tab order after the target and the read
  for (int screen = 0; screen < kTileCount; ++screen) {
    HWND tile = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW | (screen == 0 ? WS_GROUP | WS_TABSTOP : 0),
                                0, 0, 0, 0, dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_SWITCH_TILE + screen)),
                                instance, nullptr);
    SetWindowPos(tile, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    after = tile;
    SetWindowSubclass(tile, TileProc, 0, 0);
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = dialog;
    tool.uId = reinterpret_cast<UINT_PTR>(tile);
    tool.lpszText = LPSTR_TEXTCALLBACKW;
    SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  SetWindowLongPtrW(Item(IDC_SWITCH_STATUS), GWL_STYLE, GetWindowLongPtrW(Item(IDC_SWITCH_STATUS), GWL_STYLE) | WS_GROUP);
}

// A tile's tool tip: what it shows, its marks, and the keys.
void GiveTip(NMTTDISPINFOW& info) {
  static std::wstring text;
  const int screen = GetDlgCtrlID(reinterpret_cast<HWND>(info.hdr.idFrom)) - IDC_SWITCH_TILE;
  if (screen < 0 || screen >= static_cast<int>(current->tiles.size())) return;
  text = WideFromUtf8(Spoken(screen)) + L"\r\n" + kKeysHelp;
  info.lpszText = text.data();
}

void AskPowerOn(HWND tile, LPARAM at) {
  const int screen = GetDlgCtrlID(tile) - IDC_SWITCH_TILE;
  if (screen < 0 || screen >= kTileCount) return;
  POINT point{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
  if (at == -1) {  // from the keyboard: under the tile
    RECT place;
    GetWindowRect(tile, &place);
    point = {place.left + (place.right - place.left) / 2, place.top + (place.bottom - place.top) / 2};
  }
  HMENU menu = CreatePopupMenu();
  AppendMenuW(menu, MF_STRING, IDC_SWITCH_POWER_ON, L"電源投入時の画面にする");
  const int chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, point.x, point.y, 0, current->window, nullptr);
  DestroyMenu(menu);
  if (chosen == IDC_SWITCH_POWER_ON) SwitchTo(screen, true);
}

void OnInit(HWND dialog, Panel& panel) {
  current.emplace(dialog, panel);
  MakeFonts();
  MakeTiles(dialog);
  Watch();
  RestorePlace();
  Layout();
  panel.transport.TapUnits(&current->tap);
  SetTimer(dialog, kWatchTimer, kWatchPeriodMs, nullptr);
  Show();
}

void OnTimer(WPARAM timer) {
  SwitcherWindow& w = *current;
  if (timer == kWatchTimer) return Watch();
  KillTimer(w.window, timer);
  if (timer == kTypingTimer) {
    if (const auto channel = w.typing.TimedOut()) {
      SetFocus(Tile(*channel));
      SwitchTo(*channel);
    }
    return;
  }
  w.timerDue.reset();
  w.switcher.Tick();
  Show();
}

void OnCommand(WPARAM wParam) {
  const int id = LOWORD(wParam);
  if (id >= IDC_SWITCH_TILE && id < IDC_SWITCH_TILE + kTileCount) {
    if (HIWORD(wParam) == BN_CLICKED) SwitchTo(id - IDC_SWITCH_TILE);
    return;
  }
  switch (id) {
    case IDC_SWITCH_READ:
      current->switcher.ReadTitlesAndLayouts();
      return Show();
    case IDC_CLOSE:  // Esc and the frame's close box too
      current->closing = true;
      ShowWindow(current->window, SW_HIDE);
      return Show();
    default:
      return;
  }
}

INT_PTR CALLBACK SwitcherProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    OnInit(dialog, *reinterpret_cast<Panel*>(lParam));
    SetFocus(Tile(0));  // the arrows and digits work at once
    return FALSE;
  }
  if (!current || current->window != dialog) return FALSE;
  switch (message) {
    case WM_DRAWITEM:
      DrawTile(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_COMMAND:
      OnCommand(wParam);
      return TRUE;
    case WM_TIMER:
      OnTimer(wParam);
      return TRUE;
    case WM_CONTEXTMENU:
      AskPowerOn(reinterpret_cast<HWND>(wParam), lParam);
      return TRUE;
    case WM_NOTIFY:
      if (reinterpret_cast<NMHDR*>(lParam)->code != TTN_GETDISPINFOW) return FALSE;
      GiveTip(*reinterpret_cast<NMTTDISPINFOW*>(lParam));
      return TRUE;
    case WM_SIZE:
      Layout();
      return TRUE;
    case WM_GETMINMAXINFO:
      KeepMinimumSize(*reinterpret_cast<MINMAXINFO*>(lParam));
      return TRUE;
    case WM_DPICHANGED: {
      const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
      MakeFonts();
      SetWindowPos(dialog, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
      return TRUE;
    }
    case MsgClosed:
      if (current->closing && !current->switcher.Busy()) DestroyWindow(dialog);
      return TRUE;
    case WM_EXITSIZEMOVE:
      KeepPlace();
      return TRUE;
    case WM_DESTROY:
      KeepPlace();
      current->panel.transport.UntapUnits(&current->tap);
      current.reset();
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

void OpenScreenSwitcher(HINSTANCE instance, HWND owner, Panel& panel) {
  if (!current) {
    CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_SWITCHER), owner, SwitcherProc, reinterpret_cast<LPARAM>(&panel));
  }
  if (!current) return;
  current->closing = false;
  ShowWindow(current->window, SW_SHOWNORMAL);
  SetForegroundWindow(current->window);
}

HWND ScreenSwitcherWindow() { return current ? current->window : nullptr; }

bool SwitcherTakesLine(std::string_view line) {
  if (!current || !current->switcher.Busy() || current->panel.link.linkInterface != kSerialInterface) return false;
  current->switcher.LineReceived(line);
  Show();
  return true;
}

}  // namespace kelvrix::dialogs
