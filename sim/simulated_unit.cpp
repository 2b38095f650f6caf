#include "sim/simulated_unit.h"

#include <algorithm>

#include <cctype>
#include <functional>
#include <map>

#include "model/command_catalogue.h"
#include "model/digits.h"
#include "model/reply_decoders.h"

namespace kelvrix::sim {

namespace {

constexpr std::string_view kGo = "GO\r\n";
constexpr std::string_view kCommandError = "E3\r\n";

using ReplyBuilder = std::function<std::string(const DeviceSettings&)>;

// Replies are built the way the panel builds its set commands, except where
// the panel applies a rule of its own when sending: the unit reports what it
// holds. The time register goes out as "ETR1" while keep-alive is off, yet
// the unit still holds and reports the register it was given.
std::string TimeRegisterReply(const DeviceSettings& s) {
  return std::string("ETR") + static_cast<char>('1' + s.timeRegister) + "\r\n";
}

// The unit reports its network values under "E" + the set command's mnemonic.
ReplyBuilder NetworkReply(BuiltCommand (*build)(const DeviceSettings&)) {
  return [build](const DeviceSettings& s) {
    std::string reply = "E";
    return reply += build(s).text;
  };
}

ReplyBuilder Reply(BuiltCommand (*build)(const DeviceSettings&)) {
  return [build](const DeviceSettings& s) { return build(s).text; };
}

const std::map<std::string, ReplyBuilder, std::less<>>& FixedReplies() {
  static const auto replies = [] {
    std::map<std::string, ReplyBuilder, std::less<>> m{
        {"RAD", Reply(BuildAD)},    {"RADT", Reply(BuildADT)},    {"RAM", Reply(BuildAM)},
        {"RAP", Reply(BuildAP)},    {"RAR", Reply(BuildAR)},      {"RBL", Reply(BuildBL)},
        {"RCASM", Reply(BuildCASM)}, {"RCDS", Reply(BuildCDS)},   {"RCI", Reply(BuildCI)},
        {"RPOS", Reply(BuildPowerOnScreen)}, {"RSS", Reply(BuildSS)}, {"RTSD", Reply(BuildTSDO)},
        {"RTSDR", Reply(BuildTSDR)}, {"RECT", Reply(BuildECT)},   {"REKA", Reply(BuildEKA)},
        {"RETR", TimeRegisterReply},  {"REIA", NetworkReply(BuildIA)}, {"REGA", NetworkReply(BuildGA)},
        {"REAA", NetworkReply(BuildAA)}, {"RESM", NetworkReply(BuildSM)}, {"REPN", NetworkReply(BuildPN)},
        {"REMA", [](const DeviceSettings& s) { return std::string("EMA") + s.macAddress + "\r\n"; }},
        // Dwell times are reported even when all are zero, layouts duplicates and all.
        {"RCASTM", DwellTimesLine},
    };
    for (int e = 0; e < 6; ++e) {
      m[std::string("R").append(kAspectRatioMnemonics[e])] = [e](const DeviceSettings& s) {
        return BuildAspectRatio(s, e).text;
      };
      m[std::string("R").append(kTitleDisplayMnemonics[e])] = [e](const DeviceSettings& s) {
        return BuildTitleDisplay(s, e).text;
      };
    }
    for (int d = 0; d < kDivisionPatternCount; ++d) {
      m[std::string("R").append(kDivisionPatterns[d].mnemonic)] = [d](const DeviceSettings& s) { return LayoutLine(s, d); };
    }
    return m;
  }();
  return replies;
}

// Set commands that only act on the unit and change nothing the panel reads.
// A letter after the stem makes another command: "CD4A" switches the screen,
// "CDSS" sets the character size.
bool IsActionCommand(std::string_view command) {
  for (std::string_view stem : {"CS", "CD", "CCAS", "DSY", "DSM", "DSD", "TSH", "TSM", "TSS", "TSA", "MOF"}) {
    if (command.starts_with(stem) && (command.size() == stem.size() || !std::isupper(static_cast<unsigned char>(command[stem.size()])))) {
      return true;
    }
  }
  return false;
}

// Which screen a switch line shows, kept so that a test can see the switch
// arrived; no request reads it back.
void RememberScreenShown(std::string_view command, DeviceSettings& settings) {
  DeviceSettings shown = settings;
  for (shown.screenSwitch = 0; shown.screenSwitch <= kAutoSequence; ++shown.screenSwitch) {
    const std::string line = BuildScreenSwitch(shown).text;
    if (line.substr(0, line.size() - 2) == command) {
      settings.screenSwitch = shown.screenSwitch;
      return;
    }
  }
}

// The last hundred of `count` generated events, oldest first; event k is
// the same whatever the count, so a count raised adds only new entries.
void Fill(History& history, int count, int firstChannelOffset) {
  const int held = std::min(count, kHistoryEntryCount);
  for (int entry = 0; entry < kHistoryEntryCount; ++entry) {
    const int k = count - held + entry;
    history[entry] = entry >= held ? HistoryRecord{}
                                   : HistoryRecord{(k + firstChannelOffset) % kChannelCount + 1, 26, 12, 1 + k % 28,
                                                   k % 24, k % 60, (7 * k) % 60};
  }
}

}  // namespace

std::string FormatHistoryReply(std::string_view prefix, int entry, const HistoryRecord& record) {
  std::string line = std::string(prefix) + PaddedDecimal(entry, 3) + " ";
  if (record.channel == kEmptyHistoryChannel) return line + "N\r\n";
  auto two = [](int value) { return PaddedDecimal(value, 2); };
  return line + two(record.channel) + " - " + two(record.year) + "/" + two(record.month) + "/" + two(record.day) +
         " " + two(record.hour) + ":" + two(record.minute) + ":" + two(record.second) + "\r\n";
}

SimulatedUnit::SimulatedUnit() { ResetSettingsToDefaults(settings); }

void SimulatedUnit::UseOffDefaultSettings() {
  DeviceSettings& s = settings;
  s.alarmMode = 1;
  CopyText(s.alarmHoldTime, "123");
  s.alarmInputPolarity = 1;
  s.alarmDisplay = 0;
  s.alarmReturn = 0;
  s.autoSequenceMode = 0;
  for (int k = 0; k < kDwellStepCount; ++k) s.autoSequenceDwell[k] = 99 - k;
  for (int e = 0; e < 6; ++e) s.aspectRatio[e] = e == 4 ? 0 : 1;
  for (int e = 0; e < 6; ++e) s.titleDisplay[e] = 0;
  for (int c = 0; c < kChannelCount; ++c) {
    CopyText(s.channelTitle[c], "CAM-" + PaddedDecimal(c + 1, 2) + "\xDF.");
    s.videoBrightness[c] = 200 + c;
    s.videoContrast[c] = 10 + c;
    s.videoHue[c] = 30 + c;
    s.videoSharpness[c] = 15 - c % 14;  // never the default 1
    s.videoSaturationU[c] = 60 + c;
    s.videoSaturationV[c] = 250 - c;
  }
  for (int d = 0; d < kDivisionPatternCount; ++d) {
    const auto panes = LayoutPanes(s, d);
    for (int j = 0; j < static_cast<int>(panes.size()); ++j) panes[j] = (2 * kChannelCount - 1 - j - d) % kChannelCount;
  }
  s.powerOnScreen = 25;
  s.screenSize = 2;
  s.connectorInput = 1;
  s.borderLine = 2;
  s.characterSize = 1;
  s.dateTimeDisplay = 0;
  s.dateTimeDisplayForm = 6;
  s.unitIpAddress = {192, 168, 1, 3};
  s.unitGatewayAddress = {192, 168, 1, 254};
  s.unitActiveAddress = {10, 0, 0, 7};
  s.unitSubnetClass = 1;
  CopyText(s.portNumber, "10001");
  s.connectionTry = 1;
  s.keepAlive = 1;
  s.timeRegister = 2;
  CopyText(s.macAddress, "00-1A-2B-3C-4D-5E");
  version = "2.31";
  CopyText(s.firmwareVersion, version);
}

void SimulatedUnit::FillAlarmHistory(int count) {
  Fill(settings.alarmHistory, count, 0);
  alarmsSeen_ = count;
}

void SimulatedUnit::FillVideoLossHistory(int count) {
  Fill(settings.videoLossHistory, count, 5);
  videoLossesSeen_ = count;
}

void SimulatedUnit::SeeEvents(int alarms, int videoLosses) {
  if (alarms >= 0 && alarms != alarmsSeen_) FillAlarmHistory(alarms);
  if (videoLosses >= 0 && videoLosses != videoLossesSeen_) FillVideoLossHistory(videoLosses);
}

std::string SimulatedUnit::Answer(std::string_view command) {
  while (!command.empty() && (command.back() == '\n' || command.back() == '\r')) command.remove_suffix(1);
  if (auto reply = AnswerRead(command)) return *reply;
  return Apply(command) ? std::string(kGo) : std::string(kCommandError);
}

std::optional<std::string> SimulatedUnit::AnswerRead(std::string_view request) {
  const auto& fixed = FixedReplies();
  if (auto it = fixed.find(request); it != fixed.end()) return it->second(settings);
  if (request == "RVN") return "Ver. " + version + "\r\n";

  auto numberAfter = [&](std::string_view stem, std::size_t digits, int low, int high) -> std::optional<int> {
    if (!request.starts_with(stem) || request.size() != stem.size() + digits ||
        !IsDigits(request, stem.size(), digits)) {
      return std::nullopt;
    }
    const int n = digits == 2 ? ParseTwoDigits(&request[stem.size()]) : ParseThreeDigits(&request[stem.size()]);
    if (n < low || n > high) return std::nullopt;
    return n;
  };
  if (auto entry = numberAfter("RAH", 3, 1, kHistoryEntryCount)) {
    return FormatHistoryReply("AH", *entry, settings.alarmHistory[*entry - 1]);
  }
  if (auto entry = numberAfter("RVLH", 3, 1, kHistoryEntryCount)) {
    return FormatHistoryReply("VLH", *entry, settings.videoLossHistory[*entry - 1]);
  }
  if (auto channel = numberAfter("RCT", 2, 1, kChannelCount)) {
    return "CT" + PaddedDecimal(*channel, 2) + std::string(settings.channelTitle[*channel - 1], kTitleLength) + "\r\n";
  }
  for (int item = 0; item < static_cast<int>(kVideoAdjustItems.size()); ++item) {
    const std::string stem = std::string("R").append(kVideoAdjustItems[item].mnemonic);
    if (auto channel = numberAfter(stem, 2, 1, kChannelCount)) {
      return BuildVideoAdjust(settings, static_cast<VideoAdjust>(item), *channel - 1).text;
    }
  }
  return std::nullopt;
}

bool SimulatedUnit::Apply(std::string_view command) {
  if (command == "AHD") {
    for (auto& record : settings.alarmHistory) record.channel = kEmptyHistoryChannel;
    return true;
  }
  if (command == "VLHD") {
    for (auto& record : settings.videoLossHistory) record.channel = kEmptyHistoryChannel;
    return true;
  }
  if (IsActionCommand(command)) {
    RememberScreenShown(command, settings);
    return true;
  }
  for (std::string_view stem : {"IA", "GA", "AA", "SM", "PN"}) {
    if (command.starts_with(stem)) {
      const std::string reply = std::string("E").append(command);
      const ReplyDecoder* decoder = FindReplyDecoder(reply);
      return decoder && decoder->decode(reply, settings);
    }
  }
  const ReplyDecoder* decoder = FindReplyDecoder(command);
  return decoder != nullptr && decoder->prefix != kVersionPrefix && decoder->decode(command, settings);
}

}  // namespace kelvrix::sim
