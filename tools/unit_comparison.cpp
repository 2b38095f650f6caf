#include "tools/unit_comparison.h"

#include <algorithm>
#include <cstring>

#include "model/all_settings_runs.h"
#include "model/dialog_texts.h"
#include "model/digits.h"
#include "model/reply_decoders.h"

namespace kelvrix {

std::string TitleText(std::string_view bytes) {
  std::string text;
  for (const unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F) {
      text += static_cast<char>(c);
    } else if (c >= 0xA1 && c <= 0xDF) {
      const char32_t kana = U'\uFF61' + (c - 0xA1);  // three UTF-8 bytes: EF BD/BE xx
      text += static_cast<char>(0xE0 | (kana >> 12));
      text += static_cast<char>(0x80 | ((kana >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (kana & 0x3F));
    } else {
      static constexpr char kHex[] = "0123456789ABCDEF";
      text += "\\x";
      text += kHex[c >> 4];
      text += kHex[c & 0xF];
    }
  }
  return text;
}

namespace {

using Line = std::function<std::string(const DeviceSettings&)>;
using Shown = std::function<std::vector<std::string>(const DeviceSettings&)>;

std::string Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

// The entry a box shows for `value`; a value outside the entries as its number.
std::string EntryText(const std::vector<std::string>& entries, int32_t value) {
  if (value < 0 || value >= static_cast<int32_t>(entries.size())) return std::to_string(value);
  return Trimmed(entries[value]);
}

Shown Choice(int32_t DeviceSettings::*field, std::vector<std::string> (*entries)()) {
  return [field, entries](const DeviceSettings& s) { return std::vector{EntryText(entries(), s.*field)}; };
}

// Any value but 0 is on, as the builders send it.
Shown OnOff(int32_t DeviceSettings::*field, std::vector<std::string> (*entries)() = OnOffEntries) {
  return [field, entries](const DeviceSettings& s) { return std::vector{EntryText(entries(), s.*field != 0)}; };
}

template <std::size_t N>
Shown ElementChoice(std::array<int32_t, N> DeviceSettings::*field, int element,
                    std::vector<std::string> (*entries)(), bool onOff) {
  return [=](const DeviceSettings& s) {
    const int32_t value = (s.*field)[element];
    return std::vector{EntryText(entries(), onOff ? value != 0 : value)};
  };
}

// As the title dialog shows a title: quoted.
std::string TitleShown(std::string_view bytes) { return "\"" + TitleText(bytes) + "\""; }

std::string ChannelName(int channel) { return "ch." + PaddedDecimal(channel + 1, 2); }

ComparedSetting WriteAllSetting(std::string name, std::string readRequest, int step, Shown shown, Line line = {}) {
  if (!line) {
    line = [step](const DeviceSettings& s) {
      DeviceSettings copy = s;
      return WriteAllStep(copy, step).text;
    };
  }
  return {std::move(name), std::move(readRequest), std::move(line),
          [step](DeviceSettings& s) { return WriteAllStep(s, step); }, std::move(shown)};
}

ComparedSetting SerialOnlySetting(std::string name, std::string readRequest,
                                  BuiltCommand (*build)(const DeviceSettings&), Shown shown) {
  return {std::move(name), std::move(readRequest), [build](const DeviceSettings& s) { return build(s).text; },
          [build](DeviceSettings& s) { return build(s); }, std::move(shown), true};
}

// Step numbers of the write-all run; titles and video adjustments share them
// with the read-all run.
constexpr int kFirstVideoStep = kChannelCount + 1;
constexpr int kFirstFixedStep = kFirstVideoStep + 6 * kChannelCount;

void AddTitlesAndVideo(std::vector<ComparedSetting>& settings) {
  for (int c = 0; c < kChannelCount; ++c) {
    settings.push_back(WriteAllSetting(
        "タイトル " + ChannelName(c), ReadAllRequest(1 + c), 1 + c,
        [c](const DeviceSettings& s) { return std::vector{TitleShown(PaddedTitle(s.channelTitle[c]))}; },
        [c](const DeviceSettings& s) { return "CT" + PaddedDecimal(c + 1, 2) + PaddedTitle(s.channelTitle[c]) + "\r\n"; }));
  }
  static constexpr const char* kLabels[] = {"Brightness", "Contrast", "Hue", "Sharpness", "Saturation U", "Saturation V"};
  for (int item = 0; item < 6; ++item) {
    for (int c = 0; c < kChannelCount; ++c) {
      const int step = kFirstVideoStep + item * kChannelCount + c;
      const VideoAdjustItem& adjust = kVideoAdjustItems[item];
      // As the boxes list them: "128" and "007", sharpness without zeros.
      const int width = adjust.digits == 2 ? 0 : 3;
      settings.push_back(WriteAllSetting(
          "ビデオ調整 " + ChannelName(c) + " " + kLabels[item], ReadAllRequest(step), step,
          [&adjust, c, width](const DeviceSettings& s) { return std::vector{PaddedDecimal((s.*adjust.field)[c], width)}; }));
    }
  }
}

Shown DwellTimes() {
  return [](const DeviceSettings& s) {
    const std::vector<std::string> screens = SequenceScreenEntries();
    std::vector<std::string> texts;
    for (int k = 0; k < kDwellStepCount; ++k) {
      texts.push_back(Trimmed(screens[k]) + " " + std::to_string(s.autoSequenceDwell[k]) + "秒");
    }
    return texts;
  };
}

Shown LayoutPanesShown(int division) {
  return [division](const DeviceSettings& s) {
    std::vector<std::string> texts;
    const auto panes = LayoutPanes(s, division);
    for (std::size_t j = 0; j < panes.size(); ++j) texts.push_back(PaneEntry(static_cast<int>(j)) + " " + ChannelName(panes[j]));
    return texts;
  };
}

Shown VideoLossDetection() {
  return [](const DeviceSettings& s) {
    std::vector<std::string> texts;
    for (int c = 0; c < kChannelCount; ++c) texts.push_back(ChannelName(c) + " " + EntryText(OnOffEntries(), s.videoLossDetect[c] != 0));
    return texts;
  };
}

// The forty fixed steps of the write-all run, in its order.
void AddFixedSteps(std::vector<ComparedSetting>& settings) {
  int step = kFirstFixedStep;
  auto add = [&](std::string name, std::string request, Shown shown, Line line = {}) {
    settings.push_back(WriteAllSetting(std::move(name), request.empty() ? "" : request + "\r\n", step++,
                                       std::move(shown), std::move(line)));
  };
  add("アラーム 表示", "RAD", OnOff(&DeviceSettings::alarmDisplay, AlarmOnOffEntries));
  add("アラーム 保持時間", "RADT", [](const DeviceSettings& s) {
    return std::vector{std::string(s.alarmHoldTime) + "秒"};
  });
  add("アラーム モード", "RAM", Choice(&DeviceSettings::alarmMode, AlarmModeEntries));
  add("アラーム 入力極性", "RAP", Choice(&DeviceSettings::alarmInputPolarity, AlarmPolarityEntries));
  add("アラーム リターン", "RAR", OnOff(&DeviceSettings::alarmReturn, AlarmOnOffEntries));
  add("その他 ボーダーライン", "RBL", Choice(&DeviceSettings::borderLine, BorderEntries));
  add("その他 コネクター入力", "RCI", Choice(&DeviceSettings::connectorInput, ConnectorEntries));
  add("自動切換え モード", "RCASM", Choice(&DeviceSettings::autoSequenceMode, SequenceModeEntries));
  add("自動切換え 時間（秒）", "RCASTM", DwellTimes(), DwellTimesLine);
  add("その他 キャラクタ表示サイズ", "RCDS", Choice(&DeviceSettings::characterSize, CharacterSizeEntries));
  static constexpr const char* kScreenKinds[] = {"Single Screen", "Div.4 Screen", "Div.6 Screen",
                                                 "Div.9 Screen", "Div.12 Screen", "Div.16 Screen"};
  for (int e = 0; e < 6; ++e) {
    add(std::string("タイトル表示 ") + kScreenKinds[e], "R" + std::string(kTitleDisplayMnemonics[e]),
        ElementChoice(&DeviceSettings::titleDisplay, e, OnOffEntries, true));
  }
  add("画面 Power On Screen", "RPOS", Choice(&DeviceSettings::powerOnScreen, ScreenEntries));
  for (int e = 0; e < 6; ++e) {
    add(std::string("アスペクト比 ") + kScreenKinds[e], "R" + std::string(kAspectRatioMnemonics[e]),
        ElementChoice(&DeviceSettings::aspectRatio, e, AspectEntries, false));
  }
  for (int d = 0; d < kDivisionPatternCount; ++d) {
    add("分割画面配置 " + ScreenEntries()[kFirstDivision + d], "R" + std::string(kDivisionPatterns[d].mnemonic),
        LayoutPanesShown(d), [d](const DeviceSettings& s) { return LayoutLine(s, d); });
  }
  add("日付・時刻 表示", "RTSD", OnOff(&DeviceSettings::dateTimeDisplay));
  add("日付・時刻 表示レンジ", "RTSDR", Choice(&DeviceSettings::dateTimeDisplayForm, DateTimeFormEntries));
  // The unit is never asked for its video-loss settings.
  add("ビデオロス 検出", "", VideoLossDetection());
  add("ビデオロス 表示", "", OnOff(&DeviceSettings::videoLossDisplay));
  add("ビデオロス 背景色", "", Choice(&DeviceSettings::videoLossBackground, BackgroundEntries));
}

// Kept by the settings file and read by the read-all run, though the
// write-all run leaves them alone; keep-alive before the time register,
// which only counts while keep-alive is on.
void AddConnectionSettings(std::vector<ComparedSetting>& settings) {
  settings.push_back(SerialOnlySetting("プロトコル Connection Try", "RECT\r\n", BuildECT,
                                       OnOff(&DeviceSettings::connectionTry)));
  settings.push_back(SerialOnlySetting("プロトコル Keep Alive", "REKA\r\n", BuildEKA, OnOff(&DeviceSettings::keepAlive)));
  settings.push_back(SerialOnlySetting("プロトコル Time Register", "RETR\r\n", BuildETR, [](const DeviceSettings& s) {
    if (s.keepAlive == 0) return std::vector<std::string>{"(Keep Alive OFF)"};
    return std::vector{EntryText(TimeRegisterEntries(), s.timeRegister) + "秒"};
  }));
}

// True when `reply` answers `request`: a set command with "GO", a read as
// AnswersReadRequest says.
bool Answers(std::string_view request, bool write, std::string_view reply) {
  return write ? reply.starts_with("GO") : AnswersReadRequest(request, reply);
}

std::string Count(int n) { return std::to_string(n) + " 件"; }

}  // namespace

const std::vector<ComparedSetting>& ComparedSettings() {
  static const std::vector<ComparedSetting> settings = [] {
    std::vector<ComparedSetting> all;
    AddTitlesAndVideo(all);
    AddFixedSteps(all);
    AddConnectionSettings(all);
    return all;
  }();
  return settings;
}

std::vector<bool> DifferingElements(const ComparedSetting& setting, const DeviceSettings& a, const DeviceSettings& b) {
  const std::vector<std::string> first = setting.shown(a);
  const std::vector<std::string> second = setting.shown(b);
  std::vector<bool> differing(first.size());
  for (std::size_t i = 0; i < first.size(); ++i) differing[i] = first.size() == 1 || i >= second.size() || first[i] != second[i];
  if (std::find(differing.begin(), differing.end(), true) == differing.end()) differing.assign(first.size(), true);
  return differing;
}

std::string ShownValue(const ComparedSetting& setting, const DeviceSettings& settings, const std::vector<bool>& elements) {
  const std::vector<std::string> texts = setting.shown(settings);
  std::string value;
  for (std::size_t i = 0; i < texts.size() && i < elements.size(); ++i) {
    if (!elements[i]) continue;
    if (!value.empty()) value += ", ";
    value += texts[i];
  }
  return value;
}

std::vector<int> DifferingSettings(const DeviceSettings& file, const DeviceSettings& unit) {
  std::vector<int> differing;
  const auto& settings = ComparedSettings();
  for (int i = 0; i < static_cast<int>(settings.size()); ++i) {
    if (!settings[i].readRequest.empty() && settings[i].line(file) != settings[i].line(unit)) differing.push_back(i);
  }
  return differing;
}

std::string_view StateText(RowState state) {
  switch (state) {
    case RowState::Differs: return "相違";
    case RowState::NoAnswer: return "応答なし";
    case RowState::Failed: return "エラー";
    case RowState::Unreadable: return "読めない値";
    case RowState::Refused: return "送信不可";
    case RowState::Written: return "書き込み済み";
    case RowState::Verified: return "確認済み";
    case RowState::StillDiffers: return "書き込み後も相違";
  }
  return {};
}

std::string ReadRequestName(std::string_view request) {
  for (const ComparedSetting& setting : ComparedSettings()) {
    if (setting.readRequest == request) return setting.name;
  }
  return std::string(ReplyValue(request));
}

std::string UnitComparison::UnreadNames(std::size_t most) const {
  std::string names;
  for (std::size_t i = 0; i < unread_.size() && i < most; ++i) {
    names += (i > 0 ? "、" : "") + ReadRequestName(ReadAllRequest(unread_[i] + 1));
  }
  return unread_.size() > most ? names + "…" : names;
}

bool UnitValueKnown(RowState state) {
  return state != RowState::NoAnswer && state != RowState::Failed && state != RowState::Unreadable;
}

std::string ComparisonRow::Result() const {
  if (state == RowState::Unreadable) return std::string(StateText(state)) + " " + TitleShown(detail);
  return detail.empty() ? std::string(StateText(state)) : detail;
}

void UnitComparison::Start(std::vector<Step> steps, Millis timeout) {
  steps_ = std::move(steps);
  failures_.assign(steps_.size(), {});
  unreadable_.assign(steps_.size(), {});
  StartRun(static_cast<int>(steps_.size()), timeout);
}

void UnitComparison::StartReading(const DeviceSettings& file, Millis timeout) {
  if (Running()) return;
  file_ = file;
  sent_ = file;
  unit = file;  // a request left unanswered must not show up as a difference
  unit.firmwareVersion[0] = '\0';  // nor a version or an address the unit never reported
  unit.macAddress[0] = '\0';
  writing_ = false;
  compared_ = false;
  rows_.clear();
  std::vector<Step> steps;
  for (int step = 1; step <= kReadAllSteps; ++step) steps.push_back({ReadAllRequest(step)});
  Start(std::move(steps), timeout);
}

void UnitComparison::StartWriting(const std::vector<int>& positions, bool serialLink, Millis timeout,
                                  bool sameUnitCheck) {
  if (Running()) return;
  serialLink_ = serialLink;
  writing_ = true;
  std::vector<Step> steps;
  if (sameUnitCheck && !comparedMac_.empty()) steps.push_back({"REMA\r\n", -1, false, true});
  for (int position : positions) {
    if (position >= 0 && position < static_cast<int>(rows_.size())) steps.push_back({{}, position, true});
  }
  const std::size_t writes = steps.size();
  for (std::size_t i = 0; i < writes; ++i) {
    if (steps[i].position < 0) continue;
    const ComparisonRow& row = rows_[steps[i].position];
    steps.push_back({ComparedSettings()[row.setting].readRequest, steps[i].position});
  }
  Start(std::move(steps), timeout);
}

std::optional<ToolRequest> UnitComparison::Next(Millis now) {
  if (!run_) return std::nullopt;
  while (const auto request = run_->Next(now)) {
    Step& step = steps_[request->step - 1];
    if (step.position >= 0) {
      ComparisonRow& row = rows_[step.position];
      const ComparedSetting& setting = ComparedSettings()[row.setting];
      if (row.state == RowState::Refused) {  // neither written nor worth reading back
        run_->Answered();
        continue;
      }
      if (step.write && !request->retry) {
        const BuiltCommand built = setting.write(sent_);
        if (built.refused() || (setting.serialOnly && !serialLink_)) {
          row.state = RowState::Refused;
          row.detail = built.refused() ? RefusalMessage(built.refusal) : "インターフェースをRS-232Cにしてください。";
          run_->Answered();
          continue;
        }
        step.line = built.text;
      }
    }
    return ToolRequest{step.line};
  }
  if (run_->Done()) Finish();
  return std::nullopt;
}

void UnitComparison::Replied(std::string_view line, std::string_view, std::string_view failure) {
  if (!run_ || !run_->Waiting()) return;
  const std::size_t index = static_cast<std::size_t>(run_->Step() - 1);
  if (failure.empty() && !Answers(steps_[index].line, steps_[index].write, line)) return;  // a late answer to an earlier request
  failures_[index] = failure;
  // The answer names the setting asked for but no decoder takes it: the unit's
  // model still holds the file's value, which must not pass for "no difference".
  if (failure.empty() && steps_[index].unitCheck) CheckSameUnit(line);
  if (failure.empty() && !steps_[index].write && !steps_[index].unitCheck) {
    DeviceSettings scratch = unit;
    const ReplyDecoder* decoder = FindReplyDecoder(line);
    if (!decoder || !decoder->decode(line, scratch)) unreadable_[index] = line;
  }
  run_->Answered();
}

// Another unit on the cable (moved to the next unit since the comparison):
// the list is not its list, and nothing of it is written.
void UnitComparison::CheckSameUnit(std::string_view line) {
  DeviceSettings answered = unit;
  const ReplyDecoder* decoder = FindReplyDecoder(line);
  if (!decoder || !decoder->decode(line, answered) || comparedMac_ == answered.macAddress) return;
  for (const Step& step : steps_) {
    if (!step.write) continue;
    ComparisonRow& row = rows_[step.position];
    row.state = RowState::Refused;
    row.detail = "別のユニットが接続されています (MAC " + std::string(answered.macAddress) + ")";
  }
}

void UnitComparison::Finish() {
  std::vector<bool> unanswered(steps_.size(), false);
  for (int step : run_->Unanswered()) unanswered[step - 1] = true;
  // Steps the run never reached count neither as answered nor as silent.
  const std::size_t reached = static_cast<std::size_t>(run_->Step() - 1);
  silenced_ = run_->Silenced();
  if (!writing_) {
    unread_.clear();
    for (std::size_t i = 0; i < steps_.size(); ++i) {
      if (i >= reached || unanswered[i] || !failures_[i].empty() || !unreadable_[i].empty()) {
        unread_.push_back(static_cast<int>(i));
      }
    }
  }
  steps_.resize(std::min(reached, steps_.size()));
  unansweredCount_ = static_cast<int>(run_->Unanswered().size());
  askedCount_ = static_cast<int>(steps_.size());
  if (writing_) {
    FinishWriting(unanswered);
  } else {
    FinishReading(unanswered);
  }
  run_.reset();
}

void UnitComparison::FinishReading(const std::vector<bool>& unanswered) {
  const auto& settings = ComparedSettings();
  for (int i = 0; i < static_cast<int>(settings.size()); ++i) {
    const ComparedSetting& setting = settings[i];
    if (setting.readRequest.empty()) continue;
    const auto step = std::find_if(steps_.begin(), steps_.end(), [&](const Step& s) { return s.line == setting.readRequest; });
    const std::vector<bool> elements = DifferingElements(setting, file_, unit);
    if (step == steps_.end()) {
      // Never asked: cancelled before it was, or the unit had fallen silent.
      if (silenced_) rows_.push_back({i, RowState::NoAnswer, {}, elements});
      continue;
    }
    const std::size_t index = static_cast<std::size_t>(step - steps_.begin());
    if (unanswered[index]) {
      rows_.push_back({i, RowState::NoAnswer, {}, elements});
    } else if (!failures_[index].empty()) {
      rows_.push_back({i, RowState::Failed, failures_[index], elements});
    } else if (!unreadable_[index].empty()) {
      rows_.push_back({i, RowState::Unreadable, unreadable_[index], elements});
    } else if (setting.line(file_) != setting.line(unit)) {
      rows_.push_back({i, RowState::Differs, {}, elements});
    }
  }
  comparedMac_ = unit.macAddress;
  compared_ = true;
}

void UnitComparison::FinishWriting(const std::vector<bool>& unanswered) {
  for (std::size_t index = 0; index < steps_.size(); ++index) {
    const Step& step = steps_[index];
    if (step.unitCheck) continue;
    ComparisonRow& row = rows_[step.position];
    if (row.state == RowState::Refused) continue;
    const ComparedSetting& setting = ComparedSettings()[row.setting];
    if (unanswered[index]) {
      row.state = RowState::NoAnswer;
      row.detail.clear();
    } else if (!failures_[index].empty()) {
      row.state = RowState::Failed;
      row.detail = failures_[index];
    } else if (step.write) {
      row.state = RowState::Written;
    } else if (row.state == RowState::Written && !unreadable_[index].empty()) {
      row.state = RowState::Unreadable;
      row.detail = unreadable_[index];
    } else if (row.state == RowState::Written) {
      row.state = setting.line(file_) == setting.line(unit) ? RowState::Verified : RowState::StillDiffers;
    }
  }
}

std::string UnitComparison::Summary() const {
  if (!compared_) return {};
  return (cancelled_ ? "中止: " : "") + Tally();
}

std::string UnitComparison::Tally() const {
  if (!compared_) return {};
  auto count = [this](RowState state) {
    return static_cast<int>(std::count_if(rows_.begin(), rows_.end(), [state](const ComparisonRow& r) { return r.state == state; }));
  };
  std::vector<std::string> parts;
  if (!writing_) {
    if (count(RowState::Differs) > 0) parts.push_back(std::to_string(count(RowState::Differs)) + " 件の相違");
    if (count(RowState::NoAnswer) > 0) parts.push_back(Count(count(RowState::NoAnswer)) + "は応答なし");
    if (count(RowState::Failed) > 0) parts.push_back(Count(count(RowState::Failed)) + "はエラー");
    if (count(RowState::Unreadable) > 0) parts.push_back(Count(count(RowState::Unreadable)) + "は読めない値");
    if (parts.empty()) parts.push_back("相違なし");
  } else {
    static constexpr RowState kOrder[] = {RowState::Verified, RowState::StillDiffers, RowState::Written, RowState::Differs,
                                          RowState::NoAnswer, RowState::Failed,       RowState::Unreadable,
                                          RowState::Refused};
    for (RowState state : kOrder) {
      if (count(state) > 0) parts.push_back(std::string(StateText(state)) + " " + Count(count(state)));
    }
  }
  std::string tally;
  for (std::size_t i = 0; i < parts.size(); ++i) tally += (i > 0 ? "、" : "") + parts[i];
  return tally;
}

}  // namespace kelvrix
