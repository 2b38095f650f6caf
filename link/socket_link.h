// The TCP/IP link in both roles: the client's one socket to a unit, or the
// server's listening socket and up to 96 units that dialled in.
//
// Notifications go to a window that lives for the whole run (the main
// window), not to the TCP/IP dialog: the server keeps accepting and drops are
// noticed whatever dialog is open; the dialog open at the time hears of every
// change. Everything runs on the GUI thread, over a SocketLayer.
//
// Hostile or faulty peers shape it: a connection that is gone before it is
// accepted is dropped quietly; a failure closes what failed before the
// operator hears of it; a unit that dials in again from a listed address
// takes its own row back; what waits on the socket before a command is sent
// is not taken for its answer; an answer that comes after its command's
// bound is that command's, never the next one's; and a peer that hangs up
// shows the link down.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "link/link_state.h"
#include "link/panel.h"
#include "link/result_messages.h"
#include "link/socket_layer.h"
#include "link/traffic_log.h"

namespace kelvrix {

class SocketLink {
 public:
  // The bounded wait of a single command for its answer.
  static constexpr std::chrono::milliseconds kReplyBound{3000};
  // Units answer in order: after a command had no answer within its bound,
  // the first line to come within this long is that command's late answer.
  static constexpr std::chrono::seconds kLateAnswerWindow{10};
  static constexpr std::size_t kReceiveSize = 1024;

  SocketLink(LinkState& link, ResultMessages& messages, TrafficSink& traffic, SocketLayer& layer)
      : link_(link), messages_(messages), traffic_(traffic), layer_(layer) {}
  SocketLink(const SocketLink&) = delete;
  SocketLink& operator=(const SocketLink&) = delete;

  // Client: starts connecting to host `selectedConnection` on `portText`.
  // False after a failure it has reported.
  bool ConnectToUnit(std::string_view portText);
  // Server: listens on `portText`; true when listening (or already was).
  bool StartServer(std::string_view portText);
  bool Listening() const { return primary_ != 0 && link_.clientServerMode == 1; }
  // A connect under way or made, a listener, or accepted units: the
  // interface and the role must not change under them.
  bool HasSockets() const { return primary_ != 0 || link_.connections.Count() > 0; }

  void HandleSocketEvent(SocketHandle socket, uint32_t event, uint32_t error);
  // On the server's sweep timer, once a second while it listens: closes the
  // connections whose unit has gone without a word (under churn the system
  // does not always announce a hang-up) and takes any waiting to be accepted.
  void Sweep();
  // Closes every socket and ends WinSock; the link state starts afresh.
  void CloseAllSockets();

  // The socket in use: what waits on it is dropped, then the whole line is
  // sent. False when it could not be (the connection then is closed).
  bool Send(std::string_view line);
  // The whole line to the unit on `socket`, whose bytes the tap hears:
  // nothing is dropped before it, and a socket that cannot take it all waits
  // at most `bound` (the unit list waits for none: a unit that reads nothing
  // is given up, not waited on).
  bool SendTo(SocketHandle socket, std::string_view line, std::chrono::milliseconds bound = kReplyBound);
  // What the units send, beside the answer a sender expects, goes to each
  // tap (the unit list, the switcher), which hears of each unit that comes
  // or goes too, until it is untapped; with none, it is dropped.
  void Tap(UnitTap* tap);
  void Untap(UnitTap* tap);
  // The unit list's visit to a host of the client's list, one at a time: a
  // connection of its own beside the operator's, whose making, bytes and
  // end the tap hears. 0 when it could not be started; no box either way.
  SocketHandle Visit(const Ipv4Address& host, std::string_view portText);
  void EndVisit();
  // The client's connection once made, on which the list asks the operator's own unit.
  SocketHandle OwnConnection() const { return link_.clientServerMode != 1 && link_.socketConnected ? primary_ : 0; }
  // Waits at most kReplyBound for the answer line, then hands what came to
  // the dialog that sent; on expiry (bytes that never end a line are no
  // answer either) or a hang-up "Answer が､きません" to `results` and
  // replyError, a hung-up connection closed first.
  void AwaitReply(ResultMessages& results);
  // Without waiting: the answer to the line just sent goes to the dialog
  // that sent as it arrives; its own timer bounds the wait.
  void ExpectReply() { expecting_ = SocketInUse(); }

 private:
  bool ReportBadPort(std::string_view portText, uint16_t& port);
  bool StartWinSock();
  // Opens a socket watched for `events`; 0 after a failure it has reported.
  SocketHandle OpenWatched(uint32_t events);
  void ReportWithCode(std::string_view text, int error);
  void AcceptConnections();
  void HandleVisitEvent(uint32_t event, uint32_t error);
  void ReadAvailable(SocketHandle socket);
  bool DropWaiting(SocketHandle socket);
  // Closes one socket and frees its row. The open TCP/IP dialog hears of it
  // unless the caller tells it once for many.
  void CloseConnection(SocketHandle socket, bool announce = true);
  void StopWatching(SocketHandle socket);
  SocketHandle SocketInUse() const;
  std::string PeerName(SocketHandle socket) const;
  void ClearLine();
  // The command just sent on `socket` got no answer: the next line is its.
  void Owe(SocketHandle socket);
  // What of `bytes` (received on `socket`) is not the late answer owed
  // there: the line that is, is recorded as late and cut off, up to its LF.
  std::string_view WithoutLateAnswer(SocketHandle socket, std::string_view bytes);

  LinkState& link_;
  ResultMessages& messages_;
  TrafficSink& traffic_;
  SocketLayer& layer_;
  SocketHandle primary_ = 0;  // the client's socket, or the server's listener
  SocketHandle expecting_ = 0;  // an answer on it goes to the sender as it comes
  bool winSockStarted_ = false;
  std::vector<UnitTap*> taps_;
  SocketHandle owedOn_ = 0;  // a late answer is owed on it...
  std::chrono::steady_clock::time_point owedSince_{};  // ...since its command's bound passed
  SocketHandle visit_ = 0;
  std::string visitName_;  // "192.168.0.21"
};

}  // namespace kelvrix
