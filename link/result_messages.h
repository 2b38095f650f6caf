// The short result and error boxes the whole program uses.
//
// The Win32 build shows message boxes (with the system question sound first),
// one at a time through the ResultBoxGate; tests record the calls. Texts are UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace kelvrix {

class ResultMessages {
 public:
  virtual ~ResultMessages() = default;
  // Caption "Success", no icon.
  virtual void ShowSuccess(std::string_view text) = 0;
  // Caption "Error", error icon.
  virtual void ShowError(std::string_view text) = 0;
  // Caption "Error", warning icon, owned by the active window.
  virtual void ShowWarning(std::string_view text) = 0;
  // The TCP/IP link's own failures ("接続できません", "WINSOCK.DLL…"):
  // caption "Kelvrix", error icon, modal to the active window.
  virtual void ShowLinkError(std::string_view text) = 0;
  // True while a box is up: a run pauses until the operator has closed it.
  virtual bool Showing() const { return false; }
};

// What the dispatcher reports while a maintenance tool talks to the unit:
// kept for the tool's list, never a box.
class NotedFailures : public ResultMessages {
 public:
  void ShowSuccess(std::string_view) override {}
  void ShowError(std::string_view text) override { last = text; }
  void ShowWarning(std::string_view text) override { last = text; }
  void ShowLinkError(std::string_view text) override { last = text; }
  std::string last;
};

}  // namespace kelvrix
