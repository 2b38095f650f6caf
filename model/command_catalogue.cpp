// Builders of every set command and read request.
//
// Each builder starts from the command's template and overwrites only its
// variable characters, so a line that holds a fixed example digit (ETR1 with
// keep-alive off) goes out exactly as the template reads.
#include "model/command_catalogue.h"

#include <algorithm>
#include <cstring>

#include "model/digits.h"

namespace kelvrix {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// One of `letters`, chosen by a 0-based value. Values outside the list take
// the nearest end, so a corrupt value still yields a well-formed line.
char Pick(std::string_view letters, int32_t value) {
  const auto last = static_cast<int32_t>(letters.size()) - 1;
  return letters[std::clamp(value, 0, last)];
}

char OnOff(int32_t value) { return value != 0 ? 'N' : 'F'; }

BuiltCommand WithCharacter(std::string_view tmpl, std::size_t pos, char c) {
  std::string line(tmpl);
  line[pos] = c;
  return {line};
}

BuiltCommand WithTwoDigits(std::string_view tmpl, std::size_t pos, int value) {
  std::string line(tmpl);
  FormatTwoDigits(value, &line[pos]);
  return {line};
}

void AppendTwoDigits(std::string& line, int value) {
  char digits[2];
  FormatTwoDigits(value, digits);
  line.append(digits, 2);
}

void AppendThreeDigits(std::string& line, int value) {
  char digits[3];
  FormatThreeDigits(value, digits);
  line.append(digits, 3);
}

// A digit text shorter than `width` goes out with leading zeros ("5" -> "005").
void AppendZeroPadded(std::string& line, const char* text, std::size_t width) {
  const std::size_t length = strnlen(text, width);
  line.append(width - length, '0');
  line.append(text, length);
}

BuiltCommand AddressCommand(std::string_view mnemonic, const Ipv4Address& address) {
  std::string line(mnemonic);
  for (std::size_t g = 0; g < address.size(); ++g) {
    if (g > 0) line += '.';
    AppendThreeDigits(line, address[g]);
  }
  line += kLineEnd;
  return {line};
}

}  // namespace

std::string_view RefusalMessage(Refusal refusal) {
  switch (refusal) {
    case Refusal::AllDwellTimesZero: return "全て0秒です";
    case Refusal::DuplicateChannel: return "チャンネルが重複しています";
    case Refusal::TitleCharacter: return "仕様以外の字が選択されてます";
    case Refusal::EmptyValue: return "値が入力されていません";
    case Refusal::None: break;
  }
  return {};
}

const std::array<VideoAdjustItem, 6> kVideoAdjustItems = {{
    {"VAB", &DeviceSettings::videoBrightness, 3, 255},
    {"VAC", &DeviceSettings::videoContrast, 3, 255},
    {"VAH", &DeviceSettings::videoHue, 3, 255},
    {"VASH", &DeviceSettings::videoSharpness, 2, 15},
    {"VASU", &DeviceSettings::videoSaturationU, 3, 255},
    {"VASV", &DeviceSettings::videoSaturationV, 3, 255},
}};

bool IsTitleCharacter(char c) {
  constexpr std::string_view kSymbols = " []+-/:.";
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == '\xDF' ||
         (c != '\0' && kSymbols.find(c) != std::string_view::npos);
}

// --- Alarm ------------------------------------------------------------------

BuiltCommand BuildAP(const DeviceSettings& s) {
  return WithCharacter("APM\r\n", 2, s.alarmInputPolarity == 0 ? 'M' : 'B');
}

// A digit text padded with zeros to its width; empty, it is refused rather
// than sent as zero.
BuiltCommand BuildADT(const DeviceSettings& s) {
  if (s.alarmHoldTime[0] == '\0') return {{}, Refusal::EmptyValue};
  std::string line("ADT");
  AppendZeroPadded(line, s.alarmHoldTime, 3);
  line += kLineEnd;
  return {line};
}

BuiltCommand BuildAD(const DeviceSettings& s) { return WithCharacter("ADOF\r\n", 3, OnOff(s.alarmDisplay)); }
BuiltCommand BuildAM(const DeviceSettings& s) {
  return WithCharacter("AMI\r\n", 2, s.alarmMode == 0 ? 'I' : 'E');
}
BuiltCommand BuildAR(const DeviceSettings& s) { return WithCharacter("AROF\r\n", 3, OnOff(s.alarmReturn)); }

BuiltCommand BuildAHD() { return {"AHD\r\n"}; }
BuiltCommand BuildVLHD() { return {"VLHD\r\n"}; }

// --- Aspect ratio, title display --------------------------------------------

BuiltCommand BuildAspectRatio(const DeviceSettings& s, int element) {
  std::string line(kAspectRatioMnemonics.at(element));
  line += Pick("12", s.aspectRatio[element]);
  line += kLineEnd;
  return {line};
}

BuiltCommand BuildTitleDisplay(const DeviceSettings& s, int element) {
  std::string line(kTitleDisplayMnemonics.at(element));
  line += 'O';
  line += OnOff(s.titleDisplay[element]);
  line += kLineEnd;
  return {line};
}

// --- Automatic sequence -----------------------------------------------------

std::string DwellTimesLine(const DeviceSettings& s) {
  std::string line("CASTM");
  for (int32_t seconds : s.autoSequenceDwell) AppendTwoDigits(line, seconds);
  return line += kLineEnd;
}

BuiltCommand BuildCASTM(const DeviceSettings& s) {
  const auto& dwell = s.autoSequenceDwell;
  if (std::all_of(dwell.begin(), dwell.end(), [](int32_t t) { return t == 0; })) {
    return {{}, Refusal::AllDwellTimesZero};
  }
  return {DwellTimesLine(s)};
}

BuiltCommand BuildCASM(const DeviceSettings& s) {
  return WithCharacter("CASMM\r\n", 4, Pick("SDM", s.autoSequenceMode));
}

// --- Date and time ----------------------------------------------------------

BuiltCommand BuildDSY(int year) { return WithTwoDigits("DSY01\r\n", 3, year - 2000); }
BuiltCommand BuildDSM(int month) { return WithTwoDigits("DSM01\r\n", 3, month); }
BuiltCommand BuildDSD(int day) { return WithTwoDigits("DSD01\r\n", 3, day); }
BuiltCommand BuildTSH(int hour) { return WithTwoDigits("TSH01\r\n", 3, hour); }
BuiltCommand BuildTSM(int minute) { return WithTwoDigits("TSM01\r\n", 3, minute); }
BuiltCommand BuildTSS(int second) { return WithTwoDigits("TSS01\r\n", 3, second); }
BuiltCommand BuildTSA() { return {"TSA\r\n"}; }
BuiltCommand BuildTSDR(const DeviceSettings& s) {
  return WithCharacter("TSDR0\r\n", 4, Pick("12345678", s.dateTimeDisplayForm));
}
BuiltCommand BuildTSDO(const DeviceSettings& s) {
  return WithCharacter("TSDOF\r\n", 4, OnOff(s.dateTimeDisplay));
}

// --- Other settings ---------------------------------------------------------

BuiltCommand BuildCI(const DeviceSettings& s) { return WithCharacter("CIA\r\n", 2, Pick("AR", s.connectorInput)); }
BuiltCommand BuildBL(const DeviceSettings& s) { return WithCharacter("BLB\r\n", 2, Pick("BGW", s.borderLine)); }
BuiltCommand BuildCDS(const DeviceSettings& s) { return WithCharacter("CDSN\r\n", 3, Pick("NS", s.characterSize)); }
BuiltCommand BuildMOF() { return {"MOF\r\n"}; }

// --- The unit's network settings --------------------------------------------

BuiltCommand BuildIA(const DeviceSettings& s) { return AddressCommand("IA", s.unitIpAddress); }
BuiltCommand BuildGA(const DeviceSettings& s) { return AddressCommand("GA", s.unitGatewayAddress); }
BuiltCommand BuildAA(const DeviceSettings& s) { return AddressCommand("AA", s.unitActiveAddress); }
BuiltCommand BuildSM(const DeviceSettings& s) { return WithCharacter("SMA\r\n", 2, Pick("ABC", s.unitSubnetClass)); }

BuiltCommand BuildPN(const DeviceSettings& s) {
  if (s.portNumber[0] == '\0') return {{}, Refusal::EmptyValue};
  std::string line("PN");
  AppendZeroPadded(line, s.portNumber, 5);
  line += kLineEnd;
  return {line};
}

BuiltCommand BuildECT(const DeviceSettings& s) { return WithCharacter("ECTOF\r\n", 4, OnOff(s.connectionTry)); }
BuiltCommand BuildEKA(const DeviceSettings& s) { return WithCharacter("EKAOF\r\n", 4, OnOff(s.keepAlive)); }

// The time register only counts while keep-alive is on.
BuiltCommand BuildETR(const DeviceSettings& s) {
  if (s.keepAlive == 0) return {"ETR1\r\n"};
  return WithCharacter("ETR1\r\n", 3, Pick("123456", s.timeRegister));
}

// --- Division layouts -------------------------------------------------------

std::string LayoutLine(const DeviceSettings& s, int division) {
  std::string line(kDivisionPatterns.at(division).mnemonic);
  for (int32_t channel : LayoutPanes(s, division)) AppendTwoDigits(line, channel + 1);
  return line += kLineEnd;
}

BuiltCommand BuildLayout(const DeviceSettings& s, int division) {
  const auto panes = LayoutPanes(s, division);
  for (std::size_t i = 0; i < panes.size(); ++i) {
    for (std::size_t j = i + 1; j < panes.size(); ++j) {
      if (panes[i] == panes[j]) return {{}, Refusal::DuplicateChannel};
    }
  }
  return {LayoutLine(s, division)};
}

// --- Screen -----------------------------------------------------------------

namespace {

// Both screen lines share one shape: a stem, then the channel number for a
// single screen, the division name ("4A", "12B", "16") for a pattern, or the
// automatic sequence line for anything else.
BuiltCommand ScreenCommand(ScreenSelection screen, std::string_view singleStem,
                           std::string_view divisionStem, std::string_view autoLine) {
  std::string line;
  if (screen >= 0 && screen < kChannelCount) {
    line = singleStem;
    AppendTwoDigits(line, screen + 1);
  } else if (screen >= kFirstDivision && screen <= kDivision16) {
    line = divisionStem;
    line += kDivisionPatterns[screen - kFirstDivision].mnemonic + 3;  // past "SPD"
  } else {
    line = autoLine;
  }
  line += kLineEnd;
  return {line};
}

}  // namespace

BuiltCommand BuildPowerOnScreen(const DeviceSettings& s) {
  return ScreenCommand(s.powerOnScreen, "POSS", "POSD", "POSCAS");
}

BuiltCommand BuildScreenSwitch(const DeviceSettings& s) {
  return ScreenCommand(s.screenSwitch, "CS", "CD", "CCAS");
}

BuiltCommand BuildSS(const DeviceSettings& s) { return WithCharacter("SS1\r\n", 2, Pick("123", s.screenSize)); }

// --- Channel titles ---------------------------------------------------------

BuiltCommand BuildCT(const DeviceSettings& s, int channel) {
  const char* title = s.channelTitle[channel];
  // Stops at the first character outside the set, the terminator included,
  // so a title shorter than eight characters is refused.
  for (int i = 0; i < kTitleLength; ++i) {
    if (!IsTitleCharacter(title[i])) return {{}, Refusal::TitleCharacter};
  }
  std::string line("CT");
  AppendTwoDigits(line, channel + 1);
  line.append(title, kTitleLength);
  line += kLineEnd;
  return {line};
}

// --- Video adjustment and video loss ----------------------------------------

BuiltCommand BuildVideoAdjust(const DeviceSettings& s, VideoAdjust item, int channel) {
  const auto& row = kVideoAdjustItems.at(item);
  const int32_t value = (s.*row.field)[channel];
  std::string line(row.mnemonic);
  AppendTwoDigits(line, channel + 1);
  if (row.digits == 2) {
    AppendTwoDigits(line, value);
  } else {
    AppendThreeDigits(line, value);
  }
  line += kLineEnd;
  return {line};
}

BuiltCommand BuildVL(const DeviceSettings& s) {
  std::string line("VL");
  for (int32_t detect : s.videoLossDetect) line += OnOff(detect);
  line += kLineEnd;
  return {line};
}

BuiltCommand BuildVLD(const DeviceSettings& s) { return WithCharacter("VLDOF\r\n", 4, OnOff(s.videoLossDisplay)); }
BuiltCommand BuildVLBC(const DeviceSettings& s) {
  return WithCharacter("VLBCN\r\n", 4, Pick("NB", s.videoLossBackground));
}

// --- Read requests ----------------------------------------------------------

const std::array<std::string_view, 48> kFixedReadRequests = {
    "RAD\r\n",     "RADT\r\n",    "RAM\r\n",     "RAP\r\n",     "RAR\r\n",     "RBL\r\n",
    "RCASM\r\n",   "RCASTM\r\n",  "RCDS\r\n",    "RCI\r\n",     "RCTDD4\r\n",  "RCTDD6\r\n",
    "RCTDD9\r\n",  "RCTDD12\r\n", "RCTDD16\r\n", "RCTDS\r\n",   "RPOS\r\n",    "RSARD4\r\n",
    "RSARD6\r\n",  "RSARD9\r\n",  "RSARD12\r\n", "RSARD16\r\n", "RSARS\r\n",   "RSPD4A\r\n",
    "RSPD4B\r\n",  "RSPD4C\r\n",  "RSPD4D\r\n",  "RSPD6A\r\n",  "RSPD6B\r\n",  "RSPD6C\r\n",
    "RSPD9A\r\n",  "RSPD9B\r\n",  "RSPD12A\r\n", "RSPD12B\r\n", "RSPD16\r\n",  "RSS\r\n",
    "RTSD\r\n",    "RTSDR\r\n",   "REAA\r\n",    "REGA\r\n",    "REIA\r\n",    "RECT\r\n",
    "REKA\r\n",    "REPN\r\n",    "RESM\r\n",    "RETR\r\n",    "REMA\r\n",    "RVN\r\n",
};

namespace {

std::string ChannelRequest(std::string_view mnemonic, int channel) {
  std::string line("R");
  line += mnemonic;
  AppendTwoDigits(line, channel + 1);
  line += kLineEnd;
  return line;
}

std::string HistoryRequest(std::string_view stem, int entry) {
  std::string line(stem);
  AppendThreeDigits(line, entry);
  line += kLineEnd;
  return line;
}

}  // namespace

std::string BuildTitleReadRequest(int channel) { return ChannelRequest("CT", channel); }
std::string BuildVideoAdjustReadRequest(VideoAdjust item, int channel) {
  return ChannelRequest(kVideoAdjustItems.at(item).mnemonic, channel);
}
std::string BuildAlarmHistoryReadRequest(int entry) { return HistoryRequest("RAH", entry); }
std::string BuildVideoLossHistoryReadRequest(int entry) { return HistoryRequest("RVLH", entry); }

}  // namespace kelvrix
