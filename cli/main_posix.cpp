// kelvrix-cli on Linux: the link is a serial device, a TCP connection or the
// connections of units that dial in, waited on with poll(); everything else
// is the portable core's.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
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
#include "cli/cli_watch.h"
#include "link/descriptor_posix.h"
#include "link/serial_posix.h"
#include "link/socket_posix.h"

namespace {

using kelvrix::cli::CliLink;
using kelvrix::cli::Millis;
using kelvrix::cli::ProgressLine;

Millis SteadyNow() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return Millis(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

bool ErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

// The descriptors the units' bytes come on, waited on together; what poll
// found, as the run's events. A descriptor whose other end has gone is
// closed and its unit Gone.
class DescriptorLink : public CliLink {
 public:
  ~DescriptorLink() override {
    for (const int fd : fds_) {
      if (fd >= 0) close(fd);
    }
  }

  bool Send(std::size_t unit, std::string_view bytes) override {
    const std::size_t at = SharedLine() ? 0 : unit;
    return at < fds_.size() && fds_[at] >= 0 && kelvrix::WriteWhole(fds_[at], bytes);
  }
  std::vector<Event> Wait(Millis wait) override {
    std::vector<pollfd> waiting;
    for (const int fd : fds_) waiting.push_back({fd, static_cast<short>(fd >= 0 ? POLLIN : 0), 0});
    const std::size_t units = waiting.size();
    WaitAlso(waiting);
    std::vector<Event> events;
    if (poll(waiting.data(), waiting.size(), static_cast<int>(std::max<Millis::rep>(0, wait.count()))) <= 0) {
      return events;  // nothing, or a signal: the caller looks again
    }
    for (std::size_t k = 0; k < units; ++k) {
      if (fds_[k] < 0 || !(waiting[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      std::string bytes;
      if (!kelvrix::ReadAvailable(fds_[k], bytes)) {
        close(fds_[k]);
        fds_[k] = -1;
        events.push_back({Event::Kind::Gone, k, {}});
      } else if (!bytes.empty()) {
        events.push_back({Event::Kind::Bytes, k, std::move(bytes)});
      }
    }
    Take(waiting, units, events);
    return events;
  }
  Millis Now() override { return SteadyNow(); }
  void Progress(int done, int total) override { progress_.Show(std::min(done + 1, total), total); }

 protected:
  // A listener's descriptor beside the units', and what it brings.
  virtual void WaitAlso(std::vector<pollfd>&) {}
  virtual void Take(const std::vector<pollfd>&, std::size_t, std::vector<Event>&) {}

  std::vector<int> fds_;

 private:
  ProgressLine progress_{ErrorIsTerminal()};
};

// A serial device or one TCP connection.
class OneLink : public DescriptorLink {
 public:
  OneLink(int fd, bool serial) : serial_(serial) { fds_.push_back(fd); }
  bool SharedLine() const override { return serial_; }

 private:
  bool serial_;
};

// Units that dial in to the listening port, each taken as it comes, until
// --units came or --wait passed. A unit that dials again from its address
// replaces its older connection, which is then gone.
class ListeningLink : public DescriptorLink {
 public:
  ListeningLink(int listener, int units, Millis until) : listener_(listener), wanted_(units), until_(until) {}
  ~ListeningLink() override { StopTaking(); }

  bool Taking() const override { return listener_ >= 0 && SteadyNow() < until_; }
  void StopTaking() override {
    if (listener_ >= 0) close(listener_);
    listener_ = -1;
  }

 protected:
  void WaitAlso(std::vector<pollfd>& waiting) override {
    if (!Taking()) StopTaking();
    if (listener_ >= 0) waiting.push_back({listener_, POLLIN, 0});
  }
  void Take(const std::vector<pollfd>& waiting, std::size_t units, std::vector<Event>& events) override {
    if (listener_ < 0 || waiting.size() <= units || !(waiting[units].revents & POLLIN)) return;
    std::string address;
    for (int fd; listener_ >= 0 && (fd = kelvrix::AcceptTcp(listener_, address)) >= 0;) {
      const auto older = std::find(addresses_.begin(), addresses_.end(), address);
      if (older != addresses_.end() && fds_[older - addresses_.begin()] >= 0) {
        const auto unit = static_cast<std::size_t>(older - addresses_.begin());
        close(fds_[unit]);
        fds_[unit] = -1;
        events.push_back({Event::Kind::Gone, unit, {}});
      }
      events.push_back({Event::Kind::Came, fds_.size(), address});
      fds_.push_back(fd);
      addresses_.push_back(address);
      if (static_cast<int>(fds_.size()) >= wanted_) StopTaking();
    }
  }

 private:
  int listener_;
  int wanted_;
  Millis until_;
  std::vector<std::string> addresses_;
};

constexpr Millis kConnectTimeout{5000};

std::unique_ptr<CliLink> Open(const kelvrix::cli::CliOptions& options, std::string& error) {
  if (options.listenPort > 0) {
    const int listener = kelvrix::ListenTcp(INADDR_ANY, options.listenPort, error);
    if (listener < 0) return nullptr;
    return std::make_unique<ListeningLink>(listener, options.units, SteadyNow() + Millis(options.waitSeconds * 1000LL));
  }
  const bool serial = !options.serialDevice.empty();
  const int fd = serial ? kelvrix::OpenSerialDevice(options.serialDevice, options.handshake, error)
                        : kelvrix::ConnectTcp(options.tcpHost, options.tcpPort, kConnectTimeout, error);
  return fd < 0 ? nullptr : std::make_unique<OneLink>(fd, serial);
}

// The system logger's socket, written as syslog(3) writes it: a datagram a
// line, facility local0, the severity by the line's weight.
class SyslogLog : public kelvrix::cli::WatchLog {
 public:
  SyslogLog(int fd, const sockaddr_un& to) : fd_(fd), to_(to) {}
  ~SyslogLog() override { close(fd_); }
  SyslogLog(const SyslogLog&) = delete;
  SyslogLog& operator=(const SyslogLog&) = delete;

  bool Write(const kelvrix::WatchLine& line, const std::string& json) override {
    using Weight = kelvrix::cli::LogKind::Weight;
    constexpr int kLocal0 = 16;
    const Weight weight = kelvrix::cli::LogKindOf(line.kind).weight;
    const int severity = weight == Weight::Error ? 3 : weight == Weight::Warning ? 4 : 6;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%b %e %H:%M:%S", &local);
    const std::string message = "<" + std::to_string(kLocal0 * 8 + severity) + ">" + stamp + " kelvrix-cli[" +
                                std::to_string(getpid()) + "]: " + json;
    return sendto(fd_, message.data(), message.size(), 0, reinterpret_cast<const sockaddr*>(&to_), sizeof to_) ==
           static_cast<ssize_t>(message.size());
  }

 private:
  int fd_;
  sockaddr_un to_;
};

std::unique_ptr<kelvrix::cli::WatchLog> OpenLog(const kelvrix::cli::CliOptions& options, std::string& error) {
  if (options.eventLog) {
    error = "--eventlog is the Windows Event Log: on Linux, --syslog";
    return nullptr;
  }
  sockaddr_un to{};
  to.sun_family = AF_UNIX;
  const bool fits = options.syslogSocket.size() < sizeof to.sun_path;
  if (fits) options.syslogSocket.copy(to.sun_path, sizeof to.sun_path - 1);
  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || !fits || access(to.sun_path, W_OK) != 0) {
    if (fd >= 0) close(fd);
    error = "cannot reach the system logger at " + options.syslogSocket;
    return nullptr;
  }
  return std::make_unique<SyslogLog>(fd, to);
}

// Ended early by Ctrl+C or SIGTERM, whose handler interrupts the sleep.
void Pause(Millis wait) {
  timespec span{static_cast<time_t>(wait.count() / 1000), static_cast<long>(wait.count() % 1000) * 1000000};
  nanosleep(&span, nullptr);
}

void OnInterrupt(int) { kelvrix::cli::RequestCancel(); }

std::tm LocalTime() {
  const std::time_t seconds = std::time(nullptr);
  std::tm now{};
  localtime_r(&seconds, &now);
  return now;
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);  // a dropped connection is a failed write, not the end
  // Ctrl+C and a service's stop end the run after the request out; poll is
  // woken (no restart), and a second Ctrl+C ends the program at once.
  struct sigaction interrupt{};
  interrupt.sa_handler = OnInterrupt;
  interrupt.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &interrupt, nullptr);
  sigaction(SIGTERM, &interrupt, nullptr);
  const kelvrix::cli::Platform platform{Open, LocalTime, OpenLog, Pause, [] { return static_cast<std::int64_t>(std::time(nullptr)); }};
  return kelvrix::cli::RunProgram(std::vector<std::string_view>(argv + 1, argv + argc), platform);
}
