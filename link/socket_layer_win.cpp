#include "link/socket_layer_win.h"

#include <ws2tcpip.h>


namespace kelvrix {

HWND replyWindow = nullptr;

namespace {

SOCKET Native(SocketHandle socket) { return static_cast<SOCKET>(socket); }

sockaddr_in AddressOf(uint32_t hostOrder, uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(hostOrder);
  return address;
}

}  // namespace

SocketLayer::StartResult WinSockLayer::StartUp() {
  WSADATA data;
  if (WSAStartup(MAKEWORD(1, 1), &data) != 0) return StartResult::Missing;
  return data.wVersion == MAKEWORD(1, 1) ? StartResult::Started : StartResult::WrongVersion;
}

SocketHandle WinSockLayer::Open() {
  const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  return socket == INVALID_SOCKET ? 0 : static_cast<SocketHandle>(socket);
}

bool WinSockLayer::Watch(SocketHandle socket, uint32_t events) {
  return WSAAsyncSelect(Native(socket), notifyWindow_, events ? MsgSocketEvent : 0, static_cast<long>(events)) == 0;
}

bool WinSockLayer::Connect(SocketHandle socket, const Ipv4Address& host, uint16_t port) {
  const uint32_t packed = (uint32_t{host[0]} << 24) | (uint32_t{host[1]} << 16) | (uint32_t{host[2]} << 8) | host[3];
  const sockaddr_in address = AddressOf(packed, port);
  return connect(Native(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ||
         WSAGetLastError() == WSAEWOULDBLOCK;
}

bool WinSockLayer::Bind(SocketHandle socket, uint16_t port) {
  const sockaddr_in address = AddressOf(INADDR_ANY, port);
  return bind(Native(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ||
         WSAGetLastError() == WSAEWOULDBLOCK;
}

bool WinSockLayer::Listen(SocketHandle socket) { return listen(Native(socket), 5) == 0; }

SocketHandle WinSockLayer::Accept(SocketHandle listener, std::string& peerAddress) {
  sockaddr_in peer{};
  int size = sizeof peer;
  const SOCKET accepted = accept(Native(listener), reinterpret_cast<sockaddr*>(&peer), &size);
  if (accepted == INVALID_SOCKET) return 0;
  const auto* bytes = reinterpret_cast<const uint8_t*>(&peer.sin_addr.s_addr);
  peerAddress = DottedAddress({bytes[0], bytes[1], bytes[2], bytes[3]});
  return static_cast<SocketHandle>(accepted);
}

int WinSockLayer::Receive(SocketHandle socket, char* buffer, int size) { return recv(Native(socket), buffer, size, 0); }

int WinSockLayer::Send(SocketHandle socket, std::string_view bytes) {
  return send(Native(socket), bytes.data(), static_cast<int>(bytes.size()), 0);
}

bool WinSockLayer::WaitReady(SocketHandle socket, bool forWriting, std::chrono::milliseconds bound) {
  fd_set ready;
  FD_ZERO(&ready);
  FD_SET(Native(socket), &ready);
  const auto ms = bound.count();
  timeval wait{static_cast<long>(ms / 1000), static_cast<long>(ms % 1000 * 1000)};
  return select(0, forWriting ? nullptr : &ready, forWriting ? &ready : nullptr, nullptr, &wait) == 1;
}

bool WinSockLayer::PeerGone(SocketHandle socket) {
  if (!WaitReady(socket, false, std::chrono::milliseconds(0))) return false;  // nothing to read: alive
  char byte;
  const int n = recv(Native(socket), &byte, 1, MSG_PEEK);
  return n == 0 || (n < 0 && WSAGetLastError() != WSAEWOULDBLOCK);
}

void WinSockLayer::Close(SocketHandle socket) {
  shutdown(Native(socket), SD_BOTH);
  closesocket(Native(socket));
}

void WinSockLayer::LinkChanged() {
  if (networkDialog_) SendMessageW(networkDialog_, MsgLinkChanged, 0, 0);
}

// Handed at once when the answer came by notification, so that the next
// notification cannot overwrite the buffer first; posted after a bounded
// wait, so that the dialog handles it once its send has returned.
void WinSockLayer::DeliverReply(bool now) {
  HWND dialog = replyWindow;
  if (!dialog) return;
  if (now) {
    SendMessageW(dialog, MsgReplyReceived, 0, 0);
  } else {
    PostMessageW(dialog, MsgReplyReceived, 0, 0);
  }
}

void WinSockLayer::SetSweepTimer(bool on) {
  if (on == sweeping_ || !notifyWindow_) return;
  sweeping_ = on;
  if (on) {
    SetTimer(notifyWindow_, kSweepTimerId, kSweepPeriodMs, nullptr);
  } else {
    KillTimer(notifyWindow_, kSweepTimerId);
  }
}

}  // namespace kelvrix
