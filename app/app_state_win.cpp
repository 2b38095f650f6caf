#include "app/app_state_win.h"

#include "dialogs/dialog_frame_win.h"

namespace kelvrix::app {

HINSTANCE instance = nullptr;
HWND mainWindow = nullptr;
HWND statusBar = nullptr;
HWND toolBar = nullptr;

DeviceSettings deviceSettings{};
LinkState linkState;
MessageBoxResults messages;
SerialLink serialLink;
SocketLink socketLink{linkState, messages};

namespace {

// The program's way out: frames to the COM port, lines to the socket in use,
// whose answer goes to the dialog that sent.
class ProgramTransport : public LinkTransport {
 public:
  bool WriteSerial(std::string frame) override { return serialLink.WriteSerial(std::move(frame)); }
  bool SendOnSocket(std::string_view line) override { return socketLink.Send(line); }
  void AwaitSocketReply(ResultMessages& results) override { socketLink.AwaitReply(dialogs::replyWindow, results); }
};

ProgramTransport transport;

}  // namespace

Panel panel{deviceSettings, linkState, messages, transport};

}  // namespace kelvrix::app
