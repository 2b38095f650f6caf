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
  // All a screen reader should say of it: the name, with a layout's panes
  // in order ("4分割A（01 ENTRANCE、02 CH02、…）") and Auto's dwell times.
  std::string spoken;
  struct Pane {
    PanePlace place;     // on a grid of `columns` x `rows`
    int channel;         // 0..15
    std::string title;   // the channel's, in UTF-8
    bool operator==(const Pane&) const = default;
  };
  int columns = 0, rows = 0;  // a layout's grid
  std::vector<Pane> panes;    // a layout's picture

  bool operator==(const ScreenTile&) const = default;
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

// Where the 29 tiles sit in a window of `width` x `height` pixels: the
// channels' rows, then the layouts' and Auto's, in as many columns as give
// the largest 4:3 tiles that fit, `gap` pixels apart.
struct TileGrid {
  struct Place {
    int left, top, width, height;
    int row, column;
  };
  std::vector<Place> tiles;  // by screen
  // The tile an arrow key leads to from `tile`: left or right the one
  // before or after it, up or down the one above or below it (the row's
  // last where that row is shorter); `tile` itself at an edge.
  int Neighbour(int tile, int across, int down) const;
};
TileGrid LayTiles(int width, int height, int gap);

// A channel number typed on the keyboard: "5" is ch.05 at once, "1" waits a
// moment for a second digit ("12": ch.12) and is ch.01 without one; "0"
// waits for one ("05").
class ChannelTyping {
 public:
  // The channel (0..15) to switch to now, or nothing while a second digit may come.
  std::optional<int> Digit(int digit);
  // The moment is over: the channel the digit typed alone names, if any.
  std::optional<int> TimedOut();
  bool Waiting() const { return first_ >= 0; }

 private:
  int first_ = -1;
};

class ScreenSwitcher : public UnitConnections, public UnitTap {
 public:
  using Millis = RunEvents::Millis;
  enum class Target { Chosen, Broadcast, AllConnected };

  // `settings`: the program's, where the titles and layouts read decode and
  // whose screen and power-on screen follow a switch that went through.
  // While a switch or a read waits for answers it holds the link's run.
  ScreenSwitcher(LinkState& link, LinkTransport& transport, DeviceSettings& settings,
                 std::function<Millis()> clock);
  ScreenSwitcher(const ScreenSwitcher&) = delete;
  ScreenSwitcher& operator=(const ScreenSwitcher&) = delete;
  ~ScreenSwitcher() override;

  // The targets this link offers, and each in words: "アドレス 05",
  // "全ユニット（Bloadcast）", "192.168.0.21", "選ばれたユニットはありません",
  // "接続中のすべてのユニット（3 台）".
  std::vector<Target> Targets() const;
  std::string TargetText(Target target) const;

  // `target` switched to `screen` now, or that screen made its power-on
  // screen; false, with the status and the tile saying why, when it cannot
  // go now: another run or reply holds the link, or no unit is there.
  bool Switch(Target target, int screen, bool powerOn = false);
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
  // The screen whose last switch failed (an error answer, none, a send that
  // could not go); -1 when the last went through.
  int FailedTile() const { return failedTile_; }
  // The screen last switched to; -1 before the first.
  int LastTile() const { return lastTile_; }
  // Whether a read of titles and layouts ended since the last call: the
  // pictures to draw again.
  bool TakeRead() { return std::exchange(readEnded_, false); }

  // UnitConnections: a unit of the run on the program's transport.
  bool Send(std::size_t unit, std::string_view bytes) override;

 private:
  bool OnSerial() const;
  bool Refused(std::string_view why);
  // The sockets of `target`: the chosen one, or every connected unit's.
  std::vector<SocketHandle> Sockets(Target target) const;
  bool Start(Target target, std::vector<std::string> lines);
  std::string PeerOf(std::size_t unit) const;
  void Settle();
  void Took();

  LinkState& link_;
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
  int tile_ = -1;          // the run's screen
  bool powerOn_ = false;   // the run makes it the power-on screen
  std::string what_;       // "ch.05", "6分割B（電源投入時）"
  std::string status_;
  int failedTile_ = -1, lastTile_ = -1;
};

}  // namespace kelvrix
