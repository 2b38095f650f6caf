#include "model/all_settings_runs.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace kelvrix {

namespace {

// The six video adjustments in run order: brightness, contrast, hue,
// sharpness, saturation U and V, each for channels 1..16.
constexpr int kVideoSteps = 6 * kChannelCount;
constexpr int kFirstFixedStep = kChannelCount + kVideoSteps + 1;  // 113 in both runs

using StepBuilder = BuiltCommand (*)(const DeviceSettings&);

constexpr std::array<StepBuilder, kWriteAllSteps - kFirstFixedStep + 1> kFixedWriteSteps = {
    BuildAD, BuildADT, BuildAM, BuildAP, BuildAR, BuildBL, BuildCI, BuildCASM, BuildCASTM, BuildCDS,
    ForElement<BuildTitleDisplay, 0>, ForElement<BuildTitleDisplay, 1>, ForElement<BuildTitleDisplay, 2>,
    ForElement<BuildTitleDisplay, 3>, ForElement<BuildTitleDisplay, 4>, ForElement<BuildTitleDisplay, 5>,
    BuildPowerOnScreen,
    ForElement<BuildAspectRatio, 0>, ForElement<BuildAspectRatio, 1>, ForElement<BuildAspectRatio, 2>,
    ForElement<BuildAspectRatio, 3>, ForElement<BuildAspectRatio, 4>, ForElement<BuildAspectRatio, 5>,
    ForElement<BuildLayout, 0>, ForElement<BuildLayout, 1>, ForElement<BuildLayout, 2>, ForElement<BuildLayout, 3>,
    ForElement<BuildLayout, 4>, ForElement<BuildLayout, 5>, ForElement<BuildLayout, 6>, ForElement<BuildLayout, 7>,
    ForElement<BuildLayout, 8>, ForElement<BuildLayout, 9>, ForElement<BuildLayout, 10>, ForElement<BuildLayout, 11>,
    BuildTSDO, BuildTSDR, BuildVL, BuildVLD, BuildVLBC,
};

static_assert(kFixedReadRequests.size() == kReadAllSteps - kFirstFixedStep + 1);

struct VideoStep {
  VideoAdjust item;
  int channel;
};
VideoStep VideoStepAt(int index) {  // index 0..95 among the video steps
  return {static_cast<VideoAdjust>(index / kChannelCount), index % kChannelCount};
}

}  // namespace

std::string ReadAllRequest(int step) {
  step = std::clamp(step, 1, kReadAllSteps);
  if (step <= kChannelCount) return BuildTitleReadRequest(step - 1);
  if (step < kFirstFixedStep) {
    const VideoStep video = VideoStepAt(step - kChannelCount - 1);
    return BuildVideoAdjustReadRequest(video.item, video.channel);
  }
  return std::string(kFixedReadRequests[step - kFirstFixedStep]);
}

void PadTitle(ChannelTitle& title) {
  const std::size_t length = strnlen(title, sizeof title);
  if (length >= kTitleLength) return;
  std::memset(title + length, ' ', kTitleLength - length);
  title[kTitleLength] = '\0';
}

std::string PaddedTitle(const ChannelTitle& title) {
  ChannelTitle padded;
  std::memcpy(padded, title, sizeof padded);
  padded[kTitleLength] = '\0';
  PadTitle(padded);
  return std::string(padded, strnlen(padded, kTitleLength));
}

BuiltCommand PaddedTitleCommand(DeviceSettings& settings, int channel) {
  channel = std::clamp(channel, 0, kChannelCount - 1);
  PadTitle(settings.channelTitle[channel]);
  return BuildCT(settings, channel);
}

BuiltCommand WriteAllStep(DeviceSettings& settings, int step) {
  step = std::clamp(step, 1, kWriteAllSteps);
  if (step <= kChannelCount) return PaddedTitleCommand(settings, step - 1);
  if (step < kFirstFixedStep) {
    const VideoStep video = VideoStepAt(step - kChannelCount - 1);
    return BuildVideoAdjust(settings, video.item, video.channel);
  }
  return kFixedWriteSteps[step - kFirstFixedStep](settings);
}

}  // namespace kelvrix
