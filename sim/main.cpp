// kelvrix-sim: plays one Kelvrix unit, or several on an RS-485 bus, on a
// serial device (one end of a pty pair), or units on the network: one unit
// the panel connects to, or units that dial into the panel's server port.
// Every frame it receives is logged, so tests can check the exact bytes the
// panel wrote.
//
//   kelvrix-sim (--device PATH | --listen PORT [--listen-on ADDRESS]
//                | --dial PORT --units N)
//               [--addresses 0,5,7] [--log FILE] [--control FILE] [--ready FILE]
//               [--mode LINE]... [--alarm-history N] [--video-loss-history N]
//               [--off-default] [--state FILE] [--unit-states DIR] [--baud N]
//               [--unit-delay MS] [--dial-gap MS] [--mac TEXT] [--version BYTES]
//
// --device plays one unit on RS-232C and, with the mode line "rs485", the
// units of --addresses (default 0) on an RS-485 bus, the unit at 05 with the
// MAC address 02-00-00-00-01-05. --listen plays one unit that takes TCP
// connections on 127.0.0.1:PORT (or on --listen-on's address). --dial plays N
// units that connect to 127.0.0.1:PORT from 127.0.0.2, 127.0.0.3, ...; their frames are
// logged after the unit's address ("127.0.0.3 VAB03120\r\n"); each has a
// MAC address of its own, 02-00-00-00-00-01 on.
// --off-default starts every unit with each readable setting off its default;
// --state writes the settings the first unit holds, as a settings data file,
// at the start and after every frame. --unit-states DIR tells units that dial
// in apart: each titles channel 16 "UNIT" and its number ("UNIT0002" from
// 127.0.0.2) and keeps its settings in DIR/<its address>.dat the same way.
// --baud plays the line at that speed (8E1: 11 bits a byte, 1.15 ms at 9600)
// in both directions: a frame is taken once its last byte could have crossed
// the line, and the answer leaves byte by byte; --unit-delay adds the unit's
// own time to answer. Without --baud every byte crosses at once. Units that
// dial in each take their --unit-delay on a clock of their own, as units on
// a network do: one unit's time to answer holds up no other; they dial one
// every --dial-gap ms (20: the panel's accept queue is short). --mac and
// --version make the RS-232C unit, or the one a client connects to, report
// those texts as they are, as a hostile or broken unit would: "../../x" for
// a MAC address, code page 932 bytes for a version; "--mac 5=TEXT" gives
// the bus unit at address 05, or the 5th unit that dials in, another MAC
// address (a unit swapped for a new one).
//
// Mode lines (--mode, then the lines of the control file, read again before
// each answer): "swap 5 MAC" (the bus unit at 05 a new one, factory-set, with
// that MAC address), "rs485", "silent", "silent unit 5" (--dial: that unit alone), "reply E3" (or GN, E0..E2, MENU; "reply E3
// from 57" from the 57th frame since the start on), "split 2,5,3", "delay 100",
// "noise 596" (bytes without LF before the answer), "repeat 40,60" (the answer
// 40 times, 60 ms apart; "repeat 2,0" back to back), "cut" (network: half the
// answer, then a reset), "normal". On the network, read again every 100 ms:
// "refuse" (--listen: no connection is taken), "drop 2,5" (--dial: those units
// hang up and stay away; the others dial again, at most once a second), "churn
// 3000" (--dial: every unit hangs up after a random time of up to 3 s and dials
// again), and hostile peers: "reset" (--listen: each connection is reset as it
// is taken; --dial: every unit connects and resets at once, and again, 50
// dials a second in all), "flood 25" (every connected unit sends a KiB of
// "E3" lines every 25 ms, unasked), "redial 1" (--dial: unit 1 dials in again
// from its address once a second, leaving its older connections open and idle).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <deque>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "link/descriptor_posix.h"
#include "link/socket_posix.h"
#include "link/traffic_log.h"
#include "model/settings_data_file.h"
#include "sim/simulated_bus.h"

namespace {

using namespace kelvrix::sim;

volatile std::sig_atomic_t stopRequested = 0;

void OnSignal(int) { stopRequested = 1; }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The line between panel and unit at the speed --baud gives; at none, bytes
// cross at once.
class Wire {
 public:
  using Clock = std::chrono::steady_clock;

  void SetSpeed(int baud, int unitDelayMs) {
    if (baud > 0) byteTime_ = std::chrono::microseconds(11'000'000 / baud);
    unitDelay_ = std::chrono::milliseconds(unitDelayMs);
  }
  bool Paced() const { return byteTime_.count() > 0; }
  std::chrono::milliseconds UnitDelay() const { return unitDelay_; }

  // `count` bytes were just read: the panel wrote them at once, the line
  // carries them one byte time after the other.
  void Received(std::size_t count) { inboundEnd_ = std::max(Clock::now(), inboundEnd_) + count * byteTime_; }

  // Waits until a frame has arrived whose last byte came `bytesAfter` bytes
  // before the last one received, and the unit has taken its time.
  void AwaitFrame(std::size_t bytesAfter) const {
    std::this_thread::sleep_until(inboundEnd_ - bytesAfter * byteTime_ + unitDelay_);
  }

  // Each byte once it has crossed, counted from the start so that a late
  // wake-up does not delay the bytes after it.
  void WritePaced(int fd, std::string_view bytes) {
    const Clock::time_point start = std::max(Clock::now(), outboundFree_);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      std::this_thread::sleep_until(start + (i + 1) * byteTime_);
      while (write(fd, &bytes[i], 1) < 0 && (errno == EINTR || errno == EAGAIN)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
    outboundFree_ = start + bytes.size() * byteTime_;
  }

 private:
  std::chrono::microseconds byteTime_{0};
  std::chrono::milliseconds unitDelay_{0};
  Clock::time_point inboundEnd_{};
  Clock::time_point outboundFree_{};
};

Wire wire;

void WriteAll(int fd, std::string_view bytes) {
  if (wire.Paced()) {
    wire.WritePaced(fd, bytes);
    return;
  }
  if (kelvrix::WriteWhole(fd, bytes)) tcdrain(fd);
}

// Writes the answer whole or in the pieces the mode ask for, each piece a
// separate read on the other side.
void WritePieces(int fd, std::string_view answer, const SimMode& mode) {
  std::size_t piece = 0;
  while (!answer.empty()) {
    std::size_t size = answer.size();
    if (piece < mode.split.size()) size = std::min(size, mode.split[piece++]);
    WriteAll(fd, answer.substr(0, size));
    answer.remove_prefix(size);
    if (!answer.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(60));
  }
}

// The answer as the mode shapes it: after a delay, after noise, repeated.
void WriteAnswer(int fd, const std::string& answer, const SimMode& mode) {
  if (mode.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(mode.delayMs));
  if (mode.noise > 0) {
    WriteAll(fd, std::string(mode.noise, 'x'));
    std::this_thread::sleep_for(std::chrono::milliseconds(60));  // a read of its own
  }
  if (mode.repeatGapMs == 0) {  // back to back, as one read on the other side
    std::string all;
    for (int i = 0; i < mode.repeat; ++i) all += answer;
    WritePieces(fd, all, mode);
    return;
  }
  for (int i = 0; i < mode.repeat && !stopRequested; ++i) {
    if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(mode.repeatGapMs));
    WritePieces(fd, answer, mode);
  }
}

// Closes with a reset rather than a clean hang-up.
void Reset(int fd) {
  const linger now{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
  close(fd);
}

// A KiB of "E3" lines, unasked, without waiting for the panel to read them.
void Flood(int fd) {
  static const std::string lines = [] {
    std::string text;
    while (text.size() < 1024) text += "E3\r\n";
    return text;
  }();
  send(fd, lines.data(), lines.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
}

// The period of "flood MS" in the control text; 0 when there is none.
int FloodPeriod(const std::string& control);

// Whole or not at all: the file is replaced by a rename.
void WriteFileWhole(const std::string& path, const std::string& bytes) {
  const std::string temporary = path + ".new";
  std::ofstream(temporary, std::ios::binary) << bytes;
  std::rename(temporary.c_str(), path.c_str());
}

std::vector<int> ParseAddresses(const char* text) {
  std::vector<int> addresses;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) addresses.push_back(std::atoi(item.c_str()));
  return addresses;
}

// The answers a unit that dialled in still owes, each due once the unit has
// taken its time.
class Outbox {
 public:
  using Clock = std::chrono::steady_clock;
  struct Answer {
    Clock::time_point due;
    std::string bytes;
    SimMode mode;
  };

  void Add(std::string answer, const SimMode& mode) {
    const Clock::time_point after = answers_.empty() ? Clock::now() : std::max(Clock::now(), answers_.back().due);
    answers_.push_back({after + wire.UnitDelay(), std::move(answer), mode});
  }
  // How long until the next answer is due, at most `longest`.
  int WaitMs(int longest) const {
    if (answers_.empty()) return longest;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(answers_.front().due - Clock::now());
    return static_cast<int>(std::clamp<long long>(left.count(), 0, longest));
  }
  void SendDue(int fd) {
    while (!answers_.empty() && answers_.front().due <= Clock::now()) {
      WriteAnswer(fd, answers_.front().bytes, answers_.front().mode);
      answers_.pop_front();
    }
  }
  void Clear() { answers_.clear(); }

 private:
  std::deque<Answer> answers_;
};

int Usage() {
  std::fprintf(stderr,
               "usage: kelvrix-sim (--device PATH | --listen PORT [--listen-on ADDRESS]\n"
               "                    | --dial PORT --units N)\n"
               "       [--addresses 0,5,7] [--log FILE] [--control FILE] [--ready FILE]\n"
               "       [--mode LINE]... [--alarm-history N] [--video-loss-history N]\n"
               "       [--off-default] [--state FILE] [--unit-states DIR] [--baud N]\n"
               "       [--unit-delay MS] [--dial-gap MS] [--mac TEXT] [--version BYTES]\n");
  return 2;
}

struct Options {
  std::string device, logPath, controlPath, readyPath, statePath, unitStatesDir, modeLines, mac, version;
  int listenPort = 0, dialPort = 0, units = 1;
  uint32_t listenAddress = INADDR_LOOPBACK;
  std::vector<int> addresses = {0};
  int alarmEntries = 0, videoLossEntries = 0;
  int baud = 0, unitDelayMs = 0, dialGapMs = 20;
  bool offDefault = false;
};

// What every link shares: the log, the mode, the frame count and the state file.
class Simulator {
 public:
  explicit Simulator(const Options& options) : options_(options) {
    if (!options.logPath.empty()) log_ = std::fopen(options.logPath.c_str(), "a");
  }
  ~Simulator() {
    if (log_) std::fclose(log_);
  }

  void Prepare(SimulatedUnit& unit) const {
    unit.FillAlarmHistory(options_.alarmEntries);
    unit.FillVideoLossHistory(options_.videoLossEntries);
    if (options_.offDefault) unit.UseOffDefaultSettings();
    if (!options_.mac.empty() && options_.mac.find('=') == std::string::npos) {
      kelvrix::CopyText(unit.settings.macAddress, options_.mac);
    }
    if (!options_.version.empty()) unit.version = options_.version;
  }

  std::string ControlText() const {
    std::string text = options_.modeLines;
    if (!options_.controlPath.empty()) text += ReadFile(options_.controlPath);
    return text;
  }

  // Bytes received on `fd`; each whole frame is logged (after `tag`) and
  // answered by `pick(mode)`'s bus, and the first unit's state is kept.
  // With an `outbox` the answers wait there for their time instead of here.
  // False when the answer was cut: the caller resets the connection.
  template <class PickBus>
  bool Receive(int fd, std::string& pending, std::string_view bytes, const std::string& tag, PickBus pick,
               const SimulatedUnit& stateUnit, Outbox* outbox = nullptr, int dialler = 0) {
    pending.append(bytes);
    wire.Received(bytes.size());
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
      const std::string frame = pending.substr(0, end + 1);
      pending.erase(0, end + 1);
      if (!outbox) wire.AwaitFrame(pending.size());
      if (log_) {
        std::fprintf(log_, "%s%s\n", tag.c_str(), kelvrix::EscapedBytes(frame).c_str());
        std::fflush(log_);
      }
      SimMode mode = SimMode::Parse(ControlText());
      if (++frameNumber_ < mode.replyFromFrame) mode.reply.clear();
      if (mode.silentFromFrame > 0 && frameNumber_ >= mode.silentFromFrame) mode.silent = true;
      if (dialler > 0 && mode.silentUnit == dialler) mode.silent = true;
      auto answer = pick(mode).Handle(frame, mode);
      KeepState(stateUnit);
      if (answer && mode.cut) {
        WriteAll(fd, answer->substr(0, answer->size() / 2));
        return false;
      }
      if (answer && outbox) {
        outbox->Add(*answer, mode);
      } else if (answer) {
        WriteAnswer(fd, *answer, mode);
      }
    }
    if (pending.size() > 4096) pending.clear();  // no LF in sight: noise
    return true;
  }

  // "--mac N=TEXT": the MAC address of unit N (a bus address, or the Nth
  // that dials in), when given.
  void GiveMac(int n, kelvrix::DeviceSettings& settings) const {
    const std::string prefix = std::to_string(n) + "=";
    if (options_.mac.starts_with(prefix)) kelvrix::CopyText(settings.macAddress, options_.mac.substr(prefix.size()));
  }

  // Written only when it changed: a read leaves it as it was.
  void KeepState(const SimulatedUnit& unit) const {
    if (options_.statePath.empty()) return;
    std::string state = kelvrix::WriteSettingsData(unit.settings);
    if (state == state_) return;
    state_ = std::move(state);
    WriteFileWhole(options_.statePath, state_);
  }

  void Ready() const {
    if (!options_.readyPath.empty()) std::ofstream(options_.readyPath) << getpid() << "\n";
  }

  const Options& options() const { return options_; }

 private:
  const Options& options_;
  FILE* log_ = nullptr;
  long frameNumber_ = 0;
  mutable std::string state_;  // what the state file holds
};

// Control lines that act on the network links rather than on an answer.
bool HasLine(const std::string& control, std::string_view word) {
  std::stringstream in(control);
  for (std::string line; std::getline(in, line);) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line == word) return true;
  }
  return false;
}

// The numbers after `word` on its line: "drop 2,5" gives {2, 5}.
std::set<int> NumbersAfter(const std::string& control, std::string_view word) {
  std::set<int> numbers;
  std::stringstream in(control);
  for (std::string line; std::getline(in, line);) {
    if (!line.starts_with(std::string(word) + " ")) continue;
    for (int n : ParseAddresses(line.c_str() + word.size() + 1)) numbers.insert(n);
  }
  return numbers;
}

int FloodPeriod(const std::string& control) {
  const std::set<int> period = NumbersAfter(control, "flood");
  return period.empty() ? 0 : std::max(1, *period.begin());
}

// Every `period` ms (none at 0), each open connection floods.
class Flooder {
 public:
  template <class Fds>
  int Tick(int period, const Fds& fds) {
    if (period <= 0) return 100;
    const auto now = std::chrono::steady_clock::now();
    if (now >= next_) {
      for (int fd : fds) {
        if (fd >= 0) Flood(fd);
      }
      next_ = now + std::chrono::milliseconds(period);
    }
    return std::min(100, period);
  }

 private:
  std::chrono::steady_clock::time_point next_{};
};

sockaddr_in Loopback(int lastByte, int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl((127u << 24) | static_cast<uint32_t>(lastByte));
  return address;
}


// Each unit on the RS-485 bus has a MAC address of its own, made of its
// address: 02-00-00-00-01-05 at 05.
std::string BusUnitMac(int address) {
  char mac[18];
  std::snprintf(mac, sizeof mac, "02-00-00-00-01-%02d", address);
  return mac;
}

// "swap 5 02-00-00-00-09-99" in the control text: the bus unit at 05 is
// a new one, as it left the factory, with that MAC address (a failed unit
// replaced while the panel keeps running).
void SwapUnits(const std::string& control, SimulatedBus& bus) {
  std::stringstream in(control);
  for (std::string line; std::getline(in, line);) {
    std::stringstream words(line);
    std::string verb, mac;
    int address = -1;
    if (!(words >> verb >> address >> mac) || verb != "swap") continue;
    const auto unit = bus.units().find(address);
    if (unit == bus.units().end() || mac == unit->second.settings.macAddress) continue;
    unit->second = SimulatedUnit();
    kelvrix::CopyText(unit->second.settings.macAddress, mac);
  }
}

int RunSerial(Simulator& sim) {
  const Options& options = sim.options();
  const int fd = open(options.device.c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0) {
    std::fprintf(stderr, "kelvrix-sim: cannot open %s: %s\n", options.device.c_str(), std::strerror(errno));
    return 1;
  }
  termios mode{};
  if (tcgetattr(fd, &mode) == 0) {
    cfmakeraw(&mode);
    tcsetattr(fd, TCSANOW, &mode);  // no flush: bytes already queued stay
  }
  SimulatedBus pointToPoint(false, {});
  SimulatedBus rs485Bus(true, options.addresses);
  for (SimulatedBus* bus : {&pointToPoint, &rs485Bus}) {
    for (auto& [address, unit] : bus->units()) sim.Prepare(unit);
  }
  for (auto& [address, unit] : rs485Bus.units()) {
    kelvrix::CopyText(unit.settings.macAddress, BusUnitMac(address));
    sim.GiveMac(address, unit.settings);
  }
  // The RS-232C unit and the first unit on the bus play the same part.
  SimulatedUnit& first = pointToPoint.units().begin()->second;
  sim.KeepState(first);
  sim.Ready();

  std::string pending, bytes;
  while (!stopRequested) {
    pollfd waiting{fd, POLLIN, 0};
    if (poll(&waiting, 1, 500) <= 0) continue;
    if (!(waiting.revents & POLLIN) || !kelvrix::ReadAvailable(fd, bytes) || bytes.empty()) {
      // The other end is not open (yet): wait instead of spinning on POLLHUP.
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      continue;
    }
    SwapUnits(sim.ControlText(), rs485Bus);
    bool rs485 = false;
    sim.Receive(fd, pending, bytes, "", [&](const SimMode& m) -> SimulatedBus& {
      rs485 = m.rs485;
      return m.rs485 ? rs485Bus : pointToPoint;
    }, first);
    if (rs485) sim.KeepState(rs485Bus.units().begin()->second);
  }
  close(fd);
  return 0;
}

// One unit on the network: the panel connects to it.
int RunListening(Simulator& sim) {
  SimulatedBus unit(false, {});
  SimulatedUnit& state = unit.units().begin()->second;
  sim.Prepare(state);
  sim.KeepState(state);
  int listener = -1;
  struct Peer {
    int fd;
    std::string pending;
  };
  std::vector<Peer> peers;
  Flooder flooder;
  bool ready = false;
  std::string bytes;
  while (!stopRequested) {
    const bool refuse = HasLine(sim.ControlText(), "refuse");
    if (refuse && listener >= 0) {
      close(listener);
      listener = -1;
    } else if (!refuse && listener < 0) {
      std::string error;
      listener = kelvrix::ListenTcp(sim.options().listenAddress, sim.options().listenPort, error);
      if (listener < 0) {
        std::fprintf(stderr, "kelvrix-sim: %s\n", error.c_str());
        return 1;
      }
    }
    if (!ready) sim.Ready();
    ready = true;
    std::vector<int> open;
    for (const Peer& peer : peers) open.push_back(peer.fd);
    const int pause = flooder.Tick(FloodPeriod(sim.ControlText()), open);
    std::vector<pollfd> waiting;
    if (listener >= 0) waiting.push_back({listener, POLLIN, 0});
    for (const Peer& peer : peers) waiting.push_back({peer.fd, POLLIN, 0});
    if (poll(waiting.data(), waiting.size(), pause) <= 0) continue;
    std::size_t next = 0;
    if (listener >= 0 && (waiting[next++].revents & POLLIN)) {
      std::string peer;
      const int fd = kelvrix::AcceptTcp(listener, peer);
      if (fd >= 0 && HasLine(sim.ControlText(), "reset")) {
        Reset(fd);
      } else if (fd >= 0) {
        peers.push_back({fd, {}});
      }
    }
    for (std::size_t i = 0; next + i < waiting.size(); ++i) {
      if (!(waiting[next + i].revents & (POLLIN | POLLHUP))) continue;
      Peer& peer = peers[i];
      if (!kelvrix::ReadAvailable(peer.fd, bytes)) {
        close(peer.fd);
        peer.fd = -1;
        continue;
      }
      if (!sim.Receive(peer.fd, peer.pending, bytes, "", [&](const SimMode&) -> SimulatedBus& { return unit; }, state)) {
        Reset(peer.fd);
        peer.fd = -1;
      }
    }
    std::erase_if(peers, [](const Peer& peer) { return peer.fd < 0; });
  }
  for (const Peer& peer : peers) close(peer.fd);
  if (listener >= 0) close(listener);
  return 0;
}

// Units that dial into the panel's server, each from an address of its own.
int RunDialling(Simulator& sim) {
  using Clock = std::chrono::steady_clock;
  struct Dialler {
    std::string address;  // "127.0.0.2"
    sockaddr_in from;
    std::unique_ptr<SimulatedBus> unit = std::make_unique<SimulatedBus>(false, std::vector<int>{});
    int fd = -1;
    std::string pending;
    Outbox outbox;
    Clock::time_point nextDial{}, hangUp = Clock::time_point::max();
    std::vector<int> older;  // "redial": connections left open and idle
    Clock::time_point nextRedial{};
    std::string state;  // --unit-states: what its file holds
  };
  const int count = sim.options().units;
  std::vector<Dialler> units(static_cast<std::size_t>(count));
  for (int k = 0; k < count; ++k) {
    units[k].address = "127.0.0." + std::to_string(k + 2);
    units[k].from = Loopback(k + 2, 0);
    kelvrix::DeviceSettings& settings = units[k].unit->units().begin()->second.settings;
    sim.Prepare(units[k].unit->units().begin()->second);
    char mac[18];
    std::snprintf(mac, sizeof mac, "02-00-00-00-%02X-%02X", (k + 1) >> 8 & 0xFF, (k + 1) & 0xFF);
    kelvrix::CopyText(settings.macAddress, mac);
    sim.GiveMac(k + 1, settings);
  }
  const std::string& statesDir = sim.options().unitStatesDir;
  const auto keepUnitState = [&](Dialler& d) {  // only when it changed: reads leave it as it was
    if (statesDir.empty()) return;
    std::string state = kelvrix::WriteSettingsData(d.unit->units().begin()->second.settings);
    if (state == d.state) return;
    d.state = std::move(state);
    WriteFileWhole(statesDir + "/" + d.address + ".dat", d.state);
  };
  for (Dialler& d : units) {
    if (statesDir.empty()) break;
    char title[kelvrix::kTitleLength + 1];
    std::snprintf(title, sizeof title, "UNIT%04u", static_cast<unsigned>(&d - units.data() + 2) % 10000u);
    kelvrix::CopyText(d.unit->units().begin()->second.settings.channelTitle[kelvrix::kChannelCount - 1], title);
    keepUnitState(d);
  }
  const SimulatedUnit& first = units[0].unit->units().begin()->second;
  sim.KeepState(first);
  const sockaddr_in panel = Loopback(1, sim.options().dialPort);
  std::mt19937 random(12345);
  sim.Ready();

  // One dial every --dial-gap ms at most, so the panel's short accept queue
  // never overflows (an overflowing queue makes the kernel retry a dial only
  // after seconds).
  const auto dialGap = std::chrono::milliseconds(sim.options().dialGapMs);
  Clock::time_point nextDialSlot{};
  Flooder flooder;
  std::string bytes;
  while (!stopRequested) {
    const std::string control = sim.ControlText();
    const std::set<int> dropped = NumbersAfter(control, "drop");
    const std::set<int> churn = NumbersAfter(control, "churn");
    const int churnMs = churn.empty() ? 0 : *churn.begin();
    const bool resetting = HasLine(control, "reset");
    const std::set<int> redialling = NumbersAfter(control, "redial");
    const auto now = Clock::now();
    for (int k = 0; k < count; ++k) {
      Dialler& d = units[k];
      const bool away = dropped.count(k + 1) > 0;
      if (d.fd >= 0 && (away || now >= d.hangUp)) {
        if (resetting) {  // and again in its turn: every unit dials once a round
          Reset(d.fd);
          d.nextDial = now + dialGap * count;
        } else {
          close(d.fd);
          d.nextDial = now + std::chrono::seconds(1);
        }
        d.fd = -1;
      }
      if (d.fd >= 0 && redialling.count(k + 1) && now >= d.nextRedial && d.older.size() < 100) {
        d.nextRedial = now + std::chrono::seconds(1);
        d.older.push_back(d.fd);  // as a unit that lost power leaves it: open, never read again
        d.fd = -1;
        d.nextDial = now;
      }
      if (d.fd < 0 && !away && now >= d.nextDial && now >= nextDialSlot) {
        nextDialSlot = now + dialGap;
        d.nextDial = now + std::chrono::seconds(1);
        // Without waiting: a panel busy elsewhere must not stall the other units.
        d.fd = socket(AF_INET, SOCK_STREAM, 0);
        fcntl(d.fd, F_SETFL, O_NONBLOCK);
        if (bind(d.fd, reinterpret_cast<const sockaddr*>(&d.from), sizeof d.from) != 0 ||
            (connect(d.fd, reinterpret_cast<const sockaddr*>(&panel), sizeof panel) != 0 && errno != EINPROGRESS)) {
          close(d.fd);
          d.fd = -1;
          continue;
        }
        d.pending.clear();
        d.hangUp = churnMs > 0 ? now + std::chrono::milliseconds(random() % churnMs) : Clock::time_point::max();
        if (resetting) d.hangUp = now + std::chrono::milliseconds(5);
      }
    }
    std::vector<pollfd> waiting;
    std::vector<Dialler*> polled;
    bool wantsToDial = false;
    int untilAnswer = 100;
    for (Dialler& d : units) {
      if (d.fd < 0) d.outbox.Clear();  // a unit that hung up owes nothing
      d.outbox.SendDue(d.fd);
      untilAnswer = d.outbox.WaitMs(untilAnswer);
      if (d.fd < 0) {
        wantsToDial = wantsToDial || dropped.count(static_cast<int>(&d - units.data()) + 1) == 0;
        continue;
      }
      waiting.push_back({d.fd, POLLIN, 0});
      polled.push_back(&d);
    }
    std::vector<int> open;
    for (const Dialler& d : units) open.push_back(d.fd);
    const int dialPause = std::max(1, static_cast<int>(dialGap.count()));
    const int pause = std::min({wantsToDial ? dialPause : 100, untilAnswer, flooder.Tick(FloodPeriod(control), open)});
    if (waiting.empty()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(pause));
      continue;
    }
    if (poll(waiting.data(), waiting.size(), pause) <= 0) continue;
    for (std::size_t i = 0; i < waiting.size(); ++i) {
      if (!(waiting[i].revents & (POLLIN | POLLHUP))) continue;
      Dialler& d = *polled[i];
      if (!kelvrix::ReadAvailable(d.fd, bytes)) {  // the panel closed it: dial again later
        close(d.fd);
        d.fd = -1;
        continue;
      }
      SimulatedBus& unit = *d.unit;
      if (!sim.Receive(d.fd, d.pending, bytes, d.address + " ", [&](const SimMode&) -> SimulatedBus& { return unit; },
                       first, &d.outbox, static_cast<int>(&d - units.data()) + 1)) {
        Reset(d.fd);
        d.fd = -1;
        d.nextDial = Clock::now() + std::chrono::seconds(1);
      }
      keepUnitState(d);
    }
  }
  for (const Dialler& d : units) {
    if (d.fd >= 0) close(d.fd);
    for (int fd : d.older) close(fd);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--off-default") {
      options.offDefault = true;
    } else if (!hasValue) {
      return Usage();
    } else if (arg == "--device") {
      options.device = argv[++i];
    } else if (arg == "--listen") {
      options.listenPort = std::atoi(argv[++i]);
    } else if (arg == "--listen-on") {
      in_addr address{};
      if (inet_pton(AF_INET, argv[++i], &address) != 1) return Usage();
      options.listenAddress = ntohl(address.s_addr);
    } else if (arg == "--dial") {
      options.dialPort = std::atoi(argv[++i]);
    } else if (arg == "--units") {
      options.units = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--addresses") {
      options.addresses = ParseAddresses(argv[++i]);
    } else if (arg == "--log") {
      options.logPath = argv[++i];
    } else if (arg == "--control") {
      options.controlPath = argv[++i];
    } else if (arg == "--ready") {
      options.readyPath = argv[++i];
    } else if (arg == "--state") {
      options.statePath = argv[++i];
    } else if (arg == "--unit-states") {
      options.unitStatesDir = argv[++i];
    } else if (arg == "--mode") {
      options.modeLines += std::string(argv[++i]) + "\n";
    } else if (arg == "--alarm-history") {
      options.alarmEntries = std::atoi(argv[++i]);
    } else if (arg == "--video-loss-history") {
      options.videoLossEntries = std::atoi(argv[++i]);
    } else if (arg == "--baud") {
      options.baud = std::atoi(argv[++i]);
    } else if (arg == "--unit-delay") {
      options.unitDelayMs = std::atoi(argv[++i]);
    } else if (arg == "--dial-gap") {
      options.dialGapMs = std::max(0, std::atoi(argv[++i]));
    } else if (arg == "--mac") {
      options.mac = argv[++i];
    } else if (arg == "--version") {
      options.version = argv[++i];
    } else {
      return Usage();
    }
  }
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGINT, OnSignal);
  std::signal(SIGPIPE, SIG_IGN);  // a peer that hung up is noticed by the next read
  wire.SetSpeed(options.baud, options.unitDelayMs);
  Simulator sim(options);
  if (!options.device.empty()) return RunSerial(sim);
  if (options.listenPort > 0) return RunListening(sim);
  if (options.dialPort > 0) return RunDialling(sim);
  return Usage();
}
