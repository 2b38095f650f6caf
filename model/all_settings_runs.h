// The two runs that move every setting at once: reading them all from a unit
// and writing them all back, one line per 100 ms tick. Each step is data here;
// the dialogs only pace them.
#pragma once

#include <string>

#include "model/command_catalogue.h"
#include "model/device_settings.h"

namespace kelvrix {

inline constexpr int kReadAllSteps = 160;
inline constexpr int kWriteAllSteps = 152;

// The request of read step 1..160, with CR LF: the titles, the six video
// adjustments of every channel, then kFixedReadRequests.
std::string ReadAllRequest(int step);

// Write step 1..152, built from the model: the titles, the video adjustments,
// then the forty fixed set commands. A title step first pads the channel's
// title in the model with blanks to eight characters. The dwell times are sent
// at their step: the "run in progress" guard of the single send does not apply
// to the run itself, though an all-zero set is still refused.
BuiltCommand WriteAllStep(DeviceSettings& settings, int step);

// Pads a title shorter than eight characters with trailing blanks.
void PadTitle(ChannelTitle& title);
// The title's bytes padded so, as a write would send them.
std::string PaddedTitle(const ChannelTitle& title);

// Sending a title, in the title dialog and in the write-all run: the model's
// title of channel index 0..15 is padded first, then built (or refused).
BuiltCommand PaddedTitleCommand(DeviceSettings& settings, int channel);

}  // namespace kelvrix
