// The result boxes as Win32 message boxes, each preceded by the system
// question sound, shown one at a time through a ResultBoxGate.
#pragma once

#include <windows.h>

#include "link/result_boxes.h"

namespace kelvrix {

class MessageBoxScreen : public BoxScreen {
 public:
  void Show(const ResultBox& box) override;
  // The box on screen shows its count in its caption.
  void Recount(const ResultBox& box) override;

 private:
  HWND shown_ = nullptr;
};

// The program's result messages: success and error boxes task-modal,
// warnings and link errors modal to the active window.
class MessageBoxResults : public GatedResults {
 public:
  MessageBoxResults() : GatedResults(gate_) {}

 private:
  MessageBoxScreen screen_;
  ResultBoxGate gate_{screen_};
};

}  // namespace kelvrix
