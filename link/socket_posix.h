// TCP connections to and from units on a POSIX system.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace kelvrix {

// The connected, non-blocking descriptor, or -1 with `error` saying why.
// Waits at most `timeout` for the connection.
int ConnectTcp(const std::string& host, int port, std::chrono::milliseconds timeout, std::string& error);

// A non-blocking listening socket on `address` (IPv4, host byte order:
// INADDR_ANY for every interface), or -1 with `error` saying why.
int ListenTcp(uint32_t address, int port, std::string& error);

// The next connection waiting on `listener`, non-blocking, with the
// dotted address it came from; -1 when none waits.
int AcceptTcp(int listener, std::string& peer);

}  // namespace kelvrix
