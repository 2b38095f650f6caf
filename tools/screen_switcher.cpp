#include "tools/screen_switcher.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "link/connection_table.h"
#include "link/framing.h"
#include "link/send_command.h"
#include "link/traffic_log.h"
#include "model/dialog_texts.h"
#include "model/digits.h"
#include "tools/unit_comparison.h"
#include "tools/unit_job.h"

namespace kelvrix {

namespace {

std::string Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

std::string TitleOf(const DeviceSettings& settings, int channel) {
  return Trimmed(TitleText(std::string_view(settings.channelTitle[channel], strnlen(settings.channelTitle[channel], kTitleLength))));
}

std::string WithoutLineEnd(std::string_view line) { return std::string(line.substr(0, line.find('\r'))); }

// The dwell times of the automatic sequence, as a tile's small text.
std::string DwellText(const DeviceSettings& settings) {
  const auto [low, high] = std::minmax_element(std::begin(settings.autoSequenceDwell), std::end(settings.autoSequenceDwell));
  if (*low == *high) return "各 " + std::to_string(*low) + " 秒";
  return std::to_string(*low) + "～" + std::to_string(*high) + " 秒";
}

}  // namespace

std::vector<ScreenTile> ScreenTiles(const DeviceSettings& settings) {
  std::vector<ScreenTile> tiles;
  tiles.reserve(kAutoSequence + 1);
  for (int channel = 0; channel < kChannelCount; ++channel) {
    const std::string caption = "ch." + PaddedDecimal(channel + 1, 2);
    const std::string title = TitleOf(settings, channel);
    ScreenTile& tile = tiles.emplace_back();
    tile.screen = channel;
    tile.name = title.empty() ? caption : caption + " " + title;
    tile.caption = caption;
    tile.detail = title;
    tile.spoken = tile.name;
  }
  for (int division = 0; division < kDivisionPatternCount; ++division) {
    ScreenTile& tile = tiles.emplace_back();
    tile.screen = kFirstDivision + division;
    tile.name = tile.caption = Trimmed(kLayoutEntries[division].heading);
    tile.columns = kDivisionPatterns[division].columns;
    tile.rows = kDivisionPatterns[division].rows;
    const auto panes = LayoutPanes(settings, division);
    for (int pane = 0; pane < static_cast<int>(panes.size()); ++pane) {
      const int channel = std::clamp<int>(panes[pane], 0, kChannelCount - 1);
      tile.panes.push_back({PanePlaceOf(division, pane), channel, TitleOf(settings, channel)});
      const std::string number = PaddedDecimal(channel + 1, 2);
      tile.spoken += (pane == 0 ? "（" : "、") + (tile.panes.back().title.empty() ? number : number + " " + tile.panes.back().title);
    }
    tile.spoken = tile.name + tile.spoken + "）";
  }
  ScreenTile& automatic = tiles.emplace_back();
  automatic.screen = kAutoSequence;
  automatic.name = automatic.caption = "Auto";
  automatic.detail = DwellText(settings);
  automatic.spoken = "Auto（" + automatic.detail + "）";
  return tiles;
}

std::optional<int> ScreenNamed(std::string_view text) {
  std::string name(text);
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::toupper(c); });
  if (name == "AUTO") return kAutoSequence;
  if (name.size() == 4 && name.starts_with("CH") && IsDigits(name, 2, 2)) {
    const int channel = ParseTwoDigits(name.data() + 2);
    if (channel >= 1 && channel <= kChannelCount) return channel - 1;
  }
  for (int division = 0; division < kDivisionPatternCount; ++division) {
    if (name == std::string_view(kDivisionPatterns[division].mnemonic).substr(3)) return kFirstDivision + division;  // "SPD4A"
  }
  return std::nullopt;
}

BuiltCommand SwitchCommand(int screen) {
  DeviceSettings settings{};
  settings.screenSwitch = std::clamp(screen, 0, static_cast<int>(kAutoSequence));
  return BuildScreenSwitch(settings);
}

BuiltCommand PowerOnCommand(int screen) {
  DeviceSettings settings{};
  settings.powerOnScreen = std::clamp(screen, 0, static_cast<int>(kAutoSequence));
  return BuildPowerOnScreen(settings);
}

std::vector<std::string> TitleAndLayoutRequests() {
  std::vector<std::string> lines;
  for (int channel = 0; channel < kChannelCount; ++channel) lines.push_back(WithoutLineEnd(BuildTitleReadRequest(channel)));
  for (const DivisionPattern& pattern : kDivisionPatterns) lines.push_back(std::string("R").append(pattern.mnemonic));
  return lines;
}

TileGrid LayTiles(int width, int height, int gap) {
  constexpr int kChannelTiles = kChannelCount, kOtherTiles = kAutoSequence + 1 - kChannelCount;
  int best = 0, bestColumns = 1;
  for (int columns = 1; columns <= kChannelTiles; ++columns) {
    const int rows = (kChannelTiles + columns - 1) / columns + (kOtherTiles + columns - 1) / columns;
    const int fitsAcross = (width - (columns + 1) * gap) / columns;
    const int fitsDown = (height - (rows + 1) * gap) / rows * 4 / 3;
    if (std::min(fitsAcross, fitsDown) > best) {
      best = std::min(fitsAcross, fitsDown);
      bestColumns = columns;
    }
  }
  const int tileWidth = std::max(best, 1), tileHeight = std::max(best * 3 / 4, 1);
  TileGrid grid;
  int row = 0;
  for (int screen = 0; screen <= kAutoSequence; ++screen) {
    const int index = screen < kChannelTiles ? screen : screen - kChannelTiles;
    if (screen == kChannelTiles) row = grid.tiles.back().row + 1;  // the layouts start a row of their own
    const int column = index % bestColumns;
    const int at = row + index / bestColumns;
    grid.tiles.push_back({gap + column * (tileWidth + gap), gap + at * (tileHeight + gap), tileWidth, tileHeight, at, column});
  }
  return grid;
}

int TileGrid::Neighbour(int tile, int across, int down) const {
  const int count = static_cast<int>(tiles.size());
  if (tile < 0 || tile >= count) return tile;
  if (across != 0) return std::clamp(tile + across, 0, count - 1);
  const int row = tiles[tile].row + down;
  int found = tile;
  for (int other = 0; other < count; ++other) {
    if (tiles[other].row == row && tiles[other].column <= tiles[tile].column) found = other;
  }
  return found;
}

std::optional<int> ChannelTyping::Digit(int digit) {
  if (first_ >= 0) {
    const int channel = std::exchange(first_, -1) * 10 + digit;
    if (channel >= 1 && channel <= kChannelCount) return channel - 1;
  }
  if (digit <= 1) {  // ch.01, ch.10 .. ch.16, or "0" before a digit
    first_ = digit;
    return std::nullopt;
  }
  return digit - 1;
}

std::optional<int> ChannelTyping::TimedOut() {
  const int first = std::exchange(first_, -1);
  if (first == 1) return 0;
  return std::nullopt;
}

ScreenSwitcher::ScreenSwitcher(LinkState& link, LinkTransport& transport, DeviceSettings& settings,
                               std::function<Millis()> clock)
    : link_(link), transport_(transport), settings_(settings), clock_(std::move(clock)) {}

bool ScreenSwitcher::OnSerial() const { return link_.linkInterface == kSerialInterface; }

std::vector<ScreenSwitcher::Target> ScreenSwitcher::Targets() const {
  if (OnSerial()) {
    if (link_.rsControl != kRs485) return {Target::Chosen};
    return link_.slaveAddressIndex >= kBroadcastAddressIndex ? std::vector{Target::Broadcast}
                                                      : std::vector{Target::Chosen, Target::Broadcast};
  }
  if (link_.clientServerMode == 1) return {Target::Chosen, Target::AllConnected};
  return {Target::Chosen};
}

std::string ScreenSwitcher::TargetText(Target target) const {
  switch (target) {
    case Target::Broadcast:
      return "全ユニット（Bloadcast）";
    case Target::AllConnected:
      return "接続中のすべてのユニット（" + std::to_string(link_.connections.ListedRows().size()) + " 台）";
    case Target::Chosen:
      break;
  }
  if (OnSerial()) return link_.rsControl == kRs485 ? "アドレス " + PaddedDecimal(link_.slaveAddressIndex, 2) : "RS-232C";
  const std::string name = SocketLinkName(link_);
  return name.empty() ? "選ばれたユニットはありません" : name;
}

std::vector<SocketHandle> ScreenSwitcher::Sockets(Target target) const {
  std::vector<SocketHandle> sockets;
  if (target == Target::AllConnected) {
    for (int row : link_.connections.ListedRows()) sockets.push_back(static_cast<SocketHandle>(link_.connections[row].socket));
  } else if (link_.clientServerMode == 1) {
    if (const auto row = link_.connections.LiveRow(link_.chosenRow, link_.chosenSerial)) {
      sockets.push_back(static_cast<SocketHandle>(link_.connections[*row].socket));
    }
  } else if (const SocketHandle own = transport_.OwnConnection(); own != 0) {
    sockets.push_back(own);
  }
  return sockets;
}

bool ScreenSwitcher::Refused(std::string_view why) {
  status_ = what_ + ": " + std::string(why);
  failedTile_ = tile_;
  return false;
}

bool ScreenSwitcher::Switch(Target target, int screen, bool powerOn) {
  if (screen < 0 || screen > kAutoSequence) return false;
  const BuiltCommand line = powerOn ? PowerOnCommand(screen) : SwitchCommand(screen);
  tile_ = screen;
  powerOn_ = powerOn;
  reading_ = false;
  what_ = ScreenTiles(settings_)[screen].caption + (powerOn ? "（電源投入時）" : "") + " → " + TargetText(target);
  if (Busy() || link_.batchStep != 0 || link_.replyPending != 0) return Refused("ほかの送受信が終わるまで送れません");
  if (target == Target::Broadcast || (target == Target::Chosen && ReadsFromBroadcast(link_))) {
    // Every unit of the bus at once: none answers, so what went out is all there is to say.
    const auto frame = FrameSerialCommand(line.text, kRs485, kBroadcastAddressIndex);
    if (!frame || !transport_.WriteSerial(frame->bytes)) return Refused("送信できません");
    status_ = what_ + ": 送信しました（Bloadcast には応答がありません）";
    failedTile_ = -1;
    Took();
    return true;
  }
  return Start(target, {WithoutLineEnd(line.text)});
}

bool ScreenSwitcher::ReadTitlesAndLayouts() {
  if (Busy()) return false;
  tile_ = -1;
  reading_ = true;
  what_ = "タイトルと配置の読み込み ← " + TargetText(Target::Chosen);
  if (link_.batchStep != 0 || link_.replyPending != 0) return Refused("ほかの送受信が終わるまで読めません");
  if (ReadsFromBroadcast(link_)) return Refused("Bloadcast からは読み込めません");
  return Start(Target::Chosen, TitleAndLayoutRequests());
}

bool ScreenSwitcher::Start(Target target, std::vector<std::string> lines) {
  const std::vector<SocketHandle> sockets = OnSerial() ? std::vector<SocketHandle>{0} : Sockets(target);
  if (sockets.empty()) {
    const bool unchosen = target == Target::Chosen && link_.clientServerMode == 1;
    return Refused(unchosen ? "TCP/IPの設定で送り先のユニットを選んでください" : "接続しているユニットはありません");
  }
  const Millis timeout = OnSerial() ? kSerialAnswerTimeout : kSocketAnswerTimeout;
  sockets_ = sockets;
  unitOf_.clear();
  lists_.assign(sockets.size(), {});
  scratch_.assign(sockets.size(), {});
  runner_ = std::make_unique<UnitRunner>(*this, OnSerial() ? UnitRunner::Turns::OneAtATime : UnitRunner::Turns::AllAtOnce,
                                         OnSerial());
  const int address = OnSerial() && link_.rsControl == kRs485 ? link_.slaveAddressIndex : -1;
  for (std::size_t k = 0; k < sockets.size(); ++k) {
    unitOf_[sockets[k]] = k;
    lists_[k].Start(lines, timeout);
    runner_->Add(lists_[k], reading_ ? settings_ : scratch_[k], {OnSerial(), address});
  }
  status_ = what_ + ": 送信中…";
  link_.batchStep = 1;  // no other run starts, and no "Success" box opens, until the answers are in
  link_.replyError = 0;
  runner_->Start(clock_());
  Settle();
  return true;
}

std::string ScreenSwitcher::PeerOf(std::size_t unit) const {
  const int row = link_.connections.Find(sockets_[unit]);
  return row != 0 ? link_.connections[row].peerAddress : std::string();
}

bool ScreenSwitcher::Send(std::size_t unit, std::string_view bytes) {
  if (OnSerial()) return transport_.WriteSerial(std::string(bytes));
  return transport_.SendToUnit(sockets_[unit], bytes);
}

void ScreenSwitcher::LineReceived(std::string_view line) {
  if (runner_ && OnSerial()) runner_->LineReceived(line, clock_());
  Settle();
}

void ScreenSwitcher::Received(SocketHandle socket, std::string_view bytes) {
  const auto unit = unitOf_.find(socket);
  if (!runner_ || OnSerial() || unit == unitOf_.end()) return;
  runner_->Received(unit->second, bytes, clock_());
  Settle();
}

void ScreenSwitcher::Gone(SocketHandle socket) {
  const auto unit = unitOf_.find(socket);
  if (!runner_ || OnSerial() || unit == unitOf_.end()) return;
  runner_->Gone(unit->second, clock_());
  Settle();
}

void ScreenSwitcher::Tick() {
  if (runner_) runner_->Tick(clock_());
  Settle();
}

// The run ended: what each unit answered, in the status line; the tile marked.
void ScreenSwitcher::Settle() {
  if (!runner_ || runner_->Running()) return;
  std::vector<std::string> failures;
  int took = 0;
  for (std::size_t k = 0; k < lists_.size(); ++k) {
    const RequestList& list = lists_[k];
    const std::string who = sockets_.size() > 1 ? PeerOf(k) + " " : std::string();
    if (runner_->EndOf(k) == UnitRunner::End::Broke) {
      failures.push_back(who + std::string(UnitOutcomeText(UnitOutcome::LinkBroke)));
    } else if (reading_ && list.Unanswered() + list.Refused() > 0) {
      failures.push_back(who + "読めない値 " + std::to_string(list.Unanswered() + list.Refused()) + " 件");
    } else if (const auto& answer = list.Answers().front(); !reading_ && !(answer && answer->Taken() && answer->line.starts_with("GO"))) {
      failures.push_back(who + (answer ? answer->Text() : std::string(UnitOutcomeText(UnitOutcome::NoAnswer))));
    } else {
      ++took;
    }
  }
  runner_.reset();
  link_.batchStep = 0;
  std::string result = failures.empty() ? (reading_ ? "読み込みました" : "GO") : std::string();
  for (std::size_t i = 0; i < failures.size(); ++i) result += (i > 0 ? "、" : "") + failures[i];
  if (sockets_.size() > 1) result = std::to_string(took) + " / " + std::to_string(sockets_.size()) + " 台 " + result;
  status_ = what_ + ": " + result;
  if (reading_) {
    readEnded_ = true;
    return;
  }
  failedTile_ = failures.empty() ? -1 : tile_;
  if (took > 0) Took();
}

// The switch went through: the tile is marked, and the settings held follow.
void ScreenSwitcher::Took() {
  if (powerOn_) {
    settings_.powerOnScreen = tile_;
  } else {
    settings_.screenSwitch = tile_;
    lastTile_ = tile_;
  }
}

ScreenSwitcher::~ScreenSwitcher() {
  if (runner_) link_.batchStep = 0;
}

}  // namespace kelvrix
