// Every line the program sends to the unit: set commands built from the
// settings mirror, and read requests.
//
// A builder only builds: it returns the line, ending in CR LF, or the reason
// it refuses, and never sends. The Send layer (link/send_command.h) hands the
// line on or shows the refusal. Families of commands that differ only in their
// mnemonic and field are tables that the decoders share.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "model/device_settings.h"

namespace kelvrix {

enum class Refusal {
  None,
  AllDwellTimesZero,  // "全て0秒です"
  DuplicateChannel,   // "チャンネルが重複しています"
  TitleCharacter,     // "仕様以外の字が選択されてます"
  EmptyValue,         // "値が入力されていません": a hold time or port edit left empty
};

struct BuiltCommand {
  std::string text;  // the line with CR LF; empty when refused
  Refusal refusal = Refusal::None;

  bool refused() const { return refusal != Refusal::None; }
};

// The message the operator sees for a refusal (UTF-8).
std::string_view RefusalMessage(Refusal refusal);

// --- Families shared by builders, read requests and decoders ---------------

struct VideoAdjustItem {
  std::string_view mnemonic;  // "VAB"; set "VAB01000", read "RVAB01"
  ChannelValues DeviceSettings::*field;
  int digits;  // width of the value on the wire
  int maxValue;  // the largest the unit takes (and its dialog's box offers)
};
enum VideoAdjust { kBrightness, kContrast, kHue, kSharpness, kSaturationU, kSaturationV };
extern const std::array<VideoAdjustItem, 6> kVideoAdjustItems;

// Element 0 single screen, 1..5 Div.4, Div.6, Div.9, Div.12, Div.16.
inline constexpr std::array<std::string_view, 6> kAspectRatioMnemonics = {
    "SARS", "SARD4", "SARD6", "SARD9", "SARD12", "SARD16"};
inline constexpr std::array<std::string_view, 6> kTitleDisplayMnemonics = {
    "CTDS", "CTDD4", "CTDD6", "CTDD9", "CTDD12", "CTDD16"};

// The title character set of the unit.
bool IsTitleCharacter(char c);

// --- Set commands -----------------------------------------------------------

// Alarm
BuiltCommand BuildAP(const DeviceSettings& s);
BuiltCommand BuildADT(const DeviceSettings& s);
BuiltCommand BuildAD(const DeviceSettings& s);
BuiltCommand BuildAM(const DeviceSettings& s);
BuiltCommand BuildAR(const DeviceSettings& s);

// Histories (clear)
BuiltCommand BuildAHD();
BuiltCommand BuildVLHD();

// Aspect ratio, element 0..5
BuiltCommand BuildAspectRatio(const DeviceSettings& s, int element);

// Automatic sequence. DwellTimesLine is the CASTM line without the all-zero
// refusal: the unit reports its times that way whatever they are.
BuiltCommand BuildCASTM(const DeviceSettings& s);
std::string DwellTimesLine(const DeviceSettings& s);
BuiltCommand BuildCASM(const DeviceSettings& s);

// Date and time: values come from the dialog, not the model
BuiltCommand BuildDSY(int year);  // four-digit year, 2000..2099
BuiltCommand BuildDSM(int month);
BuiltCommand BuildDSD(int day);
BuiltCommand BuildTSH(int hour);
BuiltCommand BuildTSM(int minute);
BuiltCommand BuildTSS(int second);
BuiltCommand BuildTSA();
BuiltCommand BuildTSDR(const DeviceSettings& s);
BuiltCommand BuildTSDO(const DeviceSettings& s);

// Other settings
BuiltCommand BuildCI(const DeviceSettings& s);
BuiltCommand BuildBL(const DeviceSettings& s);
BuiltCommand BuildCDS(const DeviceSettings& s);
BuiltCommand BuildMOF();

// The unit's network settings (sent on the serial line only)
BuiltCommand BuildIA(const DeviceSettings& s);
BuiltCommand BuildGA(const DeviceSettings& s);
BuiltCommand BuildAA(const DeviceSettings& s);
BuiltCommand BuildSM(const DeviceSettings& s);
BuiltCommand BuildPN(const DeviceSettings& s);
BuiltCommand BuildECT(const DeviceSettings& s);
BuiltCommand BuildEKA(const DeviceSettings& s);
BuiltCommand BuildETR(const DeviceSettings& s);

// Division layout of pattern 0..11 (kDivisionPatterns order). LayoutLine is
// the SPD line without the duplicate refusal, as the unit reports a layout.
BuiltCommand BuildLayout(const DeviceSettings& s, int division);
std::string LayoutLine(const DeviceSettings& s, int division);

// Screen: POS from powerOnScreen, CS/CD/CCAS from screenSwitch
BuiltCommand BuildPowerOnScreen(const DeviceSettings& s);
BuiltCommand BuildScreenSwitch(const DeviceSettings& s);
BuiltCommand BuildSS(const DeviceSettings& s);

// Channel title of channel index 0..15; the title must be 8 characters
BuiltCommand BuildCT(const DeviceSettings& s, int channel);

// Title display, element 0..5
BuiltCommand BuildTitleDisplay(const DeviceSettings& s, int element);

// A builder of one element (a screen kind, a division) as a builder of the
// whole settings, for tables of set buttons and steps.
template <BuiltCommand (*Build)(const DeviceSettings&, int), int Element>
BuiltCommand ForElement(const DeviceSettings& s) {
  return Build(s, Element);
}

// Video adjustment of channel index 0..15
BuiltCommand BuildVideoAdjust(const DeviceSettings& s, VideoAdjust item, int channel);

// Video loss
BuiltCommand BuildVL(const DeviceSettings& s);
BuiltCommand BuildVLD(const DeviceSettings& s);
BuiltCommand BuildVLBC(const DeviceSettings& s);

// --- Read requests ----------------------------------------------------------

// The requests that take no argument, in the order the read-all run sends them.
extern const std::array<std::string_view, 48> kFixedReadRequests;

std::string BuildTitleReadRequest(int channel);                       // RCT01
std::string BuildVideoAdjustReadRequest(VideoAdjust item, int channel);  // RVAB01
std::string BuildAlarmHistoryReadRequest(int entry);                  // RAH001, entry 1..100
std::string BuildVideoLossHistoryReadRequest(int entry);              // RVLH001

}  // namespace kelvrix
