#include "link/descriptor_posix.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace kelvrix {

bool ReadAvailable(int fd, std::string& bytes) {
  char buffer[1024];
  bytes.clear();
  const ssize_t n = read(fd, buffer, sizeof buffer);
  if (n <= 0) return n < 0 && (errno == EAGAIN || errno == EINTR);
  bytes.assign(buffer, static_cast<std::size_t>(n));
  return true;
}

bool WriteWhole(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      return false;
    } else {
      pollfd ready{fd, POLLOUT, 0};
      if (poll(&ready, 1, 1000) <= 0) return false;
    }
  }
  return true;
}

}  // namespace kelvrix
