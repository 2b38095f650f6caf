// The TCP/IP link in both roles: the client's one socket to a unit, or the
// server's listening socket and up to 96 units that dialled in.
//
// Socket notifications go to a window that lives for the whole run (the main
// window), not to the TCP/IP dialog: the server keeps accepting and drops are
// noticed whatever dialog is open. The TCP/IP dialog open at the time hears of
// every change through MsgLinkChanged. Everything runs on the GUI thread.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <string_view>

#include "link/panel.h"
#include "link/traffic_recorder_win.h"

namespace kelvrix {

// wParam the socket, lParam the event (low word) and its error (high word).
inline constexpr UINT MsgSocketEvent = WM_USER + 10;
// To the open TCP/IP dialog: a connect was made or failed, a unit came or went.
inline constexpr UINT MsgLinkChanged = WM_USER + 11;

class SocketLink {
 public:
  SocketLink(LinkState& link, ResultMessages& messages, TrafficRecorder& traffic)
      : link_(link), messages_(messages), traffic_(traffic) {}
  SocketLink(const SocketLink&) = delete;
  SocketLink& operator=(const SocketLink&) = delete;

  void SetNotifyWindow(HWND window) { notifyWindow_ = window; }
  // The TCP/IP dialog that is open, or nullptr.
  void SetNetworkDialog(HWND dialog) { networkDialog_ = dialog; }

  // Client: starts connecting to host `selectedConnection` on `portText`.
  // False after a failure it has reported.
  bool ConnectToUnit(std::string_view portText);
  // Server: listens on `portText`; true when listening (or already was).
  bool StartServer(std::string_view portText);
  bool Listening() const { return primary_ != INVALID_SOCKET && link_.clientServerMode == 1; }

  void HandleSocketEvent(SOCKET socket, WORD event, WORD error);
  // Closes every socket and ends WinSock; the link state starts afresh.
  void CloseAllSockets();

  // The send of SocketSend on the socket in use; false when it failed.
  bool Send(std::string_view line);
  // Waits at most 3 s for the answer line on the socket in use, then posts
  // MsgReplyReceived to `replyWindow` with what arrived; on expiry
  // "Answer が､きません" to `results` and replyError.
  void AwaitReply(HWND replyWindow, ResultMessages& results);

 private:
  bool StartWinSock();
  bool ReportBadPort(std::string_view portText, uint16_t& port);
  bool Register(SOCKET socket, long events);
  // Closes one socket and frees its row; the open TCP/IP dialog hears of it
  // unless the caller tells it once for many.
  void CloseConnection(SOCKET socket, bool announce = true);
  void AcceptConnection();
  void SweepConnections();
  void ReadAndDrop(SOCKET socket);
  SOCKET SocketInUse() const;
  void Announce() const;

  // The link's own failures: a box with caption "Kelvrix", and an event.
  void ShowLinkError(const std::wstring& text);
  std::string PeerName(SOCKET socket) const;

  LinkState& link_;
  ResultMessages& messages_;
  TrafficRecorder& traffic_;
  HWND notifyWindow_ = nullptr;
  HWND networkDialog_ = nullptr;
  SOCKET primary_ = INVALID_SOCKET;
  bool winSockStarted_ = false;
  ULONGLONG lastSweep_ = 0;
};

}  // namespace kelvrix
