// What the TCP/IP link asks of the system: WinSock in the program, an
// in-memory fake in the tests. Event bits and error numbers are WinSock's,
// so the program's layer passes them through unchanged.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/connection_table.h"
#include "model/device_settings.h"

namespace kelvrix {

// Notification events (WinSock's FD_ bits).
namespace socket_event {
inline constexpr uint32_t kRead = 0x01;
inline constexpr uint32_t kWrite = 0x02;
inline constexpr uint32_t kAccept = 0x08;
inline constexpr uint32_t kConnect = 0x10;
inline constexpr uint32_t kClose = 0x20;
}  // namespace socket_event

// The error numbers the link tells apart (WinSock's).
namespace socket_error {
inline constexpr int kWouldBlock = 10035;
inline constexpr int kConnectionAborted = 10053;
inline constexpr int kConnectionReset = 10054;
inline constexpr int kNotConnected = 10057;
inline constexpr int kShutDown = 10058;
}  // namespace socket_error

// True for the errors of a connection that is already gone at the far end.
inline bool PeerHasGone(int error) {
  return error == socket_error::kConnectionAborted || error == socket_error::kConnectionReset ||
         error == socket_error::kNotConnected || error == socket_error::kShutDown;
}

class SocketLayer {
 public:
  virtual ~SocketLayer() = default;

  enum class StartResult { Started, Missing, WrongVersion };
  // Starts the socket library, asking for version 1.1.
  virtual StartResult StartUp() = 0;
  virtual void CleanUp() = 0;

  // A new IPv4 stream socket; 0 on failure (LastError says why).
  virtual SocketHandle Open() = 0;
  // Notifications of `events` to the link's window from now on, the socket
  // non-blocking; 0 stops them.
  virtual bool Watch(SocketHandle socket, uint32_t events) = 0;
  // True when the connection was made or is under way.
  virtual bool Connect(SocketHandle socket, const Ipv4Address& host, uint16_t port) = 0;
  virtual bool Bind(SocketHandle socket, uint16_t port) = 0;
  virtual bool Listen(SocketHandle socket) = 0;
  // One waiting connection and its peer's dotted address; 0 when none was taken.
  virtual SocketHandle Accept(SocketHandle listener, std::string& peerAddress) = 0;
  // As recv and send: bytes, 0 when the peer closed (recv), negative on error.
  virtual int Receive(SocketHandle socket, char* buffer, int size) = 0;
  virtual int Send(SocketHandle socket, std::string_view bytes) = 0;
  // Waits at most `bound` until the socket can be read (or written).
  virtual bool WaitReady(SocketHandle socket, bool forWriting, std::chrono::milliseconds bound) = 0;
  // True when the peer has closed or reset the connection; false for a live
  // one, whatever notification claimed otherwise.
  virtual bool PeerGone(SocketHandle socket) = 0;
  // Shuts the socket down both ways and closes it.
  virtual void Close(SocketHandle socket) = 0;
  virtual int LastError() const = 0;

  // The window's side.
  // The TCP/IP dialog that is open redraws its buttons or its list.
  virtual void LinkChanged() = 0;
  // The link's receive buffer holds an answer for the dialog that sent:
  // handed to it at once, or posted behind the messages already queued.
  virtual void DeliverReply(bool now) = 0;
  // A timer of the link's own, while the server listens, for Sweep().
  virtual void SetSweepTimer(bool on) = 0;
};

}  // namespace kelvrix
