// A TCP connection to a unit on a POSIX system.
#pragma once

#include <chrono>
#include <string>

namespace kelvrix {

// The connected, non-blocking descriptor, or -1 with `error` saying why.
// Waits at most `timeout` for the connection.
int ConnectTcp(const std::string& host, int port, std::chrono::milliseconds timeout, std::string& error);

}  // namespace kelvrix
