#include "link/serial_posix.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kelvrix {

int OpenSerialDevice(const std::string& path, bool handshake, std::string& error) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return -1;
  }
  termios mode{};
  if (tcgetattr(fd, &mode) != 0) {
    error = path + " is not a serial device: " + std::strerror(errno);
    close(fd);
    return -1;
  }
  cfmakeraw(&mode);
  cfsetispeed(&mode, B9600);
  cfsetospeed(&mode, B9600);
  mode.c_cflag |= CLOCAL | CREAD | CS8 | PARENB;
  mode.c_cflag &= ~(PARODD | CSTOPB);
  if (handshake) {
    mode.c_cflag |= CRTSCTS;
  } else {
    mode.c_cflag &= ~CRTSCTS;
  }
  mode.c_iflag |= IXON | IXOFF;
  // A pty drops the parity and refuses a change it only dropped: the line
  // then runs as the pty can, which is what the unit simulator expects.
  tcsetattr(fd, TCSANOW, &mode);
  return fd;
}

}  // namespace kelvrix
