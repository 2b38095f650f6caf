// The TCP/IP link's SocketLayer over WinSock: notifications by window
// message to the main window, answers to the dialog that sent.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include "link/socket_layer.h"

namespace kelvrix {

// wParam the socket, lParam the event (low word) and its error (high word).
inline constexpr UINT MsgSocketEvent = WM_USER + 10;
// To the open TCP/IP dialog: a connect was made or failed, a unit came or went.
inline constexpr UINT MsgLinkChanged = WM_USER + 11;
// Sent to `replyWindow`: a socket reply waits in the link's receive buffer.
inline constexpr UINT MsgReplyReceived = WM_USER + 2;

// The dialog that socket replies go to, if any.
extern HWND replyWindow;
// The main window's timer for SocketLink::Sweep, while the server listens.
inline constexpr UINT_PTR kSweepTimerId = 30;
inline constexpr UINT kSweepPeriodMs = 1000;

class WinSockLayer : public SocketLayer {
 public:
  void SetNotifyWindow(HWND window) { notifyWindow_ = window; }
  // The TCP/IP dialog that is open, or nullptr.
  void SetNetworkDialog(HWND dialog) { networkDialog_ = dialog; }

  StartResult StartUp() override;
  void CleanUp() override { WSACleanup(); }
  SocketHandle Open() override;
  bool Watch(SocketHandle socket, uint32_t events) override;
  bool Connect(SocketHandle socket, const Ipv4Address& host, uint16_t port) override;
  bool Bind(SocketHandle socket, uint16_t port) override;
  bool Listen(SocketHandle socket) override;
  SocketHandle Accept(SocketHandle listener, std::string& peerAddress) override;
  int Receive(SocketHandle socket, char* buffer, int size) override;
  int Send(SocketHandle socket, std::string_view bytes) override;
  bool WaitReady(SocketHandle socket, bool forWriting, std::chrono::milliseconds bound) override;
  bool PeerGone(SocketHandle socket) override;
  void Close(SocketHandle socket) override;
  int LastError() const override { return WSAGetLastError(); }

  void LinkChanged() override;
  void DeliverReply(bool now) override;
  void SetSweepTimer(bool on) override;

 private:
  HWND notifyWindow_ = nullptr;
  HWND networkDialog_ = nullptr;
  bool sweeping_ = false;
};

}  // namespace kelvrix
