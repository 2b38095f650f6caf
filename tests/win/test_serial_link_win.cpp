// The program's serial link end to end in one process: the real main window,
// the real COM port (COM1, a pty) and its reader thread, against the unit
// simulator on the other end of the pty. The simulator logs every frame it
// receives and takes its mode from a control file.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app/app_state_win.h"
#include "app/main_window_win.h"
#include "box_watcher.h"
#include "link/send_command.h"

namespace kelvrix {
namespace {

using namespace std::chrono;
using testing::BoxWatcher;

// The simulator's files, seen from Windows through drive Z:.
std::string SerialFile(const char* name) {
  const char* dir = std::getenv("KELVRIX_SERIAL_DIR");
  std::string path = std::string("Z:") + (dir ? dir : "") + "/" + name;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

void SetSimulatorMode(const std::string& lines) { std::ofstream(SerialFile("sim.control")) << lines << "\n"; }

std::vector<std::string> SimulatorLog() {
  std::ifstream in(SerialFile("sim.log"));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Runs the message loop until `done` holds or `limit` passes; true when it held.
bool PumpUntil(const std::function<bool()>& done, milliseconds limit) {
  const auto end = steady_clock::now() + limit;
  while (!done()) {
    const auto left = duration_cast<milliseconds>(end - steady_clock::now()).count();
    if (left <= 0) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<long long>(left, 50)), QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(message.wParam));
        return done();
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return true;
}

void Pump(milliseconds time) { PumpUntil([] { return false; }, time); }

class SerialLinkTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    app::instance = GetModuleHandleW(nullptr);
    ASSERT_TRUE(app::RegisterMainClass(app::instance));
    ResetSettingsToDefaults(app::deviceSettings);
    ASSERT_NE(app::CreateMainWindow(app::instance), nullptr);
    ASSERT_TRUE(app::serialLink.Open(0, app::messages)) << "COM1 is not mapped to the simulator's pty";
    ASSERT_TRUE(app::serialLink.StartReader(app::mainWindow, app::linkState));
  }

  void SetUp() override {
    SetSimulatorMode("normal");
    app::linkState.rsControl = kRs232c;
    app::linkState.slaveAddressIndex = 0;
    app::linkState.replyError = 0;
    Pump(milliseconds(100));
    logLinesBefore = SimulatorLog().size();
  }

  // The frames the simulator received since the test began.
  std::vector<std::string> NewFrames() {
    auto log = SimulatorLog();
    return {log.begin() + static_cast<std::ptrdiff_t>(std::min(logLinesBefore, log.size())), log.end()};
  }

  bool WaitForFrames(std::size_t count) {
    return PumpUntil([&] { return NewFrames().size() >= count; }, seconds(3));
  }

  std::size_t logLinesBefore = 0;
  BoxWatcher watcher;
};

TEST_F(SerialLinkTest, Rs232cFrameIsTheBareLineAndGoShowsSuccess) {
  SendCommand(app::panel, "VAB03120\r\n");
  ASSERT_TRUE(WaitForFrames(1));
  EXPECT_EQ(NewFrames(), (std::vector<std::string>{"VAB03120\\r\\n"}));
  ASSERT_TRUE(PumpUntil([&] { return !watcher.boxes.empty(); }, seconds(2)));
  EXPECT_EQ(watcher.boxes[0].caption, L"Success");
  EXPECT_EQ(watcher.boxes[0].text, L"Success");
  Pump(milliseconds(700));
  EXPECT_EQ(watcher.boxes.size(), 1u);
}

TEST_F(SerialLinkTest, Rs485FrameCarriesTheUnitAddress) {
  SetSimulatorMode("rs485");
  app::linkState.rsControl = kRs485;
  app::linkState.slaveAddressIndex = 7;
  SendCommand(app::panel, "VAB03120\r\n");
  ASSERT_TRUE(WaitForFrames(1));
  EXPECT_EQ(NewFrames(), (std::vector<std::string>{"07VAB03120\\r\\n"}));
  ASSERT_TRUE(PumpUntil([&] { return !watcher.boxes.empty(); }, seconds(2)));
  EXPECT_EQ(watcher.boxes[0].text, L"Success");
}

TEST_F(SerialLinkTest, BroadcastIsNotAwaited) {
  SetSimulatorMode("rs485");
  app::linkState.rsControl = kRs485;
  app::linkState.slaveAddressIndex = kBroadcastAddressIndex;
  SendCommand(app::panel, "VAB03120\r\n");
  ASSERT_TRUE(WaitForFrames(1));
  EXPECT_EQ(NewFrames(), (std::vector<std::string>{"FFVAB03120\\r\\n"}));
  Pump(milliseconds(9500));  // past the 27th tick
  EXPECT_TRUE(watcher.boxes.empty());
}

TEST_F(SerialLinkTest, SilentUnitGivesOneNoConnectAfterAboutEightSeconds) {
  SetSimulatorMode("silent");
  const auto sent = steady_clock::now();
  SendCommand(app::panel, "RVN\r\n");
  ASSERT_TRUE(PumpUntil([&] { return !watcher.boxes.empty(); }, seconds(12)));
  const auto waited = duration_cast<milliseconds>(steady_clock::now() - sent).count();
  EXPECT_GE(waited, 7500);
  EXPECT_LE(waited, 9800);
  EXPECT_EQ(watcher.boxes[0].caption, L"Error");
  EXPECT_EQ(watcher.boxes[0].text, L"No Connect");
  Pump(seconds(2));
  EXPECT_EQ(watcher.boxes.size(), 1u);
}

TEST_F(SerialLinkTest, CommandErrorReply) {
  SetSimulatorMode("reply E3");
  SendCommand(app::panel, "VAB03120\r\n");
  ASSERT_TRUE(PumpUntil([&] { return !watcher.boxes.empty(); }, seconds(3)));
  EXPECT_EQ(watcher.boxes[0].caption, L"Error");
  EXPECT_EQ(watcher.boxes[0].text, L"Command Error");
  EXPECT_EQ(app::linkState.replyError, 1);
}

TEST_F(SerialLinkTest, ReplyInThreePiecesIsDispatchedOnce) {
  SendCommand(app::panel, "VAB03120\r\n");  // the simulated unit now holds 120
  ASSERT_TRUE(PumpUntil([&] { return !watcher.boxes.empty(); }, seconds(2)));
  watcher.boxes.clear();
  app::deviceSettings.videoBrightness[2] = 0;

  SetSimulatorMode("split 2,5,3");
  SendCommand(app::panel, "RVAB03\r\n");  // "VAB03120\r\n" comes as "VA", "B0312", "0\r\n"
  EXPECT_TRUE(PumpUntil([] { return app::deviceSettings.videoBrightness[2] == 120; }, seconds(3)));
  Pump(milliseconds(700));
  EXPECT_TRUE(watcher.boxes.empty());
  EXPECT_EQ(app::linkState.replyPending, 0);
}

TEST_F(SerialLinkTest, ExitIsRefusedWhileASocketIsConnected) {
  app::linkState.socketConnected = 1;
  SendMessageW(app::mainWindow, WM_CLOSE, 0, 0);
  app::linkState.socketConnected = 0;
  ASSERT_EQ(watcher.boxes.size(), 1u);
  EXPECT_EQ(watcher.boxes[0].caption, L"Error");
  EXPECT_EQ(watcher.boxes[0].text, L"TCP/IPを切断してください。");
  MSG quit;
  EXPECT_FALSE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
  EXPECT_TRUE(IsWindow(app::mainWindow));
}

// Last: the program then ends, its reader stopped.
TEST_F(SerialLinkTest, UnsavedChangesAskBeforeExit) {
  app::deviceSettings.dataChanged = 1;
  watcher.answer = IDYES;
  SendMessageW(app::mainWindow, WM_CLOSE, 0, 0);
  ASSERT_EQ(watcher.boxes.size(), 1u);
  EXPECT_EQ(watcher.boxes[0].caption, L"Kelvrix");
  EXPECT_EQ(watcher.boxes[0].text, L"データを保存せずに終了しますか？");
  EXPECT_EQ(watcher.boxes[0].icon, LoadIconW(nullptr, IDI_QUESTION));
  MSG quit;
  EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(app::linkState.readerRunning, 0);
}

}  // namespace
}  // namespace kelvrix
