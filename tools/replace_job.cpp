#include "tools/replace_job.h"

#include <algorithm>
#include <utility>

#include "link/connection_table.h"
#include "model/command_catalogue.h"
#include "model/reply_decoders.h"
#include "model/unit_text.h"

namespace kelvrix {

namespace {

std::string WithoutLineEnd(const std::string& text) { return text.substr(0, text.find('\r')); }

// The network values as "プロトコルの設定" sends them; their read requests.
std::vector<std::string> NetworkLines(const DeviceSettings& backup, bool readBack) {
  std::vector<std::string> lines;
  for (auto build : {BuildIA, BuildGA, BuildAA, BuildSM, BuildPN, BuildECT, BuildEKA, BuildETR}) {
    const BuiltCommand command = build(backup);
    if (!command.refused()) lines.push_back(WithoutLineEnd(command.text));
  }
  if (readBack) {
    for (const char* request : {"REIA", "REGA", "REAA", "RESM", "REPN", "RECT", "REKA", "RETR"}) lines.emplace_back(request);
  }
  return lines;
}

// From the file, what no comparison writes: what the unit cannot report (its
// video-loss settings and the screen switch), and the screen size, which no
// dialog sends but the unit reports and the file keeps.
std::vector<std::string> UnreportedLines(const DeviceSettings& backup) {
  std::vector<std::string> lines;
  for (auto build : {BuildVL, BuildVLD, BuildVLBC, BuildScreenSwitch, BuildSS}) {
    const BuiltCommand command = build(backup);
    if (!command.refused()) lines.push_back(WithoutLineEnd(command.text));
  }
  return lines;
}

// A list of set lines (and reads after them) answered as asked: every set
// "GO", every read taken. Nothing when it was; else what came of it.
struct Problems {
  UnitOutcome outcome = UnitOutcome::NotVerified;
  std::string words;
};
std::optional<Problems> ListProblems(const RequestList& list) {
  if (list.Silenced() || list.Unanswered() == list.StepCount()) {
    return Problems{UnitOutcome::NoAnswer, std::string(UnitOutcomeText(UnitOutcome::NoAnswer))};
  }
  std::string problems;
  for (std::size_t i = 0; i < list.Lines().size(); ++i) {
    const auto& answer = list.Answers()[i];
    const bool read = list.Lines()[i].starts_with("R");
    if (answer && answer->Taken() && (read || answer->line.starts_with("GO"))) continue;
    problems += (problems.empty() ? "" : ", ") + list.Lines()[i] + ": " + (answer ? answer->Text() : "応答なし");
  }
  if (problems.empty()) return std::nullopt;
  return Problems{UnitOutcome::NotVerified, problems};
}

}  // namespace

std::vector<std::string> ReplacementQuestions(bool serialLink) {
  std::vector<std::string> lines = {"REMA", "RVN"};
  if (!serialLink) {
    for (const char* request : {"REIA", "REGA", "REAA", "RESM", "REPN", "RECT", "REKA", "RETR"}) lines.emplace_back(request);
  }
  return lines;
}

std::string MacInBackupName(std::string_view name) {
  for (std::size_t at = name.find('_'); at != std::string_view::npos; at = name.find('_', at + 1)) {
    if (IsMacAddress(name.substr(at + 1, 17))) return std::string(name.substr(at + 1, 17));
  }
  return {};
}

ReplacePlan PlanReplacement(const std::vector<std::string>& names, const UnitName& unit,
                            const std::function<std::optional<std::string>(const std::string&)>& read,
                            const DeviceSettings& now, bool serialLink) {
  ReplacePlan plan;
  const auto refuse = [&plan](UnitOutcome outcome, std::string words) {
    plan.refusal = outcome;
    plan.words = std::move(words);
    return plan;
  };
  UnitName byAddress = unit;
  byAddress.mac.clear();  // the unit now on the link is another: its backup is its place's
  const auto file = FileForUnit(names, byAddress);
  if (!file) return refuse(UnitOutcome::NoFile, UnitLabel(unit) + " のバックアップがありません");
  SettingsSource source = SettingsOfFile(read(*file), *file);
  if (!source.settings) return refuse(UnitOutcome::BadFile, source.words);
  plan.file = *file;
  plan.replacement.backup = *source.settings;
  const auto network = read(NetworkFileName(*file));
  plan.replacement.networkKnown = network && ReadNetworkCsv(*network, plan.replacement.backup);
  if (plan.replacement.backup.macAddress[0] == '\0') CopyText(plan.replacement.backup.macAddress, MacInBackupName(*file));
  if (const std::string day = file->substr(file->rfind('_') + 1, 8); day.size() == 8) {
    plan.date = day.substr(0, 4) + "-" + day.substr(4, 2) + "-" + day.substr(6, 2);
  }
  plan.replacement.newMac = UnitText(now.macAddress);
  plan.replacement.version = UnitText(now.firmwareVersion);
  if (!IsMacAddress(now.macAddress)) return refuse(UnitOutcome::NoAnswer, "ユニットが MAC アドレスを答えません");
  if (plan.replacement.newMac == plan.replacement.backup.macAddress) {
    return refuse(UnitOutcome::Conflict, "バックアップと同じユニットです（MAC アドレス " + plan.replacement.newMac +
                                             "）: 交換ではありません。「ファイルを適用」を使ってください。");
  }
  plan.replacement.networkDiffers = !serialLink && plan.replacement.networkKnown &&
                                    NetworkDiffers(now, plan.replacement.backup);
  return plan;
}

std::string ReplacePlan::Facts(const std::string& label, bool serialLink) const {
  const std::string oldMac = replacement.backup.macAddress[0] != '\0' ? replacement.backup.macAddress : "（不明）";
  std::string text = label + " のユニットを交換します。\n\nバックアップ: " + file + (date.empty() ? "" : "（" + date + "）") +
                     "\nMAC アドレス: " + oldMac + " → " + replacement.newMac + "\nバージョン: " + replacement.version + "\n\n";
  if (!replacement.networkKnown) {
    text += "ネットワークの値: バックアップにないため書き込みません\n";
  } else if (serialLink) {
    text += "ネットワークの値: バックアップの値を書き込みます（IP アドレス " + DottedAddress(replacement.backup.unitIpAddress) + "）\n";
  } else if (replacement.networkDiffers) {
    text += "ネットワークの値が違います: 最後に書き込み、ユニットはバックアップのアドレス " +
            DottedAddress(replacement.backup.unitIpAddress) + " に移ります\n";
  }
  return text + "設定を比較して違う項目を書き込み、ビデオロスの設定と画面の切替をファイルから書き込み、時計を合わせて、"
                "新しいバックアップを保存します。\n";
}

std::string_view ReplaceStepText(ReplaceJob::Step step) {
  switch (step) {
    case ReplaceJob::Step::Network: return "ネットワークの値";
    case ReplaceJob::Step::Settings: return "設定";
    case ReplaceJob::Step::Unreported: return "ファイルからの設定（ビデオロス、画面の切替、画面サイズ）";
    case ReplaceJob::Step::Clock: return "時計";
    case ReplaceJob::Step::Backup: return "新しいバックアップ";
  }
  return {};
}

bool NetworkDiffers(const DeviceSettings& unit, const DeviceSettings& backup) {
  return unit.unitIpAddress != backup.unitIpAddress || unit.unitGatewayAddress != backup.unitGatewayAddress ||
         unit.unitActiveAddress != backup.unitActiveAddress || unit.unitSubnetClass != backup.unitSubnetClass ||
         std::string_view(unit.portNumber) != backup.portNumber || (unit.connectionTry != 0) != (backup.connectionTry != 0) ||
         (unit.keepAlive != 0) != (backup.keepAlive != 0) || unit.timeRegister != backup.timeRegister;
}

ReplaceJob::ReplaceJob(Replacement replacement, JobTimeouts timeouts, bool serialLink, LocalClock localTime)
    : replacement_(std::move(replacement)),
      timeouts_(timeouts),
      serialLink_(serialLink),
      settings_(JobKind::Apply, replacement_.backup, timeouts, serialLink, false),
      clock_(JobKind::Clock, replacement_.backup, timeouts, serialLink, false, std::move(localTime)),
      backup_(JobKind::Backup, [] {
        DeviceSettings initial{};
        ResetSettingsToDefaults(initial);
        return initial;
      }(), timeouts, serialLink, false) {
  const bool network = replacement_.networkKnown && (serialLink || replacement_.networkDiffers);
  if (network && serialLink) steps_.push_back(Step::Network);
  steps_.insert(steps_.end(), {Step::Settings, Step::Unreported, Step::Clock, Step::Backup});
  if (network && !serialLink) steps_.push_back(Step::Network);  // the unit moves as it takes them
}

const GatedSequence& ReplaceJob::Sequence(Step step) const {
  switch (step) {
    case Step::Network: return network_;
    case Step::Settings: return settings_;
    case Step::Unreported: return unreported_;
    case Step::Clock: return clock_;
    case Step::Backup: return backup_;
  }
  return backup_;
}

GatedSequence& ReplaceJob::Sequence(Step step) {
  return const_cast<GatedSequence&>(std::as_const(*this).Sequence(step));
}

void ReplaceJob::Start() {
  step_ = 0;
  ended_ = false;
  stepsBefore_ = 0;
  StartStep();
}

void ReplaceJob::StartStep() {
  switch (steps_[step_]) {
    case Step::Network:
      network_.Start(NetworkLines(replacement_.backup, serialLink_), timeouts_.write);
      break;
    case Step::Settings:
      settings_.Start();
      break;
    case Step::Unreported:
      unreported_.Start(UnreportedLines(replacement_.backup), timeouts_.write);
      break;
    case Step::Clock:
      clock_.Start();
      break;
    case Step::Backup:
      backup_.Start();
      break;
  }
}

std::optional<ToolRequest> ReplaceJob::Next(Millis now) {
  while (Running()) {
    GatedSequence& step = Sequence(steps_[step_]);
    if (auto request = step.Next(now)) return request;
    if (step.Running()) return std::nullopt;
    stepsBefore_ += step.StepCount();
    if (!StepSucceeded()) return std::nullopt;
    if (++step_ == steps_.size()) {
      const std::string words = "交換 " + std::string(replacement_.backup.macAddress) + " → " + replacement_.newMac +
                                ": 確認済み " + std::to_string(verified_) + " 件";
      const bool moved = steps_.back() == Step::Network && !serialLink_;
      End(moved ? UnitOutcome::NotVerified : UnitOutcome::Done,
          moved ? words + "、ネットワークの値は書き込み済み（ユニットは新しいアドレスへ移り、確認していません）" : words);
      return std::nullopt;
    }
    StartStep();
  }
  return std::nullopt;
}

bool ReplaceJob::StepSucceeded() {
  const Step step = steps_[step_];
  const std::string name(ReplaceStepText(step));
  if (cancelled_) {
    End(UnitOutcome::Cancelled, "中止: " + name + (verified_ > 0 ? "、設定は確認済み " + std::to_string(verified_) + " 件" : ""));
    return false;
  }
  std::optional<Problems> problems;
  switch (step) {
    case Step::Network:
      problems = ListProblems(network_);
      if (!problems && serialLink_) {
        for (const auto& answer : network_.Answers()) {
          if (const ReplyDecoder* decoder = FindReplyDecoder(answer->line)) decoder->decode(answer->line, networkRead_);
        }
        if (NetworkDiffers(networkRead_, replacement_.backup)) problems = Problems{UnitOutcome::NotVerified, "書き込み後も相違"};
      }
      break;
    case Step::Unreported:
      problems = ListProblems(unreported_);
      break;
    case Step::Settings:
    case Step::Clock:
    case Step::Backup: {
      const UnitJob& job = step == Step::Settings ? settings_ : step == Step::Clock ? clock_ : backup_;
      if (job.Outcome() != UnitOutcome::Done) problems = Problems{job.Outcome(), job.Result()};
      if (!problems && step == Step::Backup && backup_.Model().screenSize != replacement_.backup.screenSize) {
        problems = Problems{UnitOutcome::NotVerified, "画面サイズが書き込み後も相違"};
      }
      if (step == Step::Settings) {
        const auto& rows = settings_.Comparison().Rows();
        verified_ = static_cast<int>(std::count_if(rows.begin(), rows.end(), [](const ComparisonRow& row) {
          return row.state == RowState::Verified;
        }));
      }
      break;
    }
  }
  if (!problems) return true;
  End(problems->outcome, name + ": " + problems->words);
  return false;
}

void ReplaceJob::Replied(std::string_view line, std::string_view address, std::string_view failure) {
  if (Running()) Sequence(steps_[step_]).Replied(line, address, failure);
}

void ReplaceJob::NoReply() {
  if (Running()) Sequence(steps_[step_]).NoReply();
}

void ReplaceJob::Cancel() {
  cancelled_ = true;
  if (Running()) Sequence(steps_[step_]).Cancel();
}

GatedSequence::Millis ReplaceJob::Deadline() const {
  return Running() ? Sequence(steps_[step_]).Deadline() : Millis(0);
}

int ReplaceJob::StepsDone() const {
  return stepsBefore_ + (Running() ? Sequence(steps_[step_]).StepsDone() : 0);
}

int ReplaceJob::StepCount() const {
  return stepsBefore_ + (Running() ? Sequence(steps_[step_]).StepCount() : 0);
}

DeviceSettings* ReplaceJob::Decodes() {
  if (!Running()) return nullptr;
  switch (steps_[step_]) {
    case Step::Network: return &networkRead_;
    case Step::Unreported: return &scratch_;
    default: return Sequence(steps_[step_]).Decodes();
  }
}

void ReplaceJob::End(UnitOutcome outcome, std::string words) {
  ended_ = true;
  outcome_ = outcome;
  result_ = std::move(words);
}

}  // namespace kelvrix
