#include "link/socket_posix.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
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

int ListenTcp(uint32_t address, int port, std::string& error) {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(static_cast<uint16_t>(port));
  local.sin_addr.s_addr = htonl(address);
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  const int yes = 1;
  if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0 ||
      bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 || listen(fd, SOMAXCONN) != 0) {
    error = "cannot listen on port " + std::to_string(port) + ": " + std::strerror(errno);
    if (fd >= 0) close(fd);
    return -1;
  }
  return fd;
}

int AcceptTcp(int listener, std::string& peer) {
  sockaddr_in from{};
  socklen_t length = sizeof from;
  const int fd = accept4(listener, reinterpret_cast<sockaddr*>(&from), &length, SOCK_NONBLOCK);
  if (fd < 0) return -1;
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
  peer = text;
  return fd;
}

}  // namespace kelvrix
