// The process-wide state of the running program: the settings mirror, the
// link, the result boxes, the traffic record, the serial port, the sockets
// and the main window's handles.
#pragma once

#include <windows.h>

#include "link/config_file.h"
#include "link/message_boxes_win.h"
#include "link/panel.h"
#include "link/serial_port_win.h"
#include "link/socket_layer_win.h"
#include "link/socket_link.h"
#include "link/traffic_recorder_win.h"

namespace kelvrix::app {

extern HINSTANCE instance;
extern HWND mainWindow;
extern HWND statusBar;
extern HWND toolBar;

extern DeviceSettings deviceSettings;
extern LinkState linkState;
extern TrafficRecorder traffic;  // from start-up, whether or not the monitor is open
extern RecordedResults messages;
extern SerialLink serialLink;
extern WinSockLayer winSock;
extern SocketLink socketLink;
extern Panel panel;

// kelvrix.ini: the Windows directory's, or the user's own once that one
// refused a write.
ProfileStore& Configuration();

}  // namespace kelvrix::app
