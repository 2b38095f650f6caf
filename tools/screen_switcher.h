// "画面切替": what the monitor shows, chosen by picture. The screens as
// tiles (sixteen channels, the twelve division layouts with each pane in
// place, the automatic sequence), the one line that switches to each, and
// the switch sent to a target without a result box: the unit chosen, every
// unit of the bus at once (a broadcast, which no unit answers), or each of
// the server's units on its own connection. What each answered is the
// status line's and the tile's to show. The same engine as the unit list's
// carries it, so no reply is waited for on the GUI thread.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "link/link_state.h"
#include "link/panel.h"
#include "model/command_catalogue.h"
#include "model/device_settings.h"
#include "tools/request_list.h"
#include "tools/unit_runner.h"

namespace kelvrix {

struct ScreenTile {
  int screen;            // ScreenSelection: 0..15 channels, 16..27 layouts, 28 Auto
  std::string name;      // what a screen reader reads: "ch.05 ENTRANCE", "4分割A", "Auto"
  std::string caption;   // the tile's large text: "ch.05", "4分割A", "Auto"
  std::string detail;    // its small text: the channel's title, or the dwell times
  struct Pane {
    PanePlace place;     // on a grid of `columns` x `rows`
    int channel;         // 0..15
    std::string title;   // the channel's, in UTF-8
  };
  int columns = 0, rows = 0;  // a layout's grid
  std::vector<Pane> panes;    // a layout's picture
};

// The 29 screens as the settings held name them.
std::vector<ScreenTile> ScreenTiles(const DeviceSettings& settings);

// "ch05" (or "5"), "4A", "6b", "16" (the 16-way layout), "auto": the screen;
// nothing for any other text.
std::optional<int> ScreenNamed(std::string_view text);

// The line that switches to `screen` now (CS05, CD6B, CCAS), and the one
// that makes it the power-on screen.
BuiltCommand SwitchCommand(int screen);
BuiltCommand PowerOnCommand(int screen);

// The 28 requests of the titles and the division layouts.
std::vector<std::string> TitleAndLayoutRequests();

class ScreenSwitcher : public UnitConnections, public UnitTap {
 public:
  using Millis = RunEvents::Millis;
  enum class Target { Chosen, Broadcast, AllConnected };

  // `settings`: the program's, where the titles and layouts read decode.
  ScreenSwitcher(const LinkState& link, LinkTransport& transport, DeviceSettings& settings,
                 std::function<Millis()> clock);
  ScreenSwitcher(const ScreenSwitcher&) = delete;
  ScreenSwitcher& operator=(const ScreenSwitcher&) = delete;

  // The targets this link offers, and each in words: "アドレス 05",
  // "全ユニット（Bloadcast）", "192.168.0.21", "接続中のすべてのユニット（3 台）".
  std::vector<Target> Targets() const;
  std::string TargetText(Target target) const;

  // `line` (built, with its CR LF) to `target`, for `tile`'s screen; false,
  // with the status saying why, when it cannot go now.
  bool Send(Target target, const BuiltCommand& line, int tile, std::string_view what);
  // The titles and layouts of the chosen unit, into the settings.
  bool ReadTitlesAndLayouts();

  void LineReceived(std::string_view line);
  void Received(SocketHandle socket, std::string_view bytes) override;
  void Arrived() override {}
  void Connected(SocketHandle) override {}
  void Gone(SocketHandle socket) override;
  void Tick();

  bool Busy() const { return runner_ != nullptr; }
  std::optional<Millis> NextWake() const { return runner_ ? runner_->NextWake() : std::nullopt; }
  std::pair<int, int> Progress() const { return runner_ ? runner_->Progress() : std::pair(0, 0); }
  const std::string& Status() const { return status_; }
  // The tile whose last switch failed (an error answer, none, a send that
  // could not go); -1 when the last went through.
  int FailedTile() const { return failedTile_; }
  // The tile last switched to; -1 before the first.
  int LastTile() const { return lastTile_; }
  // Whether a read of titles and layouts ended since the last call: the
  // pictures to draw again.
  bool TakeRead() { return std::exchange(readEnded_, false); }

  // UnitConnections: a unit of the run on the program's transport.
  bool Send(std::size_t unit, std::string_view bytes) override;

 private:
  bool OnSerial() const;
  // The sockets of `target`: the chosen one, or every connected unit's.
  std::vector<SocketHandle> Sockets(Target target) const;
  bool Start(const std::vector<SocketHandle>& sockets, std::vector<std::string> lines, Millis timeout);
  std::string PeerOf(std::size_t unit) const;
  void Settle();

  const LinkState& link_;
  LinkTransport& transport_;
  DeviceSettings& settings_;
  std::function<Millis()> clock_;
  std::unique_ptr<UnitRunner> runner_;
  std::vector<RequestList> lists_;  // per unit of the run
  std::vector<DeviceSettings> scratch_;
  std::vector<SocketHandle> sockets_;
  std::unordered_map<SocketHandle, std::size_t> unitOf_;
  bool reading_ = false;   // the run reads titles and layouts
  bool readEnded_ = false;
  int tile_ = -1;          // the run's tile
  std::string what_;       // "ch.05 に切替"
  std::string status_;
  int failedTile_ = -1, lastTile_ = -1;
};

}  // namespace kelvrix
