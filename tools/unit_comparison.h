// Comparing the settings the program holds (typically a loaded settings file)
// with those a unit holds, and writing only what differs.
//
// ComparedSettings() is the one table of what can be compared: every setting
// the write-all run writes, plus the unit's connection settings the settings
// file keeps, each with the request that reads it from the unit, the line that
// sets it and how its dialog shows it. Two settings are the same when the
// lines that would set them are, so a value the unit cannot tell apart (an
// "on" stored as 2) is no difference.
//
// UnitComparison is the tool's sequence, on the caller's clock: the read-all
// requests into a model of its own, then the rows that differ; later the
// checked rows written and read back. Replies decode into `unit` through the
// program's dispatcher.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/command_catalogue.h"
#include "model/device_settings.h"
#include "tools/reply_gated_run.h"

namespace kelvrix {

struct ComparedSetting {
  std::string name;         // "ビデオ調整 ch.03 Brightness": its dialog and label
  std::string readRequest;  // "RVAB03\r\n"; empty: the unit cannot be asked for it
  // The line that sets it, never refused: equal lines, same setting.
  std::function<std::string(const DeviceSettings&)> line;
  // What writing it sends: the write-all run's step, or the network dialog's builder.
  std::function<BuiltCommand(DeviceSettings&)> write;
  // As its dialog shows it: one text, or one per element (pane, screen), each
  // named ("No.03 ch.05"), when the setting is a list.
  std::function<std::vector<std::string>(const DeviceSettings&)> shown;
  bool serialOnly = false;  // the unit's connection settings travel on the serial line only
};

const std::vector<ComparedSetting>& ComparedSettings();

// A title as its bytes read in code page 932's single-byte range, in UTF-8:
// ASCII and the half-width katakana 0xA1..0xDF ("ﾟ" is 0xDF); any other
// byte as "\xNN". Its dialog shows it quoted.
std::string TitleText(std::string_view bytes);

// The elements in which `a` and `b` show differently: one for a plain
// setting; of a list, those that differ, or all when none does.
std::vector<bool> DifferingElements(const ComparedSetting& setting, const DeviceSettings& a, const DeviceSettings& b);
// The setting's value in `settings` as its dialog shows it: of a list, the
// elements marked in `elements`.
std::string ShownValue(const ComparedSetting& setting, const DeviceSettings& settings, const std::vector<bool>& elements);

// The readable settings whose lines differ, as indexes into ComparedSettings().
std::vector<int> DifferingSettings(const DeviceSettings& file, const DeviceSettings& unit);

enum class RowState { Differs, NoAnswer, Failed, Unreadable, Refused, Written, Verified, StillDiffers };
std::string_view StateText(RowState state);  // "相違", "応答なし", "読めない値", "確認済み", ...

// How a read-all request's setting is named: "タイトル ch.01", or the request
// itself ("RVN") for what is no compared setting.
std::string ReadRequestName(std::string_view request);

// Whether a row's unit value was read: not for a silent, failed or
// unreadable answer.
bool UnitValueKnown(RowState state);

struct ComparisonRow {
  int setting;  // index into ComparedSettings()
  RowState state;
  std::string detail;  // a failure's or refusal's text, as the program words it elsewhere; an unreadable answer
  std::vector<bool> elements;  // what differed when compared: the elements shown

  std::string Result() const;  // the state's text, or the detail
};

// Serial requests wait this long for their answer; on TCP/IP the socket wait
// bounds them and this only backs it up.
inline constexpr std::chrono::milliseconds kSerialAnswerTimeout{300};
inline constexpr std::chrono::milliseconds kSocketAnswerTimeout{4000};

class UnitComparison : public GatedSequence {
 public:
  // What the unit answered is decoded here.
  DeviceSettings unit{};

  // The read-all requests; `file` is compared as it is now.
  void StartReading(const DeviceSettings& file, Millis timeout);
  // Rows at `positions` of Rows(): each setting's line, then each read back.
  // On TCP/IP (`serialLink` false) a serial-only setting is refused in its row.
  // With `sameUnitCheck` (RS-232C, where nothing else tells one unit from the
  // next) the unit's MAC address is asked first, and a unit other than the
  // one compared gets no write: every row is refused.
  void StartWriting(const std::vector<int>& positions, bool serialLink, Millis timeout, bool sameUnitCheck = false);

  std::optional<ToolRequest> Next(Millis now) override;
  void Replied(std::string_view line, std::string_view address, std::string_view failure) override;

  const DeviceSettings& File() const { return file_; }
  const std::vector<ComparisonRow>& Rows() const { return rows_; }
  // "12 件の相違", "相違なし", after a write "確認済み 12 件", ...; after a
  // cancel with "中止: " in front.
  std::string Summary() const;
  // The same without the cancel: what the rows say.
  std::string Tally() const;
  // Of the last run's requests, how many got no answer, and how many went out.
  int UnansweredCount() const { return unansweredCount_; }
  int AskedCount() const { return askedCount_; }
  // Of the last read, the read-all requests that gave no value: unanswered,
  // answered with an error or with what no decoder takes, or never asked
  // (cancelled, or the unit fell silent). Their settings in `unit` are not
  // the unit's.
  const std::vector<int>& Unread() const { return unread_; }
  // The first `most` of them by name, "、"-separated, "…" after when there are more.
  std::string UnreadNames(std::size_t most = 3) const;
  // Whether the last run ended because the unit fell silent.
  bool Silenced() const { return silenced_; }

 private:
  struct Step {
    std::string line;   // a write's line is built as it goes out
    int position = -1;  // its row; -1 for a step of the read-all list or the unit check
    bool write = false;
    bool unitCheck = false;
  };
  void CheckSameUnit(std::string_view line);
  void Start(std::vector<Step> steps, Millis timeout);
  void Finish();
  void FinishReading(const std::vector<bool>& unanswered);
  void FinishWriting(const std::vector<bool>& unanswered);

  DeviceSettings file_{};
  DeviceSettings sent_{};  // the file's values as writes take them (titles padded)
  bool serialLink_ = true;
  bool writing_ = false;
  bool compared_ = false;
  std::vector<Step> steps_;
  std::vector<std::string> failures_;  // per step
  std::vector<std::string> unreadable_;  // per step: an answer no decoder took
  std::string comparedMac_;  // the MAC address the compared unit reported
  int unansweredCount_ = 0;
  int askedCount_ = 0;
  std::vector<int> unread_;  // read-all step indexes, 0-based
  bool silenced_ = false;
  std::vector<ComparisonRow> rows_;
};

}  // namespace kelvrix
