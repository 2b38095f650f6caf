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

template <BuiltCommand (*Build)(const DeviceSettings&, int), int Element>
BuiltCommand Of(const DeviceSettings& s) {
  return Build(s, Element);
}

constexpr std::array<StepBuilder, kWriteAllSteps - kFirstFixedStep + 1> kFixedWriteSteps = {
    BuildAD, BuildADT, BuildAM, BuildAP, BuildAR, BuildBL, BuildCI, BuildCASM, BuildCASTM, BuildCDS,
    Of<BuildTitleDisplay, 0>, Of<BuildTitleDisplay, 1>, Of<BuildTitleDisplay, 2>,
    Of<BuildTitleDisplay, 3>, Of<BuildTitleDisplay, 4>, Of<BuildTitleDisplay, 5>,
    BuildPowerOnScreen,
    Of<BuildAspectRatio, 0>, Of<BuildAspectRatio, 1>, Of<BuildAspectRatio, 2>,
    Of<BuildAspectRatio, 3>, Of<BuildAspectRatio, 4>, Of<BuildAspectRatio, 5>,
    Of<BuildLayout, 0>, Of<BuildLayout, 1>, Of<BuildLayout, 2>, Of<BuildLayout, 3>,
    Of<BuildLayout, 4>, Of<BuildLayout, 5>, Of<BuildLayout, 6>, Of<BuildLayout, 7>,
    Of<BuildLayout, 8>, Of<BuildLayout, 9>, Of<BuildLayout, 10>, Of<BuildLayout, 11>,
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

void PadTitle(char (&title)[10]) {
  const std::size_t length = strnlen(title, sizeof title);
  if (length >= kTitleLength) return;
  std::memset(title + length, ' ', kTitleLength - length);
  title[kTitleLength] = '\0';
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
