#include "app/main_window_win.h"

#include <commctrl.h>

#include <array>
#include <string>

#include "app/app_state_win.h"
#include "app/main_window_logic.h"
#include "app/settings_file_win.h"
#include "dialogs/dialog_frame_win.h"
#include "dialogs/link_dialogs_win.h"
#include "dialogs/screen_switcher_win.h"
#include "dialogs/setting_dialogs_win.h"
#include "dialogs/traffic_monitor_win.h"
#include "link/reply_dispatcher.h"
#include "link/send_command.h"
#include "model/wide_text_win.h"
#include "resources/resource.h"

namespace kelvrix::app {

namespace {

int Scaled(HWND window, int pixels) { return MulDiv(pixels, static_cast<int>(GetDpiForWindow(window)), 96); }

HWND CreateStatusBar(HWND parent, HINSTANCE instance) {
  InitCommonControls();
  HWND bar = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | CCS_BOTTOM, 0, 0, 0, 0, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_STATUS_BAR)), instance, nullptr);
  int edges[2] = {Scaled(parent, 500), Scaled(parent, 700)};
  SendMessageW(bar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(edges));
  return bar;
}

HWND CreateToolBar(HWND parent, HINSTANCE instance) {
  InitCommonControls();
  std::array<TBBUTTON, TOOL_BUTTON_COUNT> buttons{};
  for (int i = 0; i < TOOL_BUTTON_COUNT; ++i) {
    buttons[i].iBitmap = i;
    buttons[i].idCommand = IDT_DATE_TIME + i;
    buttons[i].fsState = TBSTATE_ENABLED;
    buttons[i].fsStyle = TBSTYLE_BUTTON;
  }
  return CreateToolbarEx(parent, WS_CHILD | WS_VISIBLE | TBSTYLE_TOOLTIPS, IDC_TOOL_BAR, TOOL_BUTTON_COUNT,
                         instance, IDB_TOOLBAR, buttons.data(), TOOL_BUTTON_COUNT, 0, 0, 39, 24,
                         sizeof(TBBUTTON));
}

void SetStatusText(int part, UINT border, const std::string& text) {
  SendMessageW(statusBar, SB_SETTEXTW, static_cast<WPARAM>(part | border),
               reinterpret_cast<LPARAM>(WideFromUtf8(text).c_str()));
}

void UpdateClock() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  SetStatusText(0, 0, StatusBarDate(now.wYear, now.wMonth, now.wDay, now.wDayOfWeek));
  SetStatusText(1, SBT_POPOUT, StatusBarTime(now.wHour, now.wMinute, now.wSecond));
}

// The serial reply time-out and the deferred "Success" of a serial "GO".
// A box shown here runs its own message loop, in which this timer goes on
// ticking; the box gate folds a success that comes meanwhile into the one on
// screen, so a unit sending "GO" on its own costs one box.
void TimerTick() {
  TickReplyTimeout(panel);
  if (linkState.successPending.exchange(0) == 1) messages.ShowSuccess("Success");
}

// Lines the reader has queued, dispatched in order, into the program's
// settings unless the open dialog decodes into its own. A box raised by one
// line runs its own message loop, in which later lines are dispatched too:
// their reports wait for it, or fold into it when they are the same.
void DispatchQueuedLines() {
  while (auto line = serialLink.TakeLine()) {
    traffic.Received(SerialLinkName(linkState, line->bytes), line->bytes, line->millisOfDay);
    if (dialogs::SwitcherTakesLine(line->bytes) || dialogs::TakeSerialReply(line->bytes)) continue;
    DispatchSerialReply(panel, line->bytes);
  }
}

void UpdateMenu(HWND window) {
  HMENU menu = GetMenu(window);
  for (const MenuItemState& item : MenuEnabling(linkState)) {
    EnableMenuItem(menu, item.command, MF_BYCOMMAND | (item.enabled ? MF_ENABLED : MF_GRAYED));
  }
  InvalidateRect(window, nullptr, TRUE);
}

LRESULT ToolTipRequest(NMHDR* header) {
  if (header->code != TTN_GETDISPINFOW) return 0;
  static std::array<std::wstring, TOOL_BUTTON_COUNT> texts = [] {
    std::array<std::wstring, TOOL_BUTTON_COUNT> wide;
    for (int i = 0; i < TOOL_BUTTON_COUNT; ++i) wide[i] = WideFromUtf8(ToolTipText(IDT_DATE_TIME + i));
    return wide;
  }();
  auto* info = reinterpret_cast<NMTTDISPINFOW*>(header);
  info->hinst = instance;
  const int index = static_cast<int>(header->idFrom) - IDT_DATE_TIME;
  if (header->idFrom != 0 && index >= 0 && index < TOOL_BUTTON_COUNT) info->lpszText = texts[index].data();
  return 0;
}

// Answering "No" to the question means "save first"; the program ends once
// the save is done, and stays open when it was cancelled or failed, so that
// the changes are not lost.
bool ConfirmExit(HWND window) {
  if (deviceSettings.dataChanged == 0) return true;
  if (MessageBoxW(nullptr, L"データを保存せずに終了しますか？", L"Kelvrix", MB_ICONQUESTION | MB_YESNO) != IDNO) return true;
  return deviceSettings.currentFileName.empty() ? SaveSettingsAs(window) : SaveSettings();
}

// Menu and tool bar commands that open a setting dialog.
struct DialogRoute {
  int menuCommand;
  int toolCommand;
  int templateId;
  DLGPROC procedure;
};
constexpr DialogRoute kDialogRoutes[] = {
    {IDM_DATE_TIME, IDT_DATE_TIME, IDD_DATE_TIME, dialogs::DateTimeDialogProc},
    {IDM_TITLE_DISPLAY, IDT_TITLE_DISPLAY, IDD_TITLE_DISPLAY, dialogs::TitleDisplayDialogProc},
    {IDM_ASPECT_RATIO, IDT_ASPECT_RATIO, IDD_ASPECT_RATIO, dialogs::AspectRatioDialogProc},
    {IDM_SCREEN, IDT_SCREEN, IDD_SCREEN, dialogs::ScreenDialogProc},
    {IDM_OTHER, IDT_OTHER, IDD_OTHER, dialogs::OtherSettingsDialogProc},
    {IDM_SLAVE_ADDRESS, 0, IDD_SLAVE_ADDRESS, dialogs::SlaveAddressDialogProc},
    {IDM_ABOUT, 0, IDD_ABOUT, dialogs::AboutDialogProc},
    {IDM_AUTO_SEQUENCE, IDT_AUTO_SEQUENCE, IDD_AUTO_SEQUENCE, dialogs::AutoSequenceDialogProc},
    {IDM_ALARM, IDT_ALARM, IDD_ALARM, dialogs::AlarmDialogProc},
    {IDM_VIDEO_ADJUST, IDT_VIDEO_ADJUST, IDD_VIDEO_ADJUST, dialogs::VideoAdjustDialogProc},
    {IDM_DIVISION_LAYOUT, IDT_DIVISION_LAYOUT, IDD_DIVISION_LAYOUT, dialogs::DivisionLayoutDialogProc},
    {IDM_TITLE, IDT_TITLE, IDD_TITLE, dialogs::TitleDialogProc},
    {IDM_VIDEO_LOSS, IDT_VIDEO_LOSS, IDD_VIDEO_LOSS, dialogs::VideoLossDialogProc},
    {IDM_ALARM_HISTORY, IDT_ALARM_HISTORY, IDD_ALARM_HISTORY, dialogs::AlarmHistoryDialogProc},
    {IDM_VIDEO_LOSS_HISTORY, IDT_VIDEO_LOSS_HISTORY, IDD_VIDEO_LOSS_HISTORY, dialogs::VideoLossHistoryDialogProc},
    {IDM_WRITE_ALL, 0, IDD_WRITE_ALL, dialogs::WriteAllDialogProc},
    {IDM_READ_ALL, 0, IDD_READ_ALL, dialogs::ReadAllDialogProc},
    {IDM_COMPARE, 0, IDD_COMPARE, dialogs::CompareDialogProc},
    {IDM_BUS_SCAN, 0, IDD_BUS_SCAN, dialogs::BusScanDialogProc},
    {IDM_UNIT_LIST, 0, IDD_UNIT_LIST, dialogs::UnitListDialogProc},
};

void OpenDialog(HWND window, const DialogRoute& route) {
  DialogBoxParamW(instance, MAKEINTRESOURCEW(route.templateId), window, route.procedure,
                  reinterpret_cast<LPARAM>(&panel));
}

void OpenLinkDialog(HWND window, int templateId, DLGPROC procedure) {
  static dialogs::LinkDialogContext context{panel, Configuration(), socketLink, winSock};
  DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), window, procedure, reinterpret_cast<LPARAM>(&context));
}

void OnCommand(HWND window, int command) {
  for (const DialogRoute& route : kDialogRoutes) {
    if (command == route.menuCommand || (route.toolCommand != 0 && command == route.toolCommand)) {
      OpenDialog(window, route);
      return;
    }
  }
  switch (command) {
    case IDM_FILE_NEW:
      NewSettings();
      break;
    case IDM_FILE_OPEN:
      OpenSettings(window);
      break;
    case IDM_FILE_SAVE:
      SaveSettings();
      break;
    case IDM_FILE_SAVE_AS:
      SaveSettingsAs(window);
      break;
    case IDM_SETTINGS_REPORT:
      WriteSettingsReport(window);
      break;
    case IDM_EXIT:
      RequestExit(window);
      break;
    case IDM_INTERFACE:
      OpenLinkDialog(window, IDD_INTERFACE, dialogs::InterfaceDialogProc);
      break;
    case IDM_SERIAL:
      OpenLinkDialog(window, IDD_SERIAL, dialogs::SerialDialogProc);
      break;
    case IDM_CLIENT_SERVER:
      OpenLinkDialog(window, IDD_CLIENT_SERVER, dialogs::ClientServerDialogProc);
      ShowCurrentFileName();  // the caption names the role
      break;
    case IDM_TCPIP:
      if (linkState.clientServerMode == 1) {
        OpenLinkDialog(window, IDD_TCP_SERVER, dialogs::TcpServerDialogProc);
      } else {
        OpenLinkDialog(window, IDD_TCP_CLIENT, dialogs::TcpClientDialogProc);
      }
      break;
    case IDM_TRAFFIC_MONITOR: {
      static dialogs::TrafficMonitorContext context{traffic, linkState, [] {
        return LinkStatus{serialLink.IsOpen(), deviceSettings.portNumber, traffic.SinceLastReply()};
      }, messages};
      dialogs::OpenTrafficMonitor(instance, window, context);
      break;
    }
    case IDM_SWITCHER:
      dialogs::OpenScreenSwitcher(instance, window, panel);
      break;
    case IDM_PROTOCOL:  // the unit's network settings travel on the serial line only
      if (linkState.linkInterface == kSocketInterface) {
        messages.ShowError("インターフェースをRS-232Cにしてください。");
      } else {
        OpenDialog(window, {IDM_PROTOCOL, 0, IDD_NETWORK, dialogs::NetworkDialogProc});
      }
      break;
    default:
      break;  // any other command does nothing
  }
}

}  // namespace

bool RegisterMainClass(HINSTANCE instance) {
  // The common controls the windows and dialogs use, the IPv4 address field among them.
  const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES | ICC_INTERNET_CLASSES};
  InitCommonControlsEx(&classes);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, L"MYICON");
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszMenuName = L"IDM_MENU";
  windowClass.lpszClassName = kMainClassName;
  return RegisterClassExW(&windowClass) != 0;
}

HWND CreateMainWindow(HINSTANCE instance) {
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExW(&version);
  const std::wstring caption =
      WideFromUtf8(MainWindowTitle(linkState.clientServerMode, deviceSettings.currentFileName));
  HWND window = CreateWindowExW(0, kMainClassName, caption.c_str(),
                                WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX, 0, 0, kMainWindowWidth,
                                MainWindowHeight(version.dwMajorVersion, version.dwMinorVersion), nullptr,
                                nullptr, instance, nullptr);
  if (!window) return nullptr;
  // Sizes are given at 96 DPI; keep them readable above it. The status bar
  // placed itself in the window as first made, and is not resized on later
  // changes of size: place it once more in the scaled window.
  RECT frame;
  GetWindowRect(window, &frame);
  SetWindowPos(window, nullptr, 0, 0, Scaled(window, frame.right - frame.left),
               Scaled(window, frame.bottom - frame.top), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  SendMessageW(statusBar, WM_SIZE, 0, 0);
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);

  // Of the system menu only the close command stays.
  HMENU systemMenu = GetSystemMenu(window, FALSE);
  for (int position = GetMenuItemCount(systemMenu) - 1; position >= 0; --position) {
    if (GetMenuItemID(systemMenu, position) != SC_CLOSE) DeleteMenu(systemMenu, position, MF_BYPOSITION);
  }
  DrawMenuBar(window);
  return window;
}

void ShowCurrentFileName() {
  SetWindowTextW(mainWindow,
                 WideFromUtf8(MainWindowTitle(linkState.clientServerMode, deviceSettings.currentFileName)).c_str());
}

void RequestExit(HWND window) {
  if (linkState.socketConnected == 1) {
    messages.ShowError("TCP/IPを切断してください。");
    return;
  }
  if (!ConfirmExit(window)) return;
  if (HWND switcher = dialogs::ScreenSwitcherWindow()) DestroyWindow(switcher);  // it keeps its place, and lets the link go
  KillTimer(window, kMainTimerId);
  linkState.readerRunning = 0;
  socketLink.CloseAllSockets();
  serialLink.StopReader();
  PostQuitMessage(0);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      mainWindow = window;
      statusBar = CreateStatusBar(window, instance);
      toolBar = CreateToolBar(window, instance);
      winSock.SetNotifyWindow(window);
      linkState.readerRunning = 1;
      return 0;
    case WM_SIZE:
      SendMessageW(toolBar, WM_SIZE, wParam, lParam);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      SetTimer(window, kMainTimerId, kMainTimerPeriodMs, nullptr);
      return 0;
    }
    case WM_CLOSE:
      RequestExit(window);
      return 0;
    case WM_NOTIFY:
      return ToolTipRequest(reinterpret_cast<NMHDR*>(lParam));
    case WM_CONTEXTMENU:
      // The maintenance gesture: the settings read dialog, as its menu item opens it.
      if (CountHiddenClick(dialogs::SharedDialogState().hiddenClickCount, LOWORD(lParam), HIWORD(lParam))) {
        OnCommand(window, IDM_READ_ALL);
      }
      return 0;
    case WM_COMMAND:
      OnCommand(window, LOWORD(wParam));
      return 0;
    case WM_TIMER:
      if (wParam == kSweepTimerId) {
        socketLink.Sweep();
        return 0;
      }
      TimerTick();
      UpdateClock();
      return 0;
    case WM_MENUSELECT:
      UpdateMenu(window);
      return 0;
    case MsgSerialLine:
      DispatchQueuedLines();
      return 0;
    case MsgSocketEvent:
      socketLink.HandleSocketEvent(static_cast<SocketHandle>(wParam), WSAGETSELECTEVENT(lParam), WSAGETSELECTERROR(lParam));
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace kelvrix::app
