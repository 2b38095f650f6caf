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
  explicit DescriptorLink(int fd) : fd_(fd) {}
  ~DescriptorLink() override { close(fd_); }
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
  Millis Now() override {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return Millis(now.tv_sec * 1000 + now.tv_nsec / 1000000);
  }

 private:
  int fd_;
};

constexpr Millis kConnectTimeout{5000};

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);  // a dropped connection is a failed write, not the end
  std::vector<std::string_view> arguments(argv + 1, argv + argc);
  const auto parsed = kelvrix::cli::ParseArguments(arguments);
  if (!parsed.options) {
    std::fprintf(stderr, "kelvrix-cli: %s\n", parsed.error.c_str());
    return kelvrix::cli::kExitUsage;
  }
  const kelvrix::cli::CliOptions& options = *parsed.options;
  if (options.help) {
    std::fputs(kelvrix::cli::HelpText(options.command).c_str(), stdout);
    return kelvrix::cli::kExitOk;
  }
  std::string error;
  int fd = -1;
  if (!options.serialDevice.empty()) {
    fd = kelvrix::OpenSerialDevice(options.serialDevice, options.handshake, error);
  } else if (!options.tcpHost.empty()) {
    fd = kelvrix::ConnectTcp(options.tcpHost, options.tcpPort, kConnectTimeout, error);
  }
  const bool linked = !options.serialDevice.empty() || !options.tcpHost.empty();
  if (linked && fd < 0) {
    std::fprintf(stderr, "kelvrix-cli: %s\n", error.c_str());
    return kelvrix::cli::kExitLink;
  }
  std::unique_ptr<DescriptorLink> link = linked ? std::make_unique<DescriptorLink>(fd) : nullptr;
  const std::time_t seconds = std::time(nullptr);
  std::tm now{};
  localtime_r(&seconds, &now);
  const auto result = kelvrix::cli::RunCommand(options, link.get(), now);
  std::fwrite(result.out.data(), 1, result.out.size(), stdout);
  if (!result.error.empty()) std::fprintf(stderr, "kelvrix-cli: %s\n", result.error.c_str());
  return result.exitCode;
}
