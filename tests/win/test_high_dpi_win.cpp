// The main window and a drawn table at 144 DPI (150 %). Wine takes the DPI
// from the prefix's LogPixels when a process starts, so this program sets it,
// runs its tests in a child process of itself, and puts the setting back.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "app/app_state_win.h"
#include "app/main_window_win.h"
#include "dialog_harness.h"
#include "dialogs/dialog_frame_win.h"
#include "dialogs/setting_dialogs_win.h"
#include "fakes.h"
#include "resources/resource.h"

namespace kelvrix {
namespace {

using namespace std::chrono;

constexpr DWORD kTestDpi = 144;
constexpr const wchar_t* kChildVariable = L"KELVRIX_DPI_CHILD";
constexpr const wchar_t* kDesktopKey = L"Control Panel\\Desktop";

RECT ScreenRect(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  return r;
}

TEST(HighDpi, StatusBarSitsBelowTheToolBarWithTheClockInside) {
  app::instance = GetModuleHandleW(nullptr);
  ASSERT_TRUE(app::RegisterMainClass(app::instance));
  ResetSettingsToDefaults(app::deviceSettings);
  HWND window = app::CreateMainWindow(app::instance);
  ASSERT_NE(window, nullptr);
  ASSERT_EQ(GetDpiForWindow(window), kTestDpi);
  const RECT frame = ScreenRect(window);
  EXPECT_EQ(frame.right - frame.left, MulDiv(607, kTestDpi, 96));

  RECT client;
  GetClientRect(window, &client);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
  const RECT tools = ScreenRect(app::toolBar);
  const RECT status = ScreenRect(app::statusBar);
  EXPECT_GE(status.top, tools.bottom) << "the status bar covers the tool bar";
  EXPECT_EQ(status.bottom, client.bottom);
  EXPECT_EQ(status.right - status.left, client.right - client.left);
  RECT timePart{};
  ASSERT_TRUE(SendMessageW(app::statusBar, SB_GETRECT, 1, reinterpret_cast<LPARAM>(&timePart)));
  EXPECT_LT(timePart.left + 60, client.right - client.left) << "the clock lies outside the window";
  DestroyWindow(window);
}

// Dark pixels of the drawn pane list between two rows of the frame.
int InkBetween(HWND frame, int top, int bottom) { return testing::InkIn(frame, {0, top, 200, bottom}); }

TEST(HighDpi, TableTextIsScaledWithItsPositions) {
  testing::TestPanel t;
  dialogs::SharedDialogState() = {.layoutIndex = 11};  // " Div.16 ": sixteen rows
  testing::DialogHarness dialog(IDD_DIVISION_LAYOUT, dialogs::DivisionLayoutDialogProc, t.panel);
  testing::Pump(milliseconds(400));
  HWND frame = GetDlgItem(dialog.window, IDC_LAYOUT_PICTURE);
  const int row = MulDiv(20, kTestDpi, 96);
  const int last = MulDiv(26 + 20 * 15, kTestDpi, 96);  // where the sixteenth row starts
  EXPECT_GT(InkBetween(frame, last, last + row), 0) << "the last row is not at its scaled place";
  EXPECT_EQ(InkBetween(frame, last + row, last + 2 * row), 0) << "text below the last row";
  // 12 px text at 96 DPI is 18 px here: the ink of one row spans more than 12 px.
  int firstInk = -1, lastInk = -1;
  for (int y = last; y < last + row; ++y) {
    if (InkBetween(frame, y, y + 1) > 0) {
      if (firstInk < 0) firstInk = y;
      lastInk = y;
    }
  }
  EXPECT_GT(lastInk - firstInk, 12) << "the table font is not scaled";
}

// Runs this program again as a child that sees the test DPI.
int RunAtTestDpi() {
  DWORD dpi = kTestDpi;
  if (RegSetKeyValueW(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels", REG_DWORD, &dpi, sizeof dpi) != ERROR_SUCCESS) {
    return 3;
  }
  SetEnvironmentVariableW(kChildVariable, L"1");
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  DWORD code = 4;
  if (CreateProcessW(nullptr, GetCommandLineW(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child)) {
    WaitForSingleObject(child.hProcess, INFINITE);
    GetExitCodeProcess(child.hProcess, &code);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
  }
  RegDeleteKeyValueW(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels");
  return static_cast<int>(code);
}

}  // namespace
}  // namespace kelvrix

int main(int argc, char** argv) {
  if (GetEnvironmentVariableW(kelvrix::kChildVariable, nullptr, 0) == 0) return kelvrix::RunAtTestDpi();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
