// The settings data file (.dat): the settings as 282 text lines in a fixed
// order, with no header. Integers in signed decimal, texts as they stand
// (bytes, 0xDF included), an empty channel title as the letter "s"; lines end
// in CR LF, and reading also takes LF alone.
//
// VisitSettingsDataFields is the one description of the lines: the writer,
// the reader and the tests all walk it. Reading never puts the model out of
// range: a line that is not a number, or whose value lies outside its field's
// range, leaves that field as it was; a text is cut to its field; a short file
// leaves the fields after its last line as they were.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "model/device_settings.h"

namespace kelvrix {

inline constexpr int kSettingsDataLineCount = 282;

// The valid values of an integer line.
struct ValueRange {
  int32_t low;
  int32_t high;
};

// A text line: the field's size, and what the file holds for an empty text.
struct TextLine {
  std::size_t size;
  std::string_view empty = "";
  bool digits = false;  // decimal digits only (else any text without control bytes)
};

// A field's integers in file order: one, a row, or a table row by row.
inline std::span<int32_t> FileRun(int32_t& value) { return {&value, 1}; }
inline std::span<const int32_t> FileRun(const int32_t& value) { return {&value, 1}; }
template <class Int, std::size_t N>
std::span<Int> FileRun(std::array<Int, N>& values) { return values; }
template <class Int, std::size_t N>
std::span<const Int> FileRun(const std::array<Int, N>& values) { return values; }
template <class Int, std::size_t N>
std::span<Int> FileRun(Int (&values)[N]) { return values; }
template <class Int, std::size_t N, std::size_t M>
std::span<Int> FileRun(Int (&rows)[N][M]) { return {&rows[0][0], N * M}; }

// Calls visit(span of int32_t, ValueRange) for each run of integer lines and
// visit(text field, TextLine) for each text line, in file order. `Settings` is
// DeviceSettings or const DeviceSettings.
template <class Settings, class Visitor>
void VisitSettingsDataFields(Settings& s, Visitor&& visit) {
  auto run = [&](auto& field, ValueRange range) { visit(FileRun(field), range); };
  constexpr ValueRange kOnOff{0, 1};
  constexpr ValueRange kLevel{0, 255};
  constexpr ValueRange kChannel{0, kChannelCount - 1};
  constexpr ValueRange kScreen{0, kAutoSequence};
  run(s.autoSequenceDwell, {0, 99});
  run(s.aspectRatio, kOnOff);
  run(s.titleDisplay, kOnOff);
  run(s.videoBrightness, kLevel);
  run(s.videoContrast, kLevel);
  run(s.videoSharpness, {0, 15});  // before hue here, unlike the read-all and write-all runs
  run(s.videoHue, kLevel);
  run(s.videoSaturationU, kLevel);
  run(s.videoSaturationV, kLevel);
  run(s.videoLossDetect, kOnOff);
  run(s.layout4, kChannel);
  run(s.layout6, kChannel);
  run(s.layout9, kChannel);
  run(s.layout12, kChannel);
  run(s.layout16, kChannel);
  run(s.screenSwitch, kScreen);
  run(s.fileSpare, {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()});
  run(s.autoSequenceMode, {0, 2});
  run(s.screenSize, {0, 2});
  run(s.dateTimeDisplay, kOnOff);
  run(s.dateTimeDisplayForm, {0, 7});
  run(s.powerOnScreen, kScreen);
  run(s.connectorInput, kOnOff);
  run(s.borderLine, {0, 2});
  run(s.characterSize, kOnOff);
  run(s.alarmMode, kOnOff);
  run(s.alarmInputPolarity, kOnOff);
  run(s.alarmDisplay, kOnOff);
  run(s.alarmReturn, kOnOff);
  run(s.videoLossDisplay, kOnOff);
  run(s.videoLossBackground, kOnOff);
  run(s.connectionTry, kOnOff);
  run(s.keepAlive, kOnOff);
  run(s.timeRegister, {0, 5});
  visit(s.alarmHoldTime, TextLine{3, "", true});
  for (auto& title : s.channelTitle) visit(title, TextLine{kTitleLength, "s"});
}

// The whole file's text.
std::string WriteSettingsData(const DeviceSettings& settings);
// Reads the lines of `text` into `settings`, in file order.
void ReadSettingsData(std::string_view text, DeviceSettings& settings);

// Whether `text` is a whole settings data file, as the tools demand before
// they send any of it: its 282 lines, each a value of its field's kind within
// its range, and nothing after. Nothing when it is; otherwise the number of
// the first line that is not (283 for a line too many).
std::optional<int> FirstBadSettingsLine(std::string_view text);

// The path Save As writes: ".dat" appended unless the path already holds it
// (case-sensitively, anywhere from its second character on). "setup" becomes
// "setup.dat"; "a.data.txt" stays; "setup.DAT" becomes "setup.DAT.dat".
std::string WithDataFileSuffix(std::string path);

// Asked before Save As writes over a file the file dialog did not name:
// "setup.dat は既に存在します。上書きしますか？", the name without its folder.
std::string OverwriteQuestion(std::string_view path);

}  // namespace kelvrix
