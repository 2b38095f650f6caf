#include "link/socket_link.h"

#include <algorithm>
#include <utility>

namespace kelvrix {

namespace {

using namespace std::chrono;
using namespace socket_event;

// Accepts taken for one notification at most; the system announces the rest
// again, so a flood of connects cannot hold the GUI thread. Connections gone
// before they were taken are passed over, a few at a time.
constexpr int kAcceptsPerEvent = kMaxConnections + 8;
constexpr int kGoneAcceptsPerEvent = 8;
// Receives dropped before a send at most (64 KiB): a flooding unit cannot
// hold the send either.
constexpr int kDropsPerSend = 64;

}  // namespace

std::string SocketLink::PeerName(SocketHandle socket) const {
  if (socket == visit_) return visitName_;
  if (const int row = link_.connections.Find(socket); row != 0) return link_.connections[row].peerAddress;
  return SocketLinkName(link_);
}

void SocketLink::ReportWithCode(std::string_view text, int error) {
  messages_.ShowLinkError(std::string(text) + "[" + std::to_string(error) + "]");
}

bool SocketLink::ReportBadPort(std::string_view portText, uint16_t& port) {
  const auto parsed = PortOf(portText);
  if (parsed) {
    port = *parsed;
    return false;
  }
  messages_.ShowLinkError("ポート番号が正しくありません: \"" + std::string(portText) + "\"");
  return true;
}

bool SocketLink::StartWinSock() {
  if (winSockStarted_) return true;
  switch (layer_.StartUp()) {
    case SocketLayer::StartResult::Missing:
      messages_.ShowLinkError("WINSOCK.DLLが導入されていません。");
      return false;
    case SocketLayer::StartResult::WrongVersion:
      layer_.CleanUp();
      messages_.ShowLinkError("WINSOCK.DLLのバーションが違います。");
      return false;
    case SocketLayer::StartResult::Started:
      break;
  }
  winSockStarted_ = true;
  return true;
}

SocketHandle SocketLink::OpenWatched(uint32_t events) {
  const SocketHandle socket = layer_.Open();
  if (socket == 0) {
    ReportWithCode("WINSOCK.DLLが動作していません。", layer_.LastError());
    return 0;
  }
  if (!layer_.Watch(socket, events)) {
    const int error = layer_.LastError();
    layer_.Close(socket);
    ReportWithCode("WINSOCK.DLLの WSAAsyncSelect() からのエラー。", error);
    return 0;
  }
  return socket;
}

void SocketLink::ClearLine() {
  link_.socketLine.clear();
  link_.socketLineOpen = 0;
}

bool SocketLink::ConnectToUnit(std::string_view portText) {
  uint16_t port = 0;
  if (ReportBadPort(portText, port) || !StartWinSock()) return false;
  const int chosen = link_.selectedConnection;
  if (chosen < 0 || chosen >= static_cast<int>(link_.hostList.size())) {
    messages_.ShowLinkError("接続できません");
    return false;
  }
  if (primary_ != 0) CloseConnection(primary_);  // an earlier attempt still under way
  primary_ = OpenWatched(kRead | kWrite | kConnect | kClose);
  if (primary_ == 0) return false;
  ClearLine();  // a new connection starts from an empty line
  if (layer_.Connect(primary_, link_.hostList[static_cast<std::size_t>(chosen)], port)) {
    layer_.LinkChanged();
    return true;
  }
  StopWatching(primary_);
  primary_ = 0;
  messages_.ShowLinkError("接続できません");
  return false;
}

bool SocketLink::StartServer(std::string_view portText) {
  if (primary_ != 0) return true;
  uint16_t port = 0;
  if (ReportBadPort(portText, port) || !StartWinSock()) return false;
  const SocketHandle listener = OpenWatched(kRead | kWrite | kAccept | kClose);
  if (listener == 0) return false;
  if (!layer_.Bind(listener, port)) {
    StopWatching(listener);
    messages_.ShowLinkError("Bindできません");
    return false;
  }
  if (!layer_.Listen(listener)) {
    const int error = layer_.LastError();
    StopWatching(listener);
    ReportWithCode("WINSOCK.DLLの listen() からのエラー。", error);
    return false;
  }
  primary_ = listener;
  traffic_.Event("*:" + std::string(portText), "待ち受けを始めました");
  layer_.SetSweepTimer(true);
  layer_.LinkChanged();
  return true;
}

// Takes every connection that waits, not only the one announced: the listen
// queue is short, and a unit left in it would wait for its retry. One host
// holds one row: a unit that lost power leaves a half-open connection, and
// when it dials in again from that address it takes its row back (as a new
// connection, which the operator's choice does not pass to).
void SocketLink::AcceptConnections() {
  bool changed = false;
  int gone = 0;
  for (int taken = 0; taken < kAcceptsPerEvent; ++taken) {
    std::string peer;
    const SocketHandle accepted = layer_.Accept(primary_, peer);
    if (accepted == 0) {
      const int error = layer_.LastError();
      // Gone before it was taken: not the operator's business; the next may wait.
      if (PeerHasGone(error) && ++gone < kGoneAcceptsPerEvent) continue;
      if (error != socket_error::kWouldBlock && !PeerHasGone(error)) {
        ReportWithCode("WINSOCK.DLLの accept() からのエラー。", error);
      }
      break;
    }
    int row = link_.connections.FindPeer(peer);
    if (row != 0) {
      CloseConnection(static_cast<SocketHandle>(link_.connections[row].socket), false);
      changed = true;
    } else {
      row = link_.connections.FreeRow().value_or(0);
    }
    if (row == 0) {  // all 96 rows taken
      layer_.Close(accepted);
      continue;
    }
    if (!layer_.Watch(accepted, kRead | kWrite | kClose)) {
      const int error = layer_.LastError();
      layer_.Close(accepted);
      ReportWithCode("WINSOCK.DLLの WSAAsyncSelect() からのエラー。", error);
      break;
    }
    link_.connections.Fill(row, accepted, peer);
    traffic_.Event(peer, "接続しました");
    changed = true;
  }
  if (!changed) return;
  layer_.LinkChanged();
  for (UnitTap* tap : taps_) tap->Arrived();
}

// Data for the sender that expects it goes to it as it comes; any other is
// read and dropped (bounded by the buffer: the system announces the rest).
// A read that finds the peer gone closes the connection: its hang-up may
// never be announced when a unit hangs up at once.
void SocketLink::ReadAvailable(SocketHandle socket) {
  char buffer[kReceiveSize];
  const int n = layer_.Receive(socket, buffer, sizeof buffer);
  if (n == 0 || (n < 0 && layer_.LastError() != socket_error::kWouldBlock)) {
    CloseConnection(socket);
    return;
  }
  if (n < 0) return;
  const std::string_view bytes(buffer, static_cast<std::size_t>(n));
  traffic_.ReceivedNow(PeerName(socket), bytes);
  // A late answer owed on the socket is recorded as such, whoever hears the rest.
  const std::string_view answer = WithoutLateAnswer(socket, bytes);
  if (socket != expecting_) {
    if (!answer.empty()) {
      for (UnitTap* tap : taps_) tap->Received(socket, answer);
    }
    return;
  }
  if (answer.empty()) return;
  if (answer.back() == '\n') expecting_ = 0;  // the line is whole: later bytes are no one's
  link_.receiveBuffer.assign(answer);
  link_.receiveLength = static_cast<int32_t>(answer.size());
  layer_.DeliverReply(true);
}

void SocketLink::Owe(SocketHandle socket) {
  owedOn_ = socket;
  owedSince_ = steady_clock::now();
}

std::string_view SocketLink::WithoutLateAnswer(SocketHandle socket, std::string_view bytes) {
  if (socket != owedOn_ || owedOn_ == 0) return bytes;
  if (steady_clock::now() - owedSince_ > kLateAnswerWindow) {
    owedOn_ = 0;  // too late to be its: whatever comes now is news
    return bytes;
  }
  const std::size_t end = bytes.find('\n');
  const std::string_view late = bytes.substr(0, end == std::string_view::npos ? bytes.size() : end + 1);
  traffic_.Event(PeerName(socket), "遅れた応答: " + EscapedBytes(late));
  if (end == std::string_view::npos) return {};  // its line goes on in the next receive
  owedOn_ = 0;
  return bytes.substr(end + 1);
}

void SocketLink::Tap(UnitTap* tap) {
  if (tap && std::find(taps_.begin(), taps_.end(), tap) == taps_.end()) taps_.push_back(tap);
}

void SocketLink::Untap(UnitTap* tap) { std::erase(taps_, tap); }

void SocketLink::StopWatching(SocketHandle socket) {
  layer_.Watch(socket, 0);
  layer_.Close(socket);
}

// The link's state follows: the client without its socket is down, and so
// is the server once the unit the operator chose has gone.
void SocketLink::CloseConnection(SocketHandle socket, bool announce) {
  if (socket == visit_) {
    EndVisit();
    for (UnitTap* tap : taps_) tap->Gone(socket);
    return;
  }
  traffic_.Event(PeerName(socket), "切断しました");
  StopWatching(socket);
  if (socket == expecting_) expecting_ = 0;
  if (socket == owedOn_) owedOn_ = 0;
  if (socket == primary_) {
    primary_ = 0;
    link_.socketConnected = 0;
  } else {
    link_.connections.Free(socket);
    for (UnitTap* tap : taps_) tap->Gone(socket);
    if (link_.chosenRow != -1 && !link_.connections.LiveRow(link_.chosenRow, link_.chosenSerial)) {
      link_.chosenRow = -1;
      link_.socketConnected = 0;
    }
  }
  if (announce) layer_.LinkChanged();
}

// Also takes what waits to be accepted: under a storm of resets Wine may not
// announce a connection again after a failed accept, and the listen queue
// would stay full.
void SocketLink::Sweep() {
  bool closed = false;
  for (int row : link_.connections.ListedRows()) {
    const auto socket = static_cast<SocketHandle>(link_.connections[row].socket);
    if (!layer_.PeerGone(socket)) continue;
    CloseConnection(socket, false);
    closed = true;
  }
  if (closed) layer_.LinkChanged();
  if (Listening()) AcceptConnections();
}

SocketHandle SocketLink::Visit(const Ipv4Address& host, std::string_view portText) {
  EndVisit();
  const auto port = PortOf(portText);
  if (!port || !StartWinSock()) return 0;
  const SocketHandle socket = layer_.Open();
  if (socket == 0) return 0;
  if (!layer_.Watch(socket, kRead | kWrite | kConnect | kClose) || !layer_.Connect(socket, host, *port)) {
    StopWatching(socket);
    return 0;
  }
  visit_ = socket;
  visitName_ = DottedAddress(host);
  return socket;
}

void SocketLink::EndVisit() {
  if (visit_ == 0) return;
  traffic_.Event(visitName_, "切断しました");
  StopWatching(std::exchange(visit_, 0));
}

// The visit's connection made or refused, its bytes, its end: the list's to
// show in the unit's row, never a box. A hang-up word may be the last visit's,
// whose handle this one took: a live connection is not closed on it.
void SocketLink::HandleVisitEvent(uint32_t event, uint32_t error) {
  const SocketHandle socket = visit_;
  if (event == kClose && !layer_.PeerGone(socket)) return;
  if (error != 0 || event == kClose) return CloseConnection(socket);
  if (event == kRead) return ReadAvailable(socket);
  if (event != kConnect) return;
  traffic_.Event(visitName_, "接続しました");
  for (UnitTap* tap : taps_) tap->Connected(socket);
}

void SocketLink::HandleSocketEvent(SocketHandle socket, uint32_t event, uint32_t error) {
  if (socket != 0 && socket == visit_) return HandleVisitEvent(event, error);
  const bool listener = socket == primary_ && link_.clientServerMode == 1;
  if (socket != primary_) {
    if (link_.connections.Find(socket) == 0) return;  // closed already
    // A notification may outlive its socket, and the system may give the
    // handle value to the next connection: a live socket is never closed on
    // such a stale word.
    if ((error != 0 || event == kClose) && !layer_.PeerGone(socket)) return;
  }
  // The listener has no peer to lose: whatever a word on it says (under a
  // storm of resets Wine announces hang-ups and errors of connections that
  // were never taken), it only takes what waits, and keeps listening.
  if (listener) {
    AcceptConnections();
    return;
  }
  if (error != 0) {
    CloseConnection(socket);
    messages_.ShowError("ソケットイベントにエラーが発生しました。");
    return;
  }
  switch (event) {
    case kRead:
      ReadAvailable(socket);
      break;
    case kConnect:
      if (socket != primary_) break;
      link_.socketConnected = 1;
      traffic_.Event(SocketLinkName(link_), "接続しました");
      layer_.LinkChanged();
      messages_.ShowSuccess("Socket 接続 OK");
      break;
    case kClose:
      CloseConnection(socket);
      break;
    case kWrite:
      break;
    default:
      messages_.ShowLinkError("ﾈｯﾄﾜｰｸ･ｴﾗｰ(event " + std::to_string(event) + ")");
      break;
  }
}

void SocketLink::CloseAllSockets() {
  EndVisit();
  if (primary_ != 0) {
    traffic_.Event(link_.clientServerMode == 1 ? "*" : SocketLinkName(link_), "切断しました");
    StopWatching(primary_);
    primary_ = 0;
  }
  for (int row : link_.connections.ListedRows()) {
    CloseConnection(static_cast<SocketHandle>(link_.connections[row].socket), false);
  }
  if (winSockStarted_) layer_.CleanUp();
  winSockStarted_ = false;
  expecting_ = 0;
  owedOn_ = 0;
  InitLinkState(link_);
  ClearLine();
  layer_.SetSweepTimer(false);  // the server's: nothing listens any more
  layer_.LinkChanged();
}

SocketHandle SocketLink::SocketInUse() const {
  if (link_.clientServerMode != 1) return primary_;
  const auto row = link_.connections.LiveRow(link_.chosenRow, link_.chosenSerial);
  return row ? static_cast<SocketHandle>(link_.connections[*row].socket) : 0;
}

// An answer that came after its command's bound, or a unit's chatter, is
// not the answer to the command about to go: drop it. False when the peer
// turned out to be gone (the connection is then closed).
bool SocketLink::DropWaiting(SocketHandle socket) {
  char buffer[kReceiveSize];
  for (int drops = 0; drops < kDropsPerSend && layer_.WaitReady(socket, false, milliseconds(0)); ++drops) {
    const int n = layer_.Receive(socket, buffer, sizeof buffer);
    if (n > 0) {
      const std::string_view bytes(buffer, static_cast<std::size_t>(n));
      traffic_.ReceivedNow(PeerName(socket), bytes);
      WithoutLateAnswer(socket, bytes);  // what remains is dropped all the same
      continue;
    }
    if (n < 0 && layer_.LastError() == socket_error::kWouldBlock) break;
    CloseConnection(socket);
    return false;
  }
  return true;
}

// A short send is not the end: the rest goes out once the socket can take
// it, within the reply bound, so that no half command is left on the wire.
bool SocketLink::Send(std::string_view line) {
  const SocketHandle socket = SocketInUse();
  if (socket != 0 && socket == expecting_) Owe(socket);  // the answer expected before never came whole
  if (socket == 0 || !DropWaiting(socket)) return false;
  expecting_ = 0;
  return SendTo(socket, line);
}

bool SocketLink::SendTo(SocketHandle socket, std::string_view line, milliseconds bound) {
  if (socket == 0) return false;
  traffic_.Sent(PeerName(socket), line);
  const auto end = steady_clock::now() + bound;
  while (!line.empty()) {
    const int n = layer_.Send(socket, line);
    if (n > 0) {
      line.remove_prefix(std::min(line.size(), static_cast<std::size_t>(n)));
      continue;
    }
    const auto left = duration_cast<milliseconds>(end - steady_clock::now());
    if (n < 0 && layer_.LastError() == socket_error::kWouldBlock && left.count() > 0 &&
        layer_.WaitReady(socket, true, left)) {
      continue;
    }
    if (n < 0 && layer_.LastError() != socket_error::kWouldBlock) CloseConnection(socket);
    return false;
  }
  return true;
}

void SocketLink::AwaitReply(ResultMessages& results) {
  const SocketHandle socket = SocketInUse();
  std::string received;
  bool answered = false;
  bool hungUp = false;
  const auto end = steady_clock::now() + kReplyBound;
  // Until a line ends, the peer hangs up or the bound passes. A line owed
  // to the command before is recorded as late and not taken for this one's;
  // a line that outgrows the buffer without ending is no answer.
  char buffer[kReceiveSize];
  while (socket != 0 && link_.readerRunning == 1 && !answered && received.size() < kReceiveSize) {
    const auto left = duration_cast<milliseconds>(end - steady_clock::now());
    if (left.count() <= 0 || !layer_.WaitReady(socket, false, left)) break;
    const int n = layer_.Receive(socket, buffer, static_cast<int>(kReceiveSize - received.size()));
    if (n < 0 && layer_.LastError() == socket_error::kWouldBlock) continue;
    if (n <= 0) {
      hungUp = true;
      break;
    }
    const std::string_view bytes(buffer, static_cast<std::size_t>(n));
    traffic_.ReceivedNow(PeerName(socket), bytes);
    received += WithoutLateAnswer(socket, bytes);
    answered = !received.empty() && received.back() == '\n';
  }
  if (hungUp) CloseConnection(socket);
  if (!answered) {
    if (!hungUp && socket != 0) Owe(socket);
    link_.replyError = 1;
    results.ShowWarning("Answer が､きません");
    return;
  }
  link_.receiveBuffer.assign(kReceiveSize, '\0');
  received.copy(link_.receiveBuffer.data(), received.size());
  link_.receiveLength = static_cast<int32_t>(received.size());
  layer_.DeliverReply(false);
}

}  // namespace kelvrix
