// A panel whose boxes and transport do nothing, for the fuzz target and the
// benchmarks, which only care about what dispatch does to the mirror.
#pragma once

#include <string>
#include <string_view>

#include "link/panel.h"

namespace kelvrix::testing {

class NullMessages : public ResultMessages {
 public:
  void ShowSuccess(std::string_view) override {}
  void ShowError(std::string_view) override {}
  void ShowWarning(std::string_view) override {}
  void ShowLinkError(std::string_view) override {}
};

struct NullPanel {
  NullPanel() { ResetSettingsToDefaults(settings); }

  DeviceSettings settings{};
  LinkState link;
  NullMessages messages;
  NoTransport transport;
  Panel panel{settings, link, messages, transport};
};

}  // namespace kelvrix::testing
