// kelvrix-cli on Linux: the link is a serial device, a TCP connection or the
// connections of units that dial in, waited on with poll(); everything else
// is the portable core's.
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_commands.h"
#include "cli/cli_output.h"
#include "link/descriptor_posix.h"
#include "link/serial_posix.h"
#include "link/socket_posix.h"

namespace {

using kelvrix::cli::DialledUnits;
using kelvrix::cli::Millis;
using kelvrix::cli::ProgressLine;

Millis SteadyNow() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return Millis(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

class DescriptorLink : public kelvrix::cli::CliLink {
 public:
  explicit DescriptorLink(int fd) : fd_(fd) {}
  ~DescriptorLink() override { close(fd_); }
  DescriptorLink(const DescriptorLink&) = delete;
  DescriptorLink& operator=(const DescriptorLink&) = delete;

  bool Write(std::string_view bytes) override { return kelvrix::WriteWhole(fd_, bytes); }
  bool Read(Millis wait, std::string& bytes) override {
    bytes.clear();
    pollfd ready{fd_, POLLIN, 0};
    const int got = poll(&ready, 1, static_cast<int>(wait.count()));
    if (got < 0) return errno == EINTR;
    return got == 0 || kelvrix::ReadAvailable(fd_, bytes);
  }
  void Progress(int done, int total) override { progress_.Show(done + 1, total); }
  Millis Now() override { return SteadyNow(); }

 private:
  int fd_;
  ProgressLine progress_{isatty(STDERR_FILENO) == 1};
};

// The units that dialled in, each on its own socket.
class DialledSockets : public DialledUnits {
 public:
  struct Unit {
    int fd;
    std::string address;
  };
  explicit DialledSockets(std::vector<Unit> units) : units_(std::move(units)) {}
  ~DialledSockets() override {
    for (const Unit& unit : units_) {
      if (unit.fd >= 0) close(unit.fd);
    }
  }
  DialledSockets(const DialledSockets&) = delete;
  DialledSockets& operator=(const DialledSockets&) = delete;

  std::size_t Count() const override { return units_.size(); }
  std::string Name(std::size_t unit) const override { return units_[unit].address; }
  bool Write(std::size_t unit, std::string_view bytes) override {
    return units_[unit].fd >= 0 && kelvrix::WriteWhole(units_[unit].fd, bytes);
  }
  std::vector<Arrival> Read(Millis wait) override {
    std::vector<pollfd> waiting;
    std::vector<std::size_t> polled;
    for (std::size_t k = 0; k < units_.size(); ++k) {
      if (units_[k].fd < 0) continue;
      waiting.push_back({units_[k].fd, POLLIN, 0});
      polled.push_back(k);
    }
    std::vector<Arrival> arrivals;
    if (poll(waiting.data(), waiting.size(), static_cast<int>(wait.count())) <= 0) return arrivals;
    for (std::size_t i = 0; i < waiting.size(); ++i) {
      if (!(waiting[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      Unit& unit = units_[polled[i]];
      std::string bytes;
      const bool open = kelvrix::ReadAvailable(unit.fd, bytes);
      if (!open) {
        close(unit.fd);
        unit.fd = -1;
      }
      if (!open || !bytes.empty()) arrivals.push_back({polled[i], std::move(bytes), !open});
    }
    return arrivals;
  }
  Millis Now() override { return SteadyNow(); }
  void Progress(int done, int total) override { progress_.Show(done, total); }

 private:
  std::vector<Unit> units_;
  ProgressLine progress_{isatty(STDERR_FILENO) == 1};
};

constexpr Millis kConnectTimeout{5000};

}  // namespace

static std::unique_ptr<kelvrix::cli::CliLink> Connect(const kelvrix::cli::CliOptions& options, std::string& error) {
  const int fd = options.serialDevice.empty()
                     ? kelvrix::ConnectTcp(options.tcpHost, options.tcpPort, kConnectTimeout, error)
                     : kelvrix::OpenSerialDevice(options.serialDevice, options.handshake, error);
  return fd < 0 ? nullptr : std::make_unique<DescriptorLink>(fd);
}

// Takes units as they dial in until --units came or --wait passed. A unit
// that dials again from its address replaces its older connection.
static std::unique_ptr<DialledUnits> Listen(const kelvrix::cli::CliOptions& options, std::string& error) {
  const int listener = kelvrix::ListenTcp(INADDR_ANY, options.listenPort, error);
  if (listener < 0) return nullptr;
  std::vector<DialledSockets::Unit> units;
  const Millis end = SteadyNow() + Millis(options.waitSeconds * 1000LL);
  ProgressLine progress(isatty(STDERR_FILENO) == 1);
  while (static_cast<int>(units.size()) < options.units && SteadyNow() < end) {
    pollfd waiting{listener, POLLIN, 0};
    if (poll(&waiting, 1, static_cast<int>((end - SteadyNow()).count())) <= 0) continue;
    std::string address;
    for (int fd; static_cast<int>(units.size()) < options.units && (fd = kelvrix::AcceptTcp(listener, address)) >= 0;) {
      const auto older = std::find_if(units.begin(), units.end(), [&](const auto& u) { return u.address == address; });
      if (older != units.end()) {
        close(older->fd);
        older->fd = fd;
      } else {
        units.push_back({fd, address});
      }
      progress.Show(static_cast<int>(units.size()), options.units, " units dialled in");
    }
  }
  close(listener);
  if (units.empty()) {
    error = "no unit dialled in to port " + std::to_string(options.listenPort) + " within " +
            std::to_string(options.waitSeconds) + " s";
    return nullptr;
  }
  return std::make_unique<DialledSockets>(std::move(units));
}

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);  // a dropped connection is a failed write, not the end
  const std::time_t seconds = std::time(nullptr);
  std::tm now{};
  localtime_r(&seconds, &now);
  return kelvrix::cli::RunProgram(std::vector<std::string_view>(argv + 1, argv + argc), {Connect, Listen}, now);
}
