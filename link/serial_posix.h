// A serial device on a POSIX system, set up as the panel sets its COM port:
// 9600 baud, 8 data bits, even parity, 1 stop bit, RTS/CTS and XON/XOFF.
#pragma once

#include <string>

namespace kelvrix {

// The open descriptor, non-blocking, or -1 with `error` saying why. Without
// `handshake` (a three-wire cable) no RTS/CTS flow control. A device that
// cannot keep a setting (a pty drops the parity) is still used.
int OpenSerialDevice(const std::string& path, bool handshake, std::string& error);

}  // namespace kelvrix
