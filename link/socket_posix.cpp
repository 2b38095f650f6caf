#include "link/socket_posix.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kelvrix {

int ConnectTcp(const std::string& host, int port, std::chrono::milliseconds timeout, std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) {
    error = "cannot find " + host;
    return -1;
  }
  const int fd = socket(found->ai_family, found->ai_socktype | SOCK_NONBLOCK, 0);
  const int started = fd < 0 ? -1 : connect(fd, found->ai_addr, found->ai_addrlen);
  freeaddrinfo(found);
  if (fd < 0 || (started != 0 && errno != EINPROGRESS)) {
    error = "cannot connect to " + host + ": " + std::strerror(errno);
    if (fd >= 0) close(fd);
    return -1;
  }
  pollfd waiting{fd, POLLOUT, 0};
  int status = 0;
  socklen_t length = sizeof status;
  if (poll(&waiting, 1, static_cast<int>(timeout.count())) != 1 ||
      getsockopt(fd, SOL_SOCKET, SO_ERROR, &status, &length) != 0 || status != 0) {
    error = "cannot connect to " + host + ":" + std::to_string(port) + ": " +
            (status != 0 ? std::strerror(status) : "no answer");
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace kelvrix
