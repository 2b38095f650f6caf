// The traffic monitor: a modeless window owned by the main window, usable
// beside the modal setting dialogs, that shows the link's traffic record as
// it grows (a virtual list: 10,000 entries scroll without delay) under a
// header with the link's state now.
#pragma once

#include <windows.h>

#include "link/result_messages.h"
#include "link/traffic_log.h"
#include "link/traffic_recorder_win.h"

namespace kelvrix::dialogs {

struct TrafficMonitorContext {
  TrafficRecorder& traffic;
  const LinkState& link;
  LinkStatus (*status)();  // what the header says beyond the link state
  ResultMessages& messages;  // the program's boxes, one at a time
};

// Opens the monitor, or brings it to the front when it is open.
void OpenTrafficMonitor(HINSTANCE instance, HWND owner, TrafficMonitorContext& context);
// The open monitor, or nullptr: the program's message loop gives it its
// keyboard messages.
HWND TrafficMonitorWindow();

}  // namespace kelvrix::dialogs
