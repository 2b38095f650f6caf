// kelvrix-cli on Linux: the link is a serial device or a TCP connection,
// waited on with poll(); everything else is the portable core's.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_commands.h"
#include "link/serial_posix.h"
#include "link/socket_posix.h"

namespace {

using kelvrix::cli::Millis;

class DescriptorLink : public kelvrix::cli::CliLink {
 public:
  explicit DescriptorLink(int fd) : fd_(fd), terminal_(isatty(STDERR_FILENO) == 1) {}
  ~DescriptorLink() override {
    close(fd_);
    if (terminal_ && shown_) std::fputs("\r\033[K", stderr);  // the progress line goes
  }
  DescriptorLink(const DescriptorLink&) = delete;
  DescriptorLink& operator=(const DescriptorLink&) = delete;

  bool Write(std::string_view bytes) override {
    while (!bytes.empty()) {
      const ssize_t n = write(fd_, bytes.data(), bytes.size());
      if (n > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(n));
      } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        return false;
      } else {
        pollfd ready{fd_, POLLOUT, 0};
        if (poll(&ready, 1, 1000) <= 0) return false;  // a line that takes nothing for a second
      }
    }
    return true;
  }
  bool Read(Millis wait, std::string& bytes) override {
    bytes.clear();
    pollfd ready{fd_, POLLIN, 0};
    const int got = poll(&ready, 1, static_cast<int>(wait.count()));
    if (got < 0) return errno == EINTR;
    if (got == 0) return true;
    char buffer[1024];
    const ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n > 0) bytes.assign(buffer, static_cast<std::size_t>(n));
    // A pty whose other end is gone reports EIO; a socket, 0 bytes.
    return n > 0 || (n < 0 && (errno == EAGAIN || errno == EINTR));
  }
  void Progress(int done, int total) override {
    if (!terminal_) return;
    std::fprintf(stderr, "\r%d / %d", done + 1, total);
    shown_ = true;
  }
  Millis Now() override {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return Millis(now.tv_sec * 1000 + now.tv_nsec / 1000000);
  }

 private:
  int fd_;
  bool terminal_;
  bool shown_ = false;
};

constexpr Millis kConnectTimeout{5000};

}  // namespace

static std::unique_ptr<kelvrix::cli::CliLink> OpenLink(const kelvrix::cli::CliOptions& options, std::string& error) {
  const int fd = options.serialDevice.empty()
                     ? kelvrix::ConnectTcp(options.tcpHost, options.tcpPort, kConnectTimeout, error)
                     : kelvrix::OpenSerialDevice(options.serialDevice, options.handshake, error);
  return fd < 0 ? nullptr : std::make_unique<DescriptorLink>(fd);
}

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);  // a dropped connection is a failed write, not the end
  const std::time_t seconds = std::time(nullptr);
  std::tm now{};
  localtime_r(&seconds, &now);
  return kelvrix::cli::RunProgram(std::vector<std::string_view>(argv + 1, argv + argc), OpenLink, now);
}
