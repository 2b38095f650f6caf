// Finds the message boxes this thread opens, records what they show and
// closes them. It runs from a thread timer, which fires inside the box's own
// message loop, so a test can call code that shows a modal box and go on.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace kelvrix::testing {

struct SeenBox {
  std::wstring caption;
  std::wstring text;
  HICON icon;  // nullptr when the box shows none
  HWND owner;
};

class BoxWatcher {
 public:
  BoxWatcher();
  ~BoxWatcher();
  BoxWatcher(const BoxWatcher&) = delete;
  BoxWatcher& operator=(const BoxWatcher&) = delete;

  std::vector<SeenBox> boxes;
  int answer = IDOK;  // the button each box is closed with

 private:
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
  static BOOL CALLBACK OnThreadWindow(HWND window, LPARAM);
  UINT_PTR timer_;
  HWND lastClosed_ = nullptr;
};

}  // namespace kelvrix::testing
