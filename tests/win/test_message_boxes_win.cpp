// The result boxes as the operator sees them: caption, text, icon and owner.
#include <gtest/gtest.h>

#include "box_watcher.h"
#include "link/message_boxes_win.h"

namespace kelvrix {
namespace {

using testing::BoxWatcher;

TEST(ResultBoxes, SuccessHasNoIcon) {
  BoxWatcher watcher;
  MessageBoxResults().ShowSuccess("Socket ＯＫ");
  ASSERT_EQ(watcher.boxes.size(), 1u);
  EXPECT_EQ(watcher.boxes[0].caption, L"Success");
  EXPECT_EQ(watcher.boxes[0].text, L"Socket ＯＫ");
  EXPECT_EQ(watcher.boxes[0].icon, nullptr);
}

TEST(ResultBoxes, ErrorShowsTheErrorIconWithoutOwner) {
  BoxWatcher watcher;
  MessageBoxResults().ShowError("No Connect");
  ASSERT_EQ(watcher.boxes.size(), 1u);
  EXPECT_EQ(watcher.boxes[0].caption, L"Error");
  EXPECT_EQ(watcher.boxes[0].text, L"No Connect");
  EXPECT_EQ(watcher.boxes[0].icon, LoadIconW(nullptr, IDI_HAND));
  EXPECT_EQ(watcher.boxes[0].owner, nullptr);
}

TEST(ResultBoxes, WarningIsOwnedByTheActiveWindowAndShowsJapanese) {
  HWND window = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                200, 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(window, nullptr);
  SetActiveWindow(window);
  ASSERT_EQ(GetActiveWindow(), window);

  BoxWatcher watcher;
  MessageBoxResults().ShowWarning("Socket が接続されていません");
  ASSERT_EQ(watcher.boxes.size(), 1u);
  EXPECT_EQ(watcher.boxes[0].caption, L"Error");
  EXPECT_EQ(watcher.boxes[0].text, L"Socket が接続されていません");
  EXPECT_EQ(watcher.boxes[0].icon, LoadIconW(nullptr, IDI_EXCLAMATION));
  EXPECT_EQ(watcher.boxes[0].owner, window);

  // The link's own boxes too: the TCP/IP dialog under one cannot be pressed again.
  MessageBoxResults().ShowLinkError("接続できません");
  ASSERT_EQ(watcher.boxes.size(), 2u);
  EXPECT_EQ(watcher.boxes[1].caption, L"Kelvrix");
  EXPECT_EQ(watcher.boxes[1].icon, LoadIconW(nullptr, IDI_HAND));
  EXPECT_EQ(watcher.boxes[1].owner, window);
  DestroyWindow(window);
}

}  // namespace
}  // namespace kelvrix
