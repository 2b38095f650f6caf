// The main window and the serial link end to end in one process: the real
// main window, the real COM port (COM1, a pty) and its reader thread, against
// the unit simulator on the other end of the pty. The simulator logs every
// frame it receives and takes its mode from a control file.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "app/app_state_win.h"
#include "app/main_window_win.h"
#include "box_watcher.h"
#include "dialog_harness.h"
#include "dialogs/dialog_frame_win.h"
#include "dialogs/traffic_monitor_win.h"
#include "link/send_command.h"
#include "model/settings_data_file.h"
#include "model/wide_text_win.h"
#include "resources/resource.h"

namespace kelvrix {
namespace {

using namespace std::chrono;
using testing::BoxWatcher;
using testing::Pump;
using testing::PumpUntil;

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


class MainWindowTest : public ::testing::Test {
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

  // "caption: text" of the boxes seen from the index `from` on.
  std::vector<std::wstring> Seen(std::size_t from) const {
    std::vector<std::wstring> seen;
    for (std::size_t i = from; i < watcher.boxes.size(); ++i) {
      seen.push_back(watcher.boxes[i].caption + L": " + watcher.boxes[i].text);
    }
    return seen;
  }

  std::size_t logLinesBefore = 0;
  BoxWatcher watcher;
};

TEST_F(MainWindowTest, MainWindowShape) {
  wchar_t caption[64] = {};
  GetWindowTextW(app::mainWindow, caption, 64);
  EXPECT_STREQ(caption, L"Kelvrix Client Program");
  RECT frame;
  GetWindowRect(app::mainWindow, &frame);
  EXPECT_EQ(frame.left, 0);
  EXPECT_EQ(frame.top, 0);
  EXPECT_EQ(frame.right - frame.left, 607);
  EXPECT_EQ(frame.bottom - frame.top, 104);  // the manifest declares Windows 10
  EXPECT_FALSE(GetWindowLongW(app::mainWindow, GWL_STYLE) & WS_MAXIMIZEBOX);

  HMENU systemMenu = GetSystemMenu(app::mainWindow, FALSE);
  ASSERT_EQ(GetMenuItemCount(systemMenu), 1);
  EXPECT_EQ(GetMenuItemID(systemMenu, 0), static_cast<UINT>(SC_CLOSE));

  HMENU bar = GetMenu(app::mainWindow);
  ASSERT_EQ(GetMenuItemCount(bar), 5);
  wchar_t title[32] = {};
  GetMenuStringW(bar, 4, title, 32, MF_BYPOSITION);
  EXPECT_STREQ(title, L"情報");
  GetMenuStringW(bar, IDM_READ_ALL, title, 32, MF_BYCOMMAND);
  EXPECT_STREQ(title, L"設定項目の読み込み");

  EXPECT_EQ(GetDlgCtrlID(app::statusBar), IDC_STATUS_BAR);
  int edges[2] = {};
  ASSERT_EQ(SendMessageW(app::statusBar, SB_GETPARTS, 2, reinterpret_cast<LPARAM>(edges)), 2);
  EXPECT_EQ(edges[0], 500);
  EXPECT_EQ(edges[1], 700);

  EXPECT_EQ(GetDlgCtrlID(app::toolBar), IDC_TOOL_BAR);
  ASSERT_EQ(SendMessageW(app::toolBar, TB_BUTTONCOUNT, 0, 0), 13);
  for (int i = 0; i < 13; ++i) {
    TBBUTTON button{};
    SendMessageW(app::toolBar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&button));
    EXPECT_EQ(button.idCommand, IDT_DATE_TIME + i);
    EXPECT_EQ(button.iBitmap, i);
  }
}

TEST_F(MainWindowTest, StatusBarClockRunsOnTheTimer) {
  ASSERT_TRUE(PumpUntil([] { return SendMessageW(app::statusBar, SB_GETTEXTLENGTHW, 1, 0) != 0; }, seconds(2)));
  wchar_t time[32] = {};
  const LRESULT result = SendMessageW(app::statusBar, SB_GETTEXTW, 1, reinterpret_cast<LPARAM>(time));
  EXPECT_EQ(HIWORD(result) & SBT_POPOUT, SBT_POPOUT);
  const std::wstring text = time;
  ASSERT_EQ(text.size(), 8u) << "hh：mm：ss";
  EXPECT_EQ(text[2], L'：');
  EXPECT_EQ(text[5], L'：');
  wchar_t date[64] = {};
  SendMessageW(app::statusBar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(date));
  EXPECT_NE(std::wstring(date).find(L"日  "), std::wstring::npos) << "two spaces before the weekday";
}

TEST_F(MainWindowTest, ToolTipsNameTheButtons) {
  NMTTDISPINFOW info{};
  info.hdr.hwndFrom = app::toolBar;
  info.hdr.idFrom = IDT_VIDEO_ADJUST;
  info.hdr.code = TTN_GETDISPINFOW;
  SendMessageW(app::mainWindow, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
  ASSERT_NE(info.lpszText, nullptr);
  EXPECT_STREQ(info.lpszText, L"ビデオ調整の設定");
}

TEST_F(MainWindowTest, MenuItemsFollowTheInterface) {
  HMENU menu = GetMenu(app::mainWindow);
  auto grayed = [menu](UINT command) { return (GetMenuState(menu, command, MF_BYCOMMAND) & MF_GRAYED) != 0; };
  app::linkState.linkInterface = kSocketInterface;
  SendMessageW(app::mainWindow, WM_MENUSELECT, 0, 0);
  EXPECT_TRUE(grayed(IDM_SERIAL));
  EXPECT_TRUE(grayed(IDM_SLAVE_ADDRESS));
  EXPECT_FALSE(grayed(IDM_TCPIP));
  EXPECT_FALSE(grayed(IDM_CLIENT_SERVER));

  app::linkState.linkInterface = kSerialInterface;
  app::linkState.rsControl = kRs485;
  SendMessageW(app::mainWindow, WM_MENUSELECT, 0, 0);
  EXPECT_FALSE(grayed(IDM_SERIAL));
  EXPECT_FALSE(grayed(IDM_SLAVE_ADDRESS));
  EXPECT_TRUE(grayed(IDM_TCPIP));
  EXPECT_TRUE(grayed(IDM_CLIENT_SERVER));
}

TEST_F(MainWindowTest, ProtocolSettingsAreRefusedOnTcpIp) {
  app::linkState.linkInterface = kSocketInterface;
  SendMessageW(app::mainWindow, WM_COMMAND, IDM_PROTOCOL, 0);
  app::linkState.linkInterface = kSerialInterface;
  ASSERT_EQ(watcher.boxes.size(), 1u);
  EXPECT_EQ(watcher.boxes[0].caption, L"Error");
  EXPECT_EQ(watcher.boxes[0].text, L"インターフェースをRS-232Cにしてください。");
}

TEST_F(MainWindowTest, MenuAndToolBarOpenTheSettingDialogs) {
  struct Route {
    int command;
    const wchar_t* caption;
  };
  const Route routes[] = {
      {IDM_AUTO_SEQUENCE, L"自動切換えの設定 "}, {IDT_AUTO_SEQUENCE, L"自動切換えの設定 "},
      {IDM_ALARM, L"アラームの設定 "},           {IDT_ALARM, L"アラームの設定 "},
      {IDM_VIDEO_ADJUST, L"ビデオ調整 "},        {IDT_VIDEO_ADJUST, L"ビデオ調整 "},
      {IDM_DIVISION_LAYOUT, L"分割画面の配置設定 "}, {IDT_DIVISION_LAYOUT, L"分割画面の配置設定 "},
      {IDM_READ_ALL, L"設定項目の読み込み"},     {IDM_WRITE_ALL, L"全項目の設定"},
      {IDM_TITLE, L"タイトルの設定 "},           {IDT_TITLE, L"タイトルの設定 "},
      {IDM_VIDEO_LOSS, L"ビデオロスの設定 "},    {IDT_VIDEO_LOSS, L"ビデオロスの設定 "},
      {IDM_ALARM_HISTORY, L"アラーム履歴 "},     {IDT_ALARM_HISTORY, L"アラーム履歴 "},
      {IDM_VIDEO_LOSS_HISTORY, L"ビデオロス履歴 "}, {IDT_VIDEO_LOSS_HISTORY, L"ビデオロス履歴 "},
      {IDM_PROTOCOL, L"プロトコルの設定 "},
      {IDM_DATE_TIME, L"日付・時刻の設定 "},     {IDT_DATE_TIME, L"日付・時刻の設定 "},
      {IDM_TITLE_DISPLAY, L"タイトル表示の設定 "}, {IDT_TITLE_DISPLAY, L"タイトル表示の設定 "},
      {IDM_ASPECT_RATIO, L"アスペクト比の設定 "}, {IDT_ASPECT_RATIO, L"アスペクト比の設定 "},
      {IDM_SCREEN, L"画面の設定 "},              {IDT_SCREEN, L"画面の設定 "},
      {IDM_OTHER, L"その他の設定 "},             {IDT_OTHER, L"その他の設定 "},
      {IDM_SLAVE_ADDRESS, L"スレーブアドレスの設定 "}, {IDM_ABOUT, L"バージョン情報"},
      {IDM_COMPARE, L"ユニットと比較"},          {IDM_BUS_SCAN, L"RS-485 バス検索"},
  };
  int toolButtons = 0;
  for (const Route& route : routes) toolButtons += route.command >= IDT_DATE_TIME && route.command <= IDT_ALARM_HISTORY;
  EXPECT_EQ(toolButtons, TOOL_BUTTON_COUNT) << "every tool bar button opens its dialog";
  watcher.answer = IDC_CLOSE;  // the watcher sees the modal dialog and closes it
  for (const Route& route : routes) {
    const auto seen = watcher.boxes.size();
    SendMessageW(app::mainWindow, WM_COMMAND, route.command, 0);  // returns when the dialog has ended
    ASSERT_EQ(watcher.boxes.size(), seen + 1) << route.command;
    EXPECT_EQ(watcher.boxes.back().caption, route.caption);
    EXPECT_EQ(watcher.boxes.back().owner, app::mainWindow);
  }
  EXPECT_EQ(replyWindow, nullptr);

  // The maintenance gesture: ten context-menu requests in the screen's top-left corner.
  for (int i = 0; i < 10; ++i) SendMessageW(app::mainWindow, WM_CONTEXTMENU, 0, MAKELPARAM(i, 19));
  ASSERT_EQ(watcher.boxes.size(), std::size(routes) + 1);
  EXPECT_EQ(watcher.boxes.back().caption, L"設定項目の読み込み");
}

TEST_F(MainWindowTest, Rs232cFrameIsTheBareLineAndGoShowsSuccess) {
  SendCommand(app::panel, "VAB03120\r\n");
  ASSERT_TRUE(WaitForFrames(1));
  EXPECT_EQ(NewFrames(), (std::vector<std::string>{"VAB03120\\r\\n"}));
  ASSERT_TRUE(PumpUntil([&] { return !watcher.boxes.empty(); }, seconds(2)));
  EXPECT_EQ(watcher.boxes[0].caption, L"Success");
  EXPECT_EQ(watcher.boxes[0].text, L"Success");
  Pump(milliseconds(700));
  EXPECT_EQ(watcher.boxes.size(), 1u);
}

TEST_F(MainWindowTest, Rs485FrameCarriesTheUnitAddress) {
  SetSimulatorMode("rs485");
  app::linkState.rsControl = kRs485;
  app::linkState.slaveAddressIndex = 7;
  SendCommand(app::panel, "VAB03120\r\n");
  ASSERT_TRUE(WaitForFrames(1));
  EXPECT_EQ(NewFrames(), (std::vector<std::string>{"07VAB03120\\r\\n"}));
  ASSERT_TRUE(PumpUntil([&] { return !watcher.boxes.empty(); }, seconds(2)));
  EXPECT_EQ(watcher.boxes[0].text, L"Success");
}

TEST_F(MainWindowTest, BroadcastIsNotAwaited) {
  SetSimulatorMode("rs485");
  app::linkState.rsControl = kRs485;
  app::linkState.slaveAddressIndex = kBroadcastAddressIndex;
  SendCommand(app::panel, "VAB03120\r\n");
  ASSERT_TRUE(WaitForFrames(1));
  EXPECT_EQ(NewFrames(), (std::vector<std::string>{"FFVAB03120\\r\\n"}));
  Pump(milliseconds(9500));  // past the 27th tick
  EXPECT_TRUE(watcher.boxes.empty());
}

TEST_F(MainWindowTest, SilentUnitGivesOneNoConnectAfterAboutEightSeconds) {
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

TEST_F(MainWindowTest, CommandErrorReply) {
  SetSimulatorMode("reply E3");
  SendCommand(app::panel, "VAB03120\r\n");
  ASSERT_TRUE(PumpUntil([&] { return !watcher.boxes.empty(); }, seconds(3)));
  EXPECT_EQ(watcher.boxes[0].caption, L"Error");
  EXPECT_EQ(watcher.boxes[0].text, L"Command Error");
  EXPECT_EQ(app::linkState.replyError, 1);
}

TEST_F(MainWindowTest, ReplyInThreePiecesIsDispatchedOnce) {
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

// A unit (or a noisy line) sending "GO" over and over while a "Success" box is
// up: the box stays the only one, the program stays alive.
TEST_F(MainWindowTest, FloodOfGoShowsOneSuccessBoxAtATime) {
  SetSimulatorMode("repeat 30,80");  // 30 "GO" lines over 2.4 s
  watcher.holdFor = seconds(3);      // the operator looks at the box meanwhile
  SendCommand(app::panel, "VAB03120\r\n");
  ASSERT_TRUE(PumpUntil([&] { return !watcher.boxes.empty(); }, seconds(3)));
  Pump(milliseconds(700));
  EXPECT_EQ(watcher.mostOpenAtOnce, 1u);
  ASSERT_EQ(watcher.boxes.size(), 1u) << "the successes while the box was up are folded into it";
  EXPECT_EQ(watcher.boxes[0].text, L"Success");
  DWORD_PTR result = 0;
  EXPECT_NE(SendMessageTimeoutW(app::mainWindow, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result), 0);
}

// Replies that arrive in awkward shapes still reach the dispatcher.
TEST_F(MainWindowTest, RepliesBackToBackOrAfterNoiseAreDispatched) {
  const char* modes[] = {
      "repeat 2,0",  // "GO\r\nGO\r\n" in one write: two lines, not one
      "noise 596",   // 596 bytes without LF, then "GO\r\n" in a read of its own
  };
  for (const char* mode : modes) {
    SetSimulatorMode(mode);
    watcher.boxes.clear();
    SendCommand(app::panel, "VAB03120\r\n");
    ASSERT_TRUE(PumpUntil([&] { return !watcher.boxes.empty(); }, seconds(2))) << mode;
    EXPECT_EQ(watcher.boxes[0].text, L"Success") << mode;
    Pump(milliseconds(400));  // a second GO of the pair, folded or shown, is gone before the next mode
  }
}

// While nothing takes the queued lines (a box is up), a flood keeps only the newest.
TEST_F(MainWindowTest, LinesWaitingForTheGuiThreadAreBounded) {
  SetSimulatorMode("repeat 6000,0");
  SendCommand(app::panel, "RVN\r\n");  // 6000 version lines back to back
  Sleep(3000);                          // no message is dispatched meanwhile
  std::size_t queued = 0;
  while (app::serialLink.TakeLine()) ++queued;
  EXPECT_EQ(queued, 4096u);
  SetSimulatorMode("normal");
  Pump(milliseconds(300));
}

// --- The File menu, through the system's file dialogs ------------------------

namespace fs = std::filesystem;

// A folder of its own with a Japanese name, and a fresh model; on the way out
// the model, the title and the folder are put back.
struct SettingsFolder {
  SettingsFolder() {
    fs::create_directories(path);
    ResetSettingsToDefaults(app::deviceSettings);
  }
  ~SettingsFolder() {
    ResetSettingsToDefaults(app::deviceSettings);
    app::ShowCurrentFileName();
    app::linkState.batchStep = 0;
    for (const auto& entry : fs::directory_iterator(path)) {
      SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    fs::current_path(fs::temp_directory_path());  // the file dialogs made the folder the current one
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  std::vector<fs::path> Files() const {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(path)) files.push_back(entry.path());
    return files;
  }
  const fs::path path = fs::temp_directory_path() / (L"kelvrix 設定 " + std::to_wstring(GetCurrentProcessId()));
};

void Command(int id) { SendMessageW(app::mainWindow, WM_COMMAND, id, 0); }

std::wstring Title() {
  wchar_t text[256] = {};
  GetWindowTextW(app::mainWindow, text, 256);
  return text;
}

std::string Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST_F(MainWindowTest, SaveAsOpenAndNewKeepTheFileAndItsName) {
  SettingsFolder folder;
  DeviceSettings& s = app::deviceSettings;
  s.videoBrightness[3] = 201;
  CopyText(s.channelTitle[2], "");
  s.dataChanged = 1;
  watcher.fileChoices = {(folder.path / L"機器1").wstring()};
  Command(IDM_FILE_SAVE_AS);
  const fs::path saved = folder.path / L"機器1.dat";
  EXPECT_EQ(Seen(0), (std::vector<std::wstring>{L"ファイルの保存: データ(*.dat)|すべて(*.*)"}));
  ASSERT_TRUE(fs::exists(saved)) << "the suffix is appended";
  EXPECT_EQ(Bytes(saved), WriteSettingsData(s));
  EXPECT_EQ(s.dataChanged, 0);
  EXPECT_EQ(Title(), L"機器1.dat - Kelvrix Client Program");

  dialogs::SharedDialogState().currentChannel = 9;
  Command(IDM_FILE_NEW);  // nothing changed since the save: no question
  EXPECT_EQ(watcher.boxes.size(), 1u);
  EXPECT_EQ(s.videoBrightness[3], 0);
  EXPECT_EQ(dialogs::SharedDialogState().currentChannel, 0) << "back to channel 1";
  EXPECT_EQ(Title(), L"Kelvrix Client Program");

  s.dataChanged = 1;
  watcher.answers = {IDNO};
  Command(IDM_FILE_OPEN);  // "No": no file dialog
  EXPECT_EQ(Seen(1), (std::vector<std::wstring>{L"Kelvrix: データを保存せずに別のファイルを開きますか？"}));
  EXPECT_EQ(s.videoBrightness[3], 0);

  watcher.answers = {IDYES};
  watcher.fileChoices = {saved.wstring()};
  Command(IDM_FILE_OPEN);
  EXPECT_EQ(Seen(2), (std::vector<std::wstring>{L"Kelvrix: データを保存せずに別のファイルを開きますか？",
                                                L"ファイルのオープン: データ(*.dat)|すべて(*.*)"}));
  EXPECT_EQ(s.videoBrightness[3], 201);
  EXPECT_STREQ(s.channelTitle[2], "") << "an empty title comes back empty";
  EXPECT_EQ(s.currentFileName, Utf8FromWide(saved.wstring()));
  EXPECT_EQ(Title(), L"機器1.dat - Kelvrix Client Program");

  Command(IDM_FILE_NEW);  // an open never leaves the data changed: no question
  EXPECT_EQ(watcher.boxes.size(), 4u);


  s.videoBrightness[3] = 7;
  s.dataChanged = 1;
  watcher.answers = {IDNO};
  Command(IDM_FILE_NEW);
  EXPECT_EQ(Seen(4), (std::vector<std::wstring>{L"Kelvrix: データを保存せずに新規作成しますか？"}));
  EXPECT_EQ(s.videoBrightness[3], 7) << "No keeps the model";

  app::linkState.batchStep = 3;  // a run is under way: neither asks nor acts
  Command(IDM_FILE_NEW);
  Command(IDM_FILE_OPEN);
  EXPECT_EQ(watcher.boxes.size(), 5u);
  EXPECT_EQ(s.videoBrightness[3], 7);
  app::linkState.batchStep = 0;

  watcher.fileChoices = {L""};
  Command(IDM_FILE_SAVE_AS);  // cancelled
  EXPECT_EQ(s.dataChanged, 1);
  EXPECT_EQ(folder.Files(), (std::vector<fs::path>{saved})) << "nothing else was written";

  // Another program holds the file open for writing: it is read all the same.
  HANDLE held = CreateFileW(saved.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  s.dataChanged = 0;
  s.videoBrightness[3] = 0;
  const std::size_t before = watcher.boxes.size();
  watcher.fileChoices = {saved.wstring()};
  Command(IDM_FILE_OPEN);
  CloseHandle(held);
  EXPECT_EQ(Seen(before), (std::vector<std::wstring>{L"ファイルのオープン: データ(*.dat)|すべて(*.*)"})) << "no Can't file open";
  EXPECT_EQ(s.videoBrightness[3], 201);
}

TEST_F(MainWindowTest, FailedSavesReportAndKeepThePreviousFile) {
  SettingsFolder folder;
  DeviceSettings& s = app::deviceSettings;
  Command(IDM_FILE_SAVE);
  EXPECT_EQ(Seen(0), (std::vector<std::wstring>{L"Error: Don't file open"}));

  const fs::path old = folder.path / L"old.dat";
  watcher.fileChoices = {old.wstring()};
  Command(IDM_FILE_SAVE_AS);
  const std::string before = Bytes(old);
  ASSERT_EQ(before, WriteSettingsData(s));

  s.videoContrast[0] = 3;
  s.dataChanged = 1;
  SetFileAttributesW(old.c_str(), FILE_ATTRIBUTE_READONLY);
  Command(IDM_FILE_SAVE);
  s.currentFileName = Utf8FromWide((folder.path / L"missing" / L"x.dat").wstring());
  Command(IDM_FILE_SAVE);
  EXPECT_EQ(Seen(2), (std::vector<std::wstring>{L"Error: Can't file open", L"Error: Can't file open"}));
  EXPECT_EQ(Bytes(old), before);
  EXPECT_EQ(s.dataChanged, 1);
  EXPECT_EQ(folder.Files(), (std::vector<fs::path>{old})) << "no temporary file is left behind";

  // Over the old file again, once it may be written: the system asks first.
  SetFileAttributesW(old.c_str(), FILE_ATTRIBUTE_NORMAL);
  watcher.fileChoices = {old.wstring()};
  watcher.answers = {IDYES};
  Command(IDM_FILE_SAVE_AS);
  EXPECT_EQ(Bytes(old), WriteSettingsData(s));
  EXPECT_EQ(s.dataChanged, 0);
}

TEST_F(MainWindowTest, ExitIsRefusedWhileASocketIsConnected) {
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

// The monitor is a view of the record, growing with it: rows copied as
// text, the whole record saved, the record cleared.
TEST_F(MainWindowTest, TrafficMonitorShowsCopiesSavesAndClearsTheRecord) {
  SettingsFolder folder;
  app::traffic.Clear();
  app::traffic.Event("COM1", "ポートを開きました");
  Command(IDM_TRAFFIC_MONITOR);
  HWND monitor = dialogs::TrafficMonitorWindow();
  ASSERT_NE(monitor, nullptr);
  EXPECT_EQ(GetWindow(monitor, GW_OWNER), app::mainWindow);
  HWND list = GetDlgItem(monitor, IDC_TRAFFIC_LIST);
  SendCommand(app::panel, "VAB03120\r\n");
  ASSERT_TRUE(PumpUntil([&] { return ListView_GetItemCount(list) == 3; }, seconds(3))) << "the frame and its GO";
  const TrafficLog& log = app::traffic.Log();
  EXPECT_EQ(log.At(1).bytes, "VAB03120\r\n");
  EXPECT_EQ(log.At(2).bytes, "GO\r\n");

  for (int row : {1, 2}) ListView_SetItemState(list, row, LVIS_SELECTED, LVIS_SELECTED);
  SendMessageW(monitor, WM_COMMAND, IDC_TRAFFIC_COPY, 0);
  ASSERT_TRUE(OpenClipboard(nullptr));
  const std::wstring copied = static_cast<const wchar_t*>(GlobalLock(GetClipboardData(CF_UNICODETEXT)));
  CloseClipboard();
  EXPECT_EQ(Utf8FromWide(copied), FormatEntry(log.At(1)) + "\r\n" + FormatEntry(log.At(2)) + "\r\n");

  watcher.fileChoices = {(folder.path / L"記録").wstring()};
  SendMessageW(monitor, WM_COMMAND, IDC_TRAFFIC_SAVE, 0);
  std::string expected = "\xEF\xBB\xBFNo.\t時刻\t方向\tリンク\tデータ\r\n";
  for (std::size_t i = 0; i < log.Size(); ++i) expected += FormatEntry(log.At(i)) + "\r\n";
  EXPECT_EQ(Bytes(folder.path / L"記録.txt"), expected);

  SendMessageW(monitor, WM_COMMAND, IDC_TRAFFIC_CLEAR, 0);
  EXPECT_EQ(ListView_GetItemCount(list), 0);
  EXPECT_EQ(log.Size(), 0u);
  SendMessageW(monitor, WM_COMMAND, IDC_CLOSE, 0);
  EXPECT_EQ(dialogs::TrafficMonitorWindow(), nullptr);
  Pump(milliseconds(400));  // the GO's "Success"
}

// Last: the program then ends, its reader stopped. "No" saves first: to the
// open file, or through Save As when there is none.
TEST_F(MainWindowTest, UnsavedChangesAskBeforeExit) {
  SettingsFolder folder;
  app::deviceSettings.dataChanged = 1;
  app::deviceSettings.currentFileName = Utf8FromWide((folder.path / L"open.dat").wstring());
  watcher.answer = IDNO;
  SendMessageW(app::mainWindow, WM_CLOSE, 0, 0);
  ASSERT_EQ(watcher.boxes.size(), 1u);
  EXPECT_EQ(watcher.boxes[0].caption, L"Kelvrix");
  EXPECT_EQ(watcher.boxes[0].text, L"データを保存せずに終了しますか？");
  EXPECT_EQ(watcher.boxes[0].icon, LoadIconW(nullptr, IDI_QUESTION));
  EXPECT_TRUE(fs::exists(folder.path / L"open.dat"));
  MSG quit;
  EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(app::linkState.readerRunning, 0);

  app::deviceSettings.dataChanged = 1;
  app::deviceSettings.currentFileName.clear();
  watcher.fileChoices = {(folder.path / L"chosen").wstring()};
  SendMessageW(app::mainWindow, WM_CLOSE, 0, 0);
  ASSERT_EQ(watcher.boxes.size(), 3u);
  EXPECT_EQ(watcher.boxes[2].caption, L"ファイルの保存");
  EXPECT_TRUE(fs::exists(folder.path / L"chosen.dat"));
  EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

}  // namespace
}  // namespace kelvrix
