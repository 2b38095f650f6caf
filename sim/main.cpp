// kelvrix-sim: plays one Kelvrix unit, or several on an RS-485 bus, on a
// serial device (one end of a pty pair). Every frame it receives is logged,
// so tests can check the exact bytes the panel wrote.
//
//   kelvrix-sim --device PATH [--addresses 0,5,7] [--log FILE] [--control FILE]
//               [--ready FILE] [--mode LINE]... [--alarm-history N] [--video-loss-history N]
//               [--off-default] [--state FILE]
//
// --off-default starts every unit with each readable setting off its default;
// --state writes the settings the first unit holds, as a settings data file,
// at the start and after every frame.
// It plays one unit on RS-232C and, with the mode line "rs485", the units of
// --addresses (default 0) on an RS-485 bus. Mode lines (--mode, then the lines
// of the control file, read again before each answer): "rs485", "silent",
// "reply E3" (or GN, E0..E2, MENU; "reply E3 from 57" from the 57th frame
// since the start on), "split 2,5,3", "delay 100", "noise 596"
// (bytes without LF before the answer), "repeat 40,60" (the answer 40 times,
// 60 ms apart; "repeat 2,0" back to back), "normal".
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "model/settings_data_file.h"
#include "sim/simulated_bus.h"

namespace {

using namespace kelvrix::sim;

volatile std::sig_atomic_t stopRequested = 0;

void OnSignal(int) { stopRequested = 1; }

std::string Escaped(std::string_view bytes) {
  std::string text;
  for (unsigned char c : bytes) {
    if (c == '\r') {
      text += "\\r";
    } else if (c == '\n') {
      text += "\\n";
    } else if (c == '\\') {
      text += "\\\\";
    } else if (c < 0x20 || c >= 0x7F) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      text += hex;
    } else {
      text += static_cast<char>(c);
    }
  }
  return text;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        continue;
      }
      return;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  tcdrain(fd);
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

// Whole or not at all: the file is replaced by a rename.
void WriteState(const std::string& path, const SimulatedUnit& unit) {
  const std::string temporary = path + ".new";
  std::ofstream(temporary, std::ios::binary) << kelvrix::WriteSettingsData(unit.settings);
  std::rename(temporary.c_str(), path.c_str());
}

std::vector<int> ParseAddresses(const char* text) {
  std::vector<int> addresses;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) addresses.push_back(std::atoi(item.c_str()));
  return addresses;
}

int Usage() {
  std::fprintf(stderr,
               "usage: kelvrix-sim --device PATH [--addresses 0,5,7] [--log FILE] [--control FILE]\n"
               "       [--ready FILE] [--mode LINE]... [--alarm-history N] [--video-loss-history N]\n"
               "       [--off-default] [--state FILE]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string device, logPath, controlPath, readyPath, statePath, modeLines;
  std::vector<int> addresses = {0};
  int alarmEntries = 0, videoLossEntries = 0;
  bool offDefault = false;

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--off-default") {
      offDefault = true;
    } else if (!hasValue) {
      return Usage();
    } else if (arg == "--device") {
      device = argv[++i];
    } else if (arg == "--addresses") {
      addresses = ParseAddresses(argv[++i]);
    } else if (arg == "--log") {
      logPath = argv[++i];
    } else if (arg == "--control") {
      controlPath = argv[++i];
    } else if (arg == "--ready") {
      readyPath = argv[++i];
    } else if (arg == "--state") {
      statePath = argv[++i];
    } else if (arg == "--mode") {
      modeLines += std::string(argv[++i]) + "\n";
    } else if (arg == "--alarm-history") {
      alarmEntries = std::atoi(argv[++i]);
    } else if (arg == "--video-loss-history") {
      videoLossEntries = std::atoi(argv[++i]);
    } else {
      return Usage();
    }
  }
  if (device.empty()) return Usage();

  const int fd = open(device.c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0) {
    std::fprintf(stderr, "kelvrix-sim: cannot open %s: %s\n", device.c_str(), std::strerror(errno));
    return 1;
  }
  termios mode{};
  if (tcgetattr(fd, &mode) == 0) {
    cfmakeraw(&mode);
    tcsetattr(fd, TCSANOW, &mode);  // no flush: bytes already queued stay
  }

  SimulatedBus pointToPoint(false, {});
  SimulatedBus rs485Bus(true, addresses);
  for (SimulatedBus* bus : {&pointToPoint, &rs485Bus}) {
    for (auto& [address, unit] : bus->units()) {
      unit.FillAlarmHistory(alarmEntries);
      unit.FillVideoLossHistory(videoLossEntries);
      if (offDefault) unit.UseOffDefaultSettings();
    }
  }
  // The RS-232C unit and the first unit on the bus play the same part.
  auto stateOf = [&](bool rs485) -> const SimulatedUnit& {
    return (rs485 ? rs485Bus : pointToPoint).units().begin()->second;
  };
  if (!statePath.empty()) WriteState(statePath, stateOf(false));

  std::signal(SIGTERM, OnSignal);
  std::signal(SIGINT, OnSignal);
  FILE* log = logPath.empty() ? nullptr : std::fopen(logPath.c_str(), "a");
  if (!readyPath.empty()) std::ofstream(readyPath) << getpid() << "\n";

  std::string pending;
  long frameNumber = 0;
  char buffer[1024];
  while (!stopRequested) {
    pollfd waiting{fd, POLLIN, 0};
    const int ready = poll(&waiting, 1, 500);
    if (ready <= 0) continue;
    if (!(waiting.revents & POLLIN)) {
      // The other end is not open (yet): wait instead of spinning on POLLHUP.
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      continue;
    }
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      continue;
    }
    pending.append(buffer, static_cast<std::size_t>(n));
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
      const std::string frame = pending.substr(0, end + 1);
      pending.erase(0, end + 1);
      if (log) {
        std::fprintf(log, "%s\n", Escaped(frame).c_str());
        std::fflush(log);
      }
      std::string modeText = modeLines;
      if (!controlPath.empty()) modeText += ReadFile(controlPath);
      SimMode mode = SimMode::Parse(modeText);
      if (++frameNumber < mode.replyFromFrame) mode.reply.clear();
      SimulatedBus& bus = mode.rs485 ? rs485Bus : pointToPoint;
      if (auto answer = bus.Handle(frame, mode)) WriteAnswer(fd, *answer, mode);
      if (!statePath.empty()) WriteState(statePath, stateOf(mode.rs485));
    }
    if (pending.size() > 4096) pending.clear();  // no LF in sight: noise
  }
  if (log) std::fclose(log);
  close(fd);
  return 0;
}
