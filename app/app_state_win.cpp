#include "app/app_state_win.h"

namespace kelvrix::app {

HINSTANCE instance = nullptr;
HWND mainWindow = nullptr;
HWND statusBar = nullptr;
HWND toolBar = nullptr;

DeviceSettings deviceSettings{};
LinkState linkState;
MessageBoxResults messages;
SerialLink serialLink;
Panel panel{deviceSettings, linkState, messages, serialLink};

}  // namespace kelvrix::app
