// In-memory stand-ins for the message boxes and the transport, and a panel
// built from them, shared by the core tests.
#pragma once

#include <string>
#include <vector>

#include "link/panel.h"

namespace kelvrix::testing {

// The settings as ResetSettingsToDefaults leaves them.
inline DeviceSettings Defaults() {
  DeviceSettings s{};
  ResetSettingsToDefaults(s);
  return s;
}

struct Box {
  std::string kind;  // "success", "error" or "warning"
  std::string text;
  bool operator==(const Box&) const = default;
};

class RecordingMessages : public ResultMessages {
 public:
  void ShowSuccess(std::string_view text) override { boxes.push_back({"success", std::string(text)}); }
  void ShowError(std::string_view text) override { boxes.push_back({"error", std::string(text)}); }
  void ShowWarning(std::string_view text) override { boxes.push_back({"warning", std::string(text)}); }
  void ShowLinkError(std::string_view text) override { boxes.push_back({"link", std::string(text)}); }
  std::vector<Box> boxes;
};

class RecordingTransport : public LinkTransport {
 public:
  bool WriteSerial(std::string frame) override {
    serialFrames.push_back(std::move(frame));
    return serialWriteSucceeds;
  }
  bool SendOnSocket(std::string_view line) override {
    socketLines.emplace_back(line);
    return socketSendSucceeds;
  }
  void AwaitSocketReply(ResultMessages&) override { ++socketWaits; }
  void ExpectSocketReply() override { ++socketExpects; }
  bool SendToUnit(SocketHandle socket, std::string_view line) override {
    unitLines.emplace_back(socket, line);
    return true;
  }
  void TapUnits(UnitTap* units) override { tap = units; }
  void UntapUnits(UnitTap* units) override {
    if (tap == units) tap = nullptr;
  }

  std::vector<std::string> serialFrames;
  std::vector<std::pair<SocketHandle, std::string>> unitLines;
  UnitTap* tap = nullptr;
  std::vector<std::string> socketLines;
  bool serialWriteSucceeds = true;
  bool socketSendSucceeds = true;
  int socketWaits = 0;
  int socketExpects = 0;
};

struct TestPanel {
  TestPanel() { ResetSettingsToDefaults(settings); }

  DeviceSettings settings{};
  LinkState link;
  RecordingMessages messages;
  RecordingTransport transport;
  Panel panel{settings, link, messages, transport};
};

}  // namespace kelvrix::testing
