// Reading and writing a non-blocking descriptor on a POSIX system: a serial
// device or a socket, for the command-line tool and the unit simulator alike.
#pragma once

#include <string>
#include <string_view>

namespace kelvrix {

// Reads what is there into `bytes` (nothing when nothing came). False when
// the other end has gone: a socket's end of stream, a pty's EIO.
bool ReadAvailable(int fd, std::string& bytes);

// Writes all of `bytes`, waiting while the descriptor takes none, but never
// longer than a second at a time. False when it broke or took nothing.
bool WriteWhole(int fd, std::string_view bytes);

}  // namespace kelvrix
