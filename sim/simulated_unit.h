// One simulated Kelvrix unit: answers each command line the way the unit does.
//
// Set commands are applied to the unit's own settings mirror with the same
// decoders the panel uses (the unit reports a value in the form of its set
// command), and answered "GO". Read requests are answered from the mirror in
// the reply layouts, built with the panel's builders where a builder writes
// exactly what the unit holds, so both sides share one wire vocabulary.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "model/device_settings.h"

namespace kelvrix::sim {

class SimulatedUnit {
 public:
  SimulatedUnit();

  // The reply to one command line (with or without CR LF), ending in CR LF.
  std::string Answer(std::string_view command);

  // Every setting the panel can read back takes a value other than its
  // default, so a test sees which ones a read really fills.
  void UseOffDefaultSettings();

  // A history holding the last hundred of `count` generated events.
  void FillAlarmHistory(int count);
  void FillVideoLossHistory(int count);
  // Events seen since the start, as counts ("alarms 7" in the mode): a
  // history changes only when its count does, so that one erased stays so.
  void SeeEvents(int alarms, int videoLosses);

  DeviceSettings settings{};
  std::string version = "1.00";

 private:
  std::optional<std::string> AnswerRead(std::string_view request);
  int alarmsSeen_ = 0, videoLossesSeen_ = 0;
  bool Apply(std::string_view command);
};

// "AH012 03 - 26/12/08 19:30:05" or "AH012 N", the layout the unit reports.
std::string FormatHistoryReply(std::string_view prefix, int entry, const HistoryRecord& record);

}  // namespace kelvrix::sim
