// Finds the message boxes and modal dialogs this thread opens, records what
// they show and closes them. It runs from a thread timer, which fires inside
// the box's own message loop, so a test can call code that shows a modal box
// and go on. A file dialog is answered by typing the next of `fileChoices`
// into its file name box and pressing OK, or by Cancel when that is empty.
#pragma once

#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

namespace kelvrix::testing {

struct SeenBox {
  std::wstring caption;
  std::wstring text;  // a file dialog's filters, as "データ(*.dat)|すべて(*.*)"
  HICON icon;  // nullptr when the box shows none
  HWND owner;
};

class BoxWatcher {
 public:
  BoxWatcher();
  ~BoxWatcher();
  BoxWatcher(const BoxWatcher&) = delete;
  BoxWatcher& operator=(const BoxWatcher&) = delete;

  std::vector<SeenBox> boxes;  // every box seen, in the order they appeared
  int answer = IDOK;           // the button each box is closed with...
  std::vector<int> answers;    // ...unless these are left: the next box takes the first
  std::vector<std::wstring> fileChoices;
  // How long a box stays up before it is closed, and the most that were up at once.
  std::chrono::milliseconds holdFor{0};
  std::size_t mostOpenAtOnce = 0;

 private:
  struct OpenBox {
    HWND window;
    std::chrono::steady_clock::time_point seen;
    bool closing;
    bool fileDialog;
  };
  void Answer(OpenBox& box);
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
  static BOOL CALLBACK OnThreadWindow(HWND window, LPARAM);
  void Watch();
  UINT_PTR timer_;
  std::vector<OpenBox> open_;
};

}  // namespace kelvrix::testing
