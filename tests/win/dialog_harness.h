// Opens a setting dialog in-process from its template, on a panel of the
// test's own, and drives it by control id. Used by every dialog test.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fakes.h"
#include "link/panel.h"

namespace kelvrix::testing {

// Runs the thread's message loop until `done` holds or `limit` passes.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);
void Pump(std::chrono::milliseconds time);

// Dark pixels of a drawn table inside `area` of its frame (client pixels).
int InkIn(HWND frame, RECT area);

class DialogHarness {
 public:
  DialogHarness(int templateId, DLGPROC procedure, Panel& panel);
  // A dialog whose init parameter is not a Panel, such as the link dialogs'.
  DialogHarness(int templateId, DLGPROC procedure, LPARAM initParam);
  ~DialogHarness();
  DialogHarness(const DialogHarness&) = delete;
  DialogHarness& operator=(const DialogHarness&) = delete;

  // Selects an entry as the operator would: the selection, then its notification.
  void Choose(int comboId, int index);
  void Click(int buttonId);
  void Type(int editId, const std::wstring& text);

  std::vector<std::wstring> Entries(int comboId) const;
  std::wstring SelectedText(int comboId) const;
  int Selection(int comboId) const;
  bool IsEnabled(int id) const;
  bool IsVisible(int id) const;
  std::wstring Caption() const;
  std::wstring Text(int id) const;  // an edit's or static's text
  // A list view's rows: "1" or "0" for the check box, then each column's text.
  std::vector<std::vector<std::wstring>> Rows(int listId) const;

  HWND window;
};

// Every text a control is given while it lives, including those replaced
// within the same message.
class TextRecorder {
 public:
  TextRecorder(HWND dialog, int id);
  ~TextRecorder();
  TextRecorder(const TextRecorder&) = delete;
  TextRecorder& operator=(const TextRecorder&) = delete;

  std::vector<std::wstring> texts;

 private:
  HWND control_;
};

using Lines = std::vector<std::string>;

// A setting dialog's test: a panel of its own, and the shared selections as
// the program starts with them.
class SettingDialogTest : public ::testing::Test {
 protected:
  void SetUp() override;
  Lines Sent() const { return t.transport.serialFrames; }
  std::vector<Box>& Boxes() { return t.messages.boxes; }
  TestPanel t;
};

}  // namespace kelvrix::testing
