// The result boxes as Win32 message boxes: task-modal, each preceded by the
// system question sound.
#pragma once

#include "link/result_messages.h"

namespace kelvrix {

class MessageBoxResults : public ResultMessages {
 public:
  void ShowSuccess(std::string_view text) override;
  void ShowError(std::string_view text) override;
  void ShowWarning(std::string_view text) override;
};

}  // namespace kelvrix
