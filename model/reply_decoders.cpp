// One decoder per reply prefix, and the order in which prefixes are tried.
//
// The unit answers a read request with the same text as the matching set
// command, so each decoder reads the characters its builder writes. Families
// that share a layout (aspect ratio, title display, division layouts, video
// adjustment) are one template each, instantiated per row.
#include "model/reply_decoders.h"

#include <algorithm>
#include <cstring>

#include "model/command_catalogue.h"
#include "model/digits.h"

namespace kelvrix {

namespace {

using Line = std::string_view;

bool Has(Line line, std::size_t pos) { return pos < line.size(); }

// Stores 0 when c[pos] is `zeroLetter`, else 1 ("ADOF" -> 0).
bool StoreOffUnless(Line line, std::size_t pos, char zeroLetter, int32_t& field) {
  if (!Has(line, pos)) return false;
  field = line[pos] == zeroLetter ? 0 : 1;
  return true;
}

// Stores c[pos] - first when it lies in 0..count-1 (ordinal digits and letters).
bool StoreOrdinal(Line line, std::size_t pos, char first, int count, int32_t& field) {
  if (!Has(line, pos)) return false;
  const int value = line[pos] - first;
  if (value < 0 || value >= count) return false;
  field = value;
  return true;
}

// Stores the channel index of a D2 channel number 1..16 at pos.
bool ReadChannelIndex(Line line, std::size_t pos, int& index) {
  if (!IsDigits(line, pos, 2)) return false;
  const int number = ParseTwoDigits(&line[pos]);
  if (number < 1 || number > kChannelCount) return false;
  index = number - 1;
  return true;
}

// A text field never takes a control byte from a reply: a line end or a
// terminator means a shortened line or two lines run together, and a unit's
// texts hold no others (a title that held one would be saved into a file
// the program's own reader refuses).
bool IsTextByte(char c) { return static_cast<unsigned char>(c) >= 0x20 && c != 0x7F; }

template <std::size_t N>
bool StoreText(Line line, std::size_t pos, std::size_t count, char (&field)[N]) {
  static_assert(N > 1);
  if (pos + count > line.size() || count > N - 1) return false;
  const Line text = line.substr(pos, count);
  if (!std::all_of(text.begin(), text.end(), IsTextByte)) return false;
  std::memcpy(field, text.data(), count);
  field[count] = '\0';
  return true;
}

bool StoreDigitText(Line line, std::size_t pos, std::size_t count, auto& field) {
  return IsDigits(line, pos, count) && StoreText(line, pos, count, field);
}

// A whole IPv4 address of four D3 groups from position 3, each at most 255.
bool StoreAddress(Line line, Ipv4Address& field) {
  Ipv4Address address;
  for (std::size_t g = 0; g < address.size(); ++g) {
    const std::size_t pos = 3 + 4 * g;
    if (!IsDigits(line, pos, 3)) return false;
    const int byte = ParseThreeDigits(&line[pos]);
    if (byte > 255) return false;
    address[g] = static_cast<uint8_t>(byte);
  }
  field = address;
  return true;
}

// History entries: the entry number, then either "N" (empty) or the channel
// and six date and time fields at fixed distances from it.
bool StoreHistoryRecord(Line line, std::size_t entryPos, std::size_t channelPos, History& history) {
  if (!IsDigits(line, entryPos, 3) || !Has(line, channelPos)) return false;
  const int entry = ParseThreeDigits(&line[entryPos]);
  if (entry < 1 || entry > kHistoryEntryCount) return false;
  HistoryRecord& record = history[entry - 1];
  if (line[channelPos] == 'N') {
    record.channel = kEmptyHistoryChannel;
    return true;
  }
  constexpr std::size_t kOffsets[7] = {0, 5, 8, 11, 14, 17, 20};
  int32_t values[7];
  for (std::size_t i = 0; i < 7; ++i) {
    const std::size_t pos = channelPos + kOffsets[i];
    if (!IsDigits(line, pos, 2)) return false;
    values[i] = ParseTwoDigits(&line[pos]);
  }
  record = {values[0], values[1], values[2], values[3], values[4], values[5], values[6]};
  return true;
}

// --- Single decoders ---------------------------------------------------------

bool DecodeADO(Line l, DeviceSettings& s) { return StoreOffUnless(l, 3, 'F', s.alarmDisplay); }
bool DecodeADT(Line l, DeviceSettings& s) { return StoreDigitText(l, 3, 3, s.alarmHoldTime); }
bool DecodeAH(Line l, DeviceSettings& s) { return StoreHistoryRecord(l, 2, 6, s.alarmHistory); }
bool DecodeAM(Line l, DeviceSettings& s) { return StoreOffUnless(l, 2, 'I', s.alarmMode); }
bool DecodeAP(Line l, DeviceSettings& s) { return StoreOffUnless(l, 2, 'M', s.alarmInputPolarity); }
bool DecodeARO(Line l, DeviceSettings& s) { return StoreOffUnless(l, 3, 'F', s.alarmReturn); }

bool DecodeBL(Line l, DeviceSettings& s) {
  if (!Has(l, 2)) return false;
  s.borderLine = l[2] == 'B' ? 0 : l[2] == 'G' ? 1 : 2;
  return true;
}

bool DecodeCASM(Line l, DeviceSettings& s) {
  if (!Has(l, 4)) return false;
  s.autoSequenceMode = l[4] == 'S' ? 0 : l[4] == 'D' ? 1 : 2;
  return true;
}

bool DecodeCASTM(Line l, DeviceSettings& s) {
  if (!IsDigits(l, 5, 2 * kDwellStepCount)) return false;
  for (int k = 0; k < kDwellStepCount; ++k) s.autoSequenceDwell[k] = ParseTwoDigits(&l[5 + 2 * k]);
  return true;
}

bool DecodeCDS(Line l, DeviceSettings& s) { return StoreOffUnless(l, 3, 'N', s.characterSize); }
bool DecodeCI(Line l, DeviceSettings& s) { return StoreOffUnless(l, 2, 'A', s.connectorInput); }

bool DecodeCT(Line l, DeviceSettings& s) {
  int channel;
  return ReadChannelIndex(l, 2, channel) && StoreText(l, 4, kTitleLength, s.channelTitle[channel]);
}

bool DecodePOSS(Line l, DeviceSettings& s) {
  int channel;
  if (!ReadChannelIndex(l, 4, channel)) return false;
  s.powerOnScreen = channel;
  return true;
}

// "POSD" then the division: 4A..4D, 6A..6C, 9A/9B, 12A/12B, 16. Any letter
// other than the first ones falls to the last pattern of that size.
bool DecodePOSD(Line l, DeviceSettings& s) {
  if (!Has(l, 5)) return false;
  const char size = l[4];
  const char variant = l[5];
  switch (size) {
    case '4': s.powerOnScreen = variant == 'A' ? 16 : variant == 'B' ? 17 : variant == 'C' ? 18 : 19; return true;
    case '6': s.powerOnScreen = variant == 'A' ? 20 : variant == 'B' ? 21 : 22; return true;
    case '9': s.powerOnScreen = variant == 'A' ? 23 : 24; return true;
    case '1':
      if (variant != '2') {
        s.powerOnScreen = kDivision16;
        return true;
      }
      if (!Has(l, 6)) return false;
      s.powerOnScreen = l[6] == 'A' ? 25 : 26;
      return true;
    default: return false;
  }
}

bool DecodePOSCAS(Line, DeviceSettings& s) {
  s.powerOnScreen = kAutoSequence;
  return true;
}

bool DecodeSS(Line l, DeviceSettings& s) { return StoreOrdinal(l, 2, '1', 3, s.screenSize); }
bool DecodeTSDO(Line l, DeviceSettings& s) { return StoreOffUnless(l, 4, 'F', s.dateTimeDisplay); }
bool DecodeTSDR(Line l, DeviceSettings& s) { return StoreOrdinal(l, 4, '1', 8, s.dateTimeDisplayForm); }

bool DecodeVLBC(Line l, DeviceSettings& s) {
  if (!Has(l, 4)) return false;
  s.videoLossBackground = l[4] == 'B' ? 1 : 0;
  return true;
}

bool DecodeVLD(Line l, DeviceSettings& s) {
  if (!Has(l, 4)) return false;
  s.videoLossDisplay = l[4] == 'N' ? 1 : 0;
  return true;
}

bool DecodeVLH(Line l, DeviceSettings& s) { return StoreHistoryRecord(l, 3, 7, s.videoLossHistory); }

bool DecodeVL(Line l, DeviceSettings& s) {
  if (!Has(l, 2 + kChannelCount - 1)) return false;
  for (int i = 0; i < kChannelCount; ++i) s.videoLossDetect[i] = l[2 + i] == 'N' ? 1 : 0;
  return true;
}

bool DecodeEAA(Line l, DeviceSettings& s) { return StoreAddress(l, s.unitActiveAddress); }
bool DecodeEGA(Line l, DeviceSettings& s) { return StoreAddress(l, s.unitGatewayAddress); }
bool DecodeEIA(Line l, DeviceSettings& s) { return StoreAddress(l, s.unitIpAddress); }
bool DecodeEMA(Line l, DeviceSettings& s) { return StoreText(l, 3, 17, s.macAddress); }
bool DecodeESM(Line l, DeviceSettings& s) { return StoreOrdinal(l, 3, 'A', 3, s.unitSubnetClass); }
bool DecodeEPN(Line l, DeviceSettings& s) { return StoreDigitText(l, 3, 5, s.portNumber); }
bool DecodeECT(Line l, DeviceSettings& s) { return StoreOffUnless(l, 4, 'F', s.connectionTry); }
bool DecodeEKA(Line l, DeviceSettings& s) { return StoreOffUnless(l, 4, 'F', s.keepAlive); }
bool DecodeETR(Line l, DeviceSettings& s) { return StoreOrdinal(l, 3, '1', 6, s.timeRegister); }
bool DecodeVersion(Line l, DeviceSettings& s) { return StoreText(l, 5, 4, s.firmwareVersion); }

// --- Families -----------------------------------------------------------------

// "CTDD4O" + N/F: the on/off letter follows the prefix.
template <int Element>
bool DecodeTitleDisplay(Line l, DeviceSettings& s) {
  const std::size_t pos = kTitleDisplayMnemonics[Element].size() + 1;
  return StoreOffUnless(l, pos, 'F', s.titleDisplay[Element]);
}

// "SARD4" + 1/2: "1" is 4:3, anything else full.
template <int Element>
bool DecodeAspectRatio(Line l, DeviceSettings& s) {
  const std::size_t pos = kAspectRatioMnemonics[Element].size();
  if (!Has(l, pos)) return false;
  s.aspectRatio[Element] = l[pos] == '1' ? 0 : 1;
  return true;
}

// The pattern's mnemonic, then one channel number per pane. The whole row is
// checked before any pane is stored, so a bad line leaves the row as it was.
template <int Division>
bool DecodeLayout(Line l, DeviceSettings& s) {
  const DivisionPattern& pattern = kDivisionPatterns[Division];
  const std::size_t start = std::strlen(pattern.mnemonic);
  int32_t channels[kChannelCount];
  for (int j = 0; j < pattern.paneCount; ++j) {
    int channel;
    if (!ReadChannelIndex(l, start + 2 * j, channel)) return false;
    channels[j] = channel;
  }
  std::copy_n(channels, pattern.paneCount, LayoutPanes(s, Division).begin());
  return true;
}

// "VAB" + channel + value, the value two or three digits wide. A value past
// the item's range is not stored: its box could not show it, and a file
// saved with it would not load back.
template <VideoAdjust Item>
bool DecodeVideoAdjust(Line l, DeviceSettings& s) {
  const VideoAdjustItem& item = kVideoAdjustItems[Item];
  const std::size_t channelPos = item.mnemonic.size();
  const std::size_t valuePos = channelPos + 2;
  int channel;
  if (!ReadChannelIndex(l, channelPos, channel) || !IsDigits(l, valuePos, item.digits)) return false;
  const char* digits = &l[valuePos];
  const int value = item.digits == 2 ? ParseTwoDigits(digits) : ParseThreeDigits(digits);
  if (value > item.maxValue) return false;
  (s.*item.field)[channel] = value;
  return true;
}

constexpr ReplyDecoder kTable[] = {
    {"ADO", DecodeADO},
    {"ADT", DecodeADT},
    {"AH", DecodeAH},
    {"AM", DecodeAM},
    {"AP", DecodeAP},
    {"ARO", DecodeARO},
    {"BL", DecodeBL},
    {"CASM", DecodeCASM},
    {"CASTM", DecodeCASTM},
    {"CDS", DecodeCDS},
    {"CI", DecodeCI},
    {"CTDD4O", DecodeTitleDisplay<1>},
    {"CTDD6O", DecodeTitleDisplay<2>},
    {"CTDD9O", DecodeTitleDisplay<3>},
    {"CTDD12O", DecodeTitleDisplay<4>},
    {"CTDD16O", DecodeTitleDisplay<5>},
    {"CTDSO", DecodeTitleDisplay<0>},
    {"CT", DecodeCT},
    {"POSS", DecodePOSS},
    {"POSD", DecodePOSD},
    {"POSCAS", DecodePOSCAS},
    {"SARS", DecodeAspectRatio<0>},
    {"SARD4", DecodeAspectRatio<1>},
    {"SARD6", DecodeAspectRatio<2>},
    {"SARD9", DecodeAspectRatio<3>},
    {"SARD12", DecodeAspectRatio<4>},
    {"SARD16", DecodeAspectRatio<5>},
    {"SPD4A", DecodeLayout<0>},
    {"SPD4B", DecodeLayout<1>},
    {"SPD4C", DecodeLayout<2>},
    {"SPD4D", DecodeLayout<3>},
    {"SPD6A", DecodeLayout<4>},
    {"SPD6B", DecodeLayout<5>},
    {"SPD6C", DecodeLayout<6>},
    {"SPD9A", DecodeLayout<7>},
    {"SPD9B", DecodeLayout<8>},
    {"SPD12A", DecodeLayout<9>},
    {"SPD12B", DecodeLayout<10>},
    {"SPD16", DecodeLayout<11>},
    {"SS", DecodeSS},
    {"TSDO", DecodeTSDO},
    {"TSDR", DecodeTSDR},
    {"VAB", DecodeVideoAdjust<kBrightness>},
    {"VAC", DecodeVideoAdjust<kContrast>},
    {"VAH", DecodeVideoAdjust<kHue>},
    {"VASH", DecodeVideoAdjust<kSharpness>},
    {"VASU", DecodeVideoAdjust<kSaturationU>},
    {"VASV", DecodeVideoAdjust<kSaturationV>},
    {"VLBC", DecodeVLBC},
    {"VLD", DecodeVLD},
    {"VLH", DecodeVLH},
    {"VL", DecodeVL},
    {"EAA", DecodeEAA},
    {"EGA", DecodeEGA},
    {"EIA", DecodeEIA},
    {"EMA", DecodeEMA},
    {"ESM", DecodeESM},
    {"EPN", DecodeEPN},
    {"ECT", DecodeECT},
    {"EKA", DecodeEKA},
    {"ETR", DecodeETR},
    {kVersionPrefix, DecodeVersion},
};

}  // namespace

std::span<const ReplyDecoder> ReplyDecoders() { return kTable; }

std::string_view ReplyValue(std::string_view line) {
  line = line.substr(0, line.find('\n'));
  if (line.ends_with('\r')) line.remove_suffix(1);
  return line;
}

bool AnswersReadRequest(std::string_view request, std::string_view reply) {
  std::string_view asked = ReplyValue(request);
  asked.remove_prefix(std::min<std::size_t>(asked.size(), 1));  // the "R"
  return reply.starts_with(asked == "VN" ? kVersionPrefix : asked);
}

const ReplyDecoder* FindReplyDecoder(std::string_view line) {
  for (const ReplyDecoder& row : kTable) {
    if (line.starts_with(row.prefix)) return &row;
  }
  return nullptr;
}

}  // namespace kelvrix
