#include "app/startup_win.h"

#include "app/app_state_win.h"
#include "app/main_window_win.h"
#include "dialogs/screen_switcher_win.h"
#include "dialogs/traffic_monitor_win.h"

namespace kelvrix::app {

namespace {

constexpr const wchar_t* kMutexName = L"Kelvrix TCP_X_Mutex";


int RunMessageLoop() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    // The traffic monitor and the switcher are modeless: their keys (Tab, Esc, ...) are their own.
    if (HWND monitor = dialogs::TrafficMonitorWindow(); monitor && IsDialogMessageW(monitor, &message)) continue;
    if (HWND switcher = dialogs::ScreenSwitcherWindow(); switcher && IsDialogMessageW(switcher, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace

// Creating the mutex and asking whether it existed is one step, so two copies
// started at the same moment cannot both pass. A copy started with other
// rights (elevated) holds a mutex this one may not open: another copy too.
bool AnotherCopyRuns(const wchar_t* mutexName) {
  HANDLE mutex = CreateMutexW(nullptr, FALSE, mutexName);  // held until the process ends
  const DWORD error = GetLastError();
  return mutex == nullptr ? error == ERROR_ACCESS_DENIED : error == ERROR_ALREADY_EXISTS;
}

void LoadStartUpState() {
  linkState.socketConnected = 0;
  ProfileStore& store = Configuration();
  ResetSettingsToDefaults(deviceSettings);
  ReadHostListKeys(store, linkState);
  ReadConfigFile(store, linkState, deviceSettings);
}

int StartUp(HINSTANCE programInstance, HINSTANCE previousInstance) {
  instance = programInstance;
  if (AnotherCopyRuns(kMutexName)) {
    MessageBoxW(nullptr, L"２重に起動はできません", L"Kelvrix", MB_OK);
    return 0;
  }
  if (!previousInstance && !RegisterMainClass(instance)) return 0;
  LoadStartUpState();
  if (!CreateMainWindow(instance)) return 0;

  // TCP/IP links are opened from their dialogs, never here. A port that did not
  // open gets no reader: there would be nothing to wait on.
  if (linkState.linkInterface == kSerialInterface && serialLink.Open(linkState.comPort, messages)) {
    traffic.Event(CurrentLinkName(linkState), "ポートを開きました (9600 baud, 8E1)");
    if (!serialLink.StartReader(mainWindow, linkState)) messages.ShowWarning("error creating read thread");
  }
  return RunMessageLoop();
}

}  // namespace kelvrix::app
