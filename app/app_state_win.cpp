#include "app/app_state_win.h"

#include "link/config_file_win.h"

namespace kelvrix::app {

HINSTANCE instance = nullptr;
HWND mainWindow = nullptr;
HWND statusBar = nullptr;
HWND toolBar = nullptr;

DeviceSettings deviceSettings{};
LinkState linkState;
TrafficRecorder traffic;

namespace {

MessageBoxResults boxes;
std::string LinkInUse() { return CurrentLinkName(linkState); }

}  // namespace

RecordedResults messages{boxes, traffic, LinkInUse};
SerialLink serialLink;
WinSockLayer winSock;
SocketLink socketLink{linkState, messages, traffic, winSock};

namespace {

// The program's way out: frames to the COM port, lines to the socket in use,
// whose answer goes to the dialog that sent.
class ProgramTransport : public LinkTransport {
 public:
  bool WriteSerial(std::string frame) override {
    const std::string link = SerialLinkName(linkState, frame);
    traffic.Sent(link, frame);
    if (serialLink.WriteSerial(std::move(frame))) return true;
    traffic.Event(link, serialLink.IsOpen() ? "送れませんでした" : "送れませんでした (ポートが開いていません)");
    return false;
  }
  bool SendOnSocket(std::string_view line) override { return socketLink.Send(line); }
  void AwaitSocketReply(ResultMessages& results) override { socketLink.AwaitReply(results); }
  void ExpectSocketReply() override { socketLink.ExpectReply(); }
  bool SendToUnit(SocketHandle socket, std::string_view line) override {
    return socketLink.SendTo(socket, line, std::chrono::milliseconds(0));
  }
  void TapUnits(UnitTap* tap) override { socketLink.Tap(tap); }
  void UntapUnits(UnitTap* tap) override { socketLink.Untap(tap); }
  SocketHandle VisitUnit(const Ipv4Address& host, std::string_view portText) override {
    return socketLink.Visit(host, portText);
  }
  void EndVisit() override { socketLink.EndVisit(); }
  SocketHandle OwnConnection() override { return socketLink.OwnConnection(); }
};

ProgramTransport transport;

}  // namespace

Panel panel{deviceSettings, linkState, messages, transport};

ProfileStore& Configuration() {
  static PrivateProfileFile shared(SharedConfigPath());
  static PrivateProfileFile personal(PersonalConfigPath());
  static ConfigFiles files(shared, personal, [](const std::string& text) { messages.ShowWarning(text); });
  return files;
}

}  // namespace kelvrix::app
