#include "link/socket_link_win.h"

#include <ws2tcpip.h>

#include <chrono>
#include <string>

#include "app/wide_text_win.h"
#include "dialogs/dialog_frame_win.h"
#include "link/traffic_log.h"

namespace kelvrix {

namespace {

using namespace std::chrono;

constexpr auto kReplyBound = seconds(3);
constexpr std::size_t kReceiveSize = 1024;  // one receive; the dispatcher reads it as a C string

std::wstring WithCode(const wchar_t* text) { return text + (L"[" + std::to_wstring(WSAGetLastError()) + L"]"); }

void Close(SOCKET socket) {
  shutdown(socket, SD_BOTH);
  closesocket(socket);
}

std::string PeerAddress(const sockaddr_in& peer) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&peer.sin_addr.s_addr);
  return DottedAddress({bytes[0], bytes[1], bytes[2], bytes[3]});
}

}  // namespace

// No owner, caption "Kelvrix", error icon.
void SocketLink::ShowLinkError(const std::wstring& text) {
  traffic_.Event(SocketLinkName(link_), Utf8FromWide(text));
  MessageBoxW(nullptr, text.c_str(), L"Kelvrix", MB_OK | MB_ICONERROR);
}

// The unit a socket reaches: the listed unit of an accepted one, else the
// host the client chose.
std::string SocketLink::PeerName(SOCKET socket) const {
  if (const int row = link_.connections.Find(socket); row != 0) return link_.connections[row].peerAddress;
  return SocketLinkName(link_);
}

bool SocketLink::ReportBadPort(std::string_view portText, uint16_t& port) {
  const auto parsed = PortOf(portText);
  if (parsed) {
    port = *parsed;
    return false;
  }
  ShowLinkError(L"ポート番号が正しくありません: \"" + WideFromUtf8(portText) + L"\"");
  return true;
}

bool SocketLink::StartWinSock() {
  if (winSockStarted_) return true;
  WSADATA data;
  if (WSAStartup(MAKEWORD(1, 1), &data) != 0) {
    ShowLinkError(L"WINSOCK.DLLが導入されていません。");
    return false;
  }
  if (data.wVersion != MAKEWORD(1, 1)) {
    ShowLinkError(L"WINSOCK.DLLのバーションが違います。");
    WSACleanup();
    return false;
  }
  winSockStarted_ = true;
  return true;
}

bool SocketLink::Register(SOCKET socket, long events) {
  if (WSAAsyncSelect(socket, notifyWindow_, MsgSocketEvent, events) == 0) return true;
  ShowLinkError(WithCode(L"WINSOCK.DLLの WSAAsyncSelect() からのエラー。"));
  return false;
}

void SocketLink::Announce() const {
  if (networkDialog_) SendMessageW(networkDialog_, MsgLinkChanged, 0, 0);
}

bool SocketLink::ConnectToUnit(std::string_view portText) {
  uint16_t port = 0;
  if (ReportBadPort(portText, port) || !StartWinSock()) return false;
  const auto& hosts = link_.hostList;
  const int chosen = link_.selectedConnection;
  if (chosen < 0 || chosen >= static_cast<int>(hosts.size())) {
    ShowLinkError(L"接続できません");
    return false;
  }
  if (primary_ != INVALID_SOCKET) {  // an earlier attempt still under way
    WSAAsyncSelect(primary_, notifyWindow_, 0, 0);
    Close(primary_);
  }
  primary_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (primary_ == INVALID_SOCKET) {
    ShowLinkError(WithCode(L"WINSOCK.DLLが動作していません。"));
    return false;
  }
  if (!Register(primary_, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE)) {
    closesocket(primary_);
    primary_ = INVALID_SOCKET;
    return false;
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  const std::string host = DottedAddress(hosts[static_cast<std::size_t>(chosen)]);
  inet_pton(AF_INET, host.c_str(), &address.sin_addr);
  if (connect(primary_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 ||
      WSAGetLastError() == WSAEWOULDBLOCK) {
    return true;
  }
  ShowLinkError(L"接続できません");
  closesocket(primary_);
  primary_ = INVALID_SOCKET;
  return false;
}

bool SocketLink::StartServer(std::string_view portText) {
  if (primary_ != INVALID_SOCKET) return true;
  uint16_t port = 0;
  if (ReportBadPort(portText, port) || !StartWinSock()) return false;
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener == INVALID_SOCKET) {
    ShowLinkError(WithCode(L"WINSOCK.DLLが動作していません。"));
    return false;
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  bool listening = Register(listener, FD_READ | FD_WRITE | FD_ACCEPT | FD_CLOSE);
  if (listening && bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
      WSAGetLastError() != WSAEWOULDBLOCK) {
    ShowLinkError(L"Bindできません");
    listening = false;
  }
  if (listening && listen(listener, 5) != 0) {
    ShowLinkError(WithCode(L"WINSOCK.DLLの listen() からのエラー。"));
    listening = false;
  }
  if (!listening) {
    closesocket(listener);
    return false;
  }
  primary_ = listener;
  traffic_.Event("*:" + std::string(portText), "待ち受けを始めました");
  return true;
}

// Takes every connection that waits, not only the one announced: the
// listen queue is short, and a unit left in it would wait for its retry.
void SocketLink::AcceptConnection() {
  SweepConnections();
  bool added = false;
  for (;;) {
    sockaddr_in peer{};
    int size = sizeof peer;
    SOCKET accepted = accept(primary_, reinterpret_cast<sockaddr*>(&peer), &size);
    if (accepted == INVALID_SOCKET) {
      if (WSAGetLastError() != WSAEWOULDBLOCK) ShowLinkError(WithCode(L"WINSOCK.DLLの accept() からのエラー。"));
      break;
    }
    const auto row = link_.connections.FreeRow();
    if (!row) {  // all 96 rows taken
      closesocket(accepted);
      continue;
    }
    if (!Register(accepted, FD_READ | FD_WRITE | FD_CLOSE)) {
      closesocket(accepted);
      break;
    }
    link_.connections.Fill(*row, accepted, PeerAddress(peer));
    traffic_.Event(PeerAddress(peer), "接続しました");
    added = true;
  }
  if (added) Announce();
}

// Data that comes when no reply is awaited; bounded by the buffer, and the
// system announces the rest with another FD_READ. A read that finds the peer
// gone closes the connection: its FD_CLOSE may never come when a unit hangs
// up at once, and its row would stay taken.
void SocketLink::ReadAndDrop(SOCKET socket) {
  char buffer[1024];
  const int n = recv(socket, buffer, sizeof buffer, 0);
  if (n > 0) traffic_.Received(PeerName(socket), {buffer, static_cast<std::size_t>(n)}, LocalMillisOfDay());
  if (n == 0 || (n < 0 && WSAGetLastError() != WSAEWOULDBLOCK)) CloseConnection(socket);
}

void SocketLink::CloseConnection(SOCKET socket, bool announce) {
  traffic_.Event(PeerName(socket), "切断しました");
  WSAAsyncSelect(socket, notifyWindow_, 0, 0);
  Close(socket);
  if (socket == primary_) primary_ = INVALID_SOCKET;  // never closed twice
  link_.connections.Free(socket);
  if (announce) Announce();
}

namespace {

// True when the peer has closed or reset the connection. A notification can
// outlive its socket, and the system may give the handle value to the next
// connection; a live socket is never closed on such a stale word.
bool PeerGone(SOCKET socket) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(socket, &readable);
  timeval now{0, 0};
  if (select(0, &readable, nullptr, nullptr, &now) != 1) return false;  // nothing to read: alive
  char byte;
  const int n = recv(socket, &byte, 1, MSG_PEEK);
  return n == 0 || (n < 0 && WSAGetLastError() != WSAEWOULDBLOCK);
}

}  // namespace

// Closes the connections whose unit has gone without a word: under heavy
// churn the system does not always announce a hang-up. Run as units come in,
// at most once a second unless every row is taken.
void SocketLink::SweepConnections() {
  const ULONGLONG now = GetTickCount64();
  if (now - lastSweep_ < 1000 && link_.connections.FreeRow()) return;  // once a second, or when full
  lastSweep_ = now;
  bool closed = false;
  for (int row : link_.connections.ListedRows()) {
    const auto socket = static_cast<SOCKET>(link_.connections[row].socket);
    if (!PeerGone(socket)) continue;
    CloseConnection(socket, false);
    closed = true;
  }
  if (closed) Announce();
}

void SocketLink::HandleSocketEvent(SOCKET socket, WORD event, WORD error) {
  const bool accepted = socket != primary_;
  if (accepted && link_.connections.Find(socket) == 0) return;  // closed already
  if (accepted && (error != 0 || event == FD_CLOSE) && !PeerGone(socket)) return;  // a stale word
  if (error != 0) {
    messages_.ShowError("ソケットイベントにエラーが発生しました。");
    CloseConnection(socket);
    return;
  }
  switch (event) {
    case FD_READ:
      ReadAndDrop(socket);
      break;
    case FD_WRITE:
      break;
    case FD_ACCEPT:
      if (socket == primary_) AcceptConnection();
      break;
    case FD_CONNECT:
      link_.socketConnected = 1;
      traffic_.Event(SocketLinkName(link_), "接続しました");
      Announce();
      messages_.ShowSuccess("Socket 接続 OK");
      break;
    case FD_CLOSE:
      CloseConnection(socket);
      break;
    default:
      MessageBoxW(nullptr, (L"ﾈｯﾄﾜｰｸ･ｴﾗｰ(event " + std::to_wstring(event) + L")").c_str(), L"Kelvrix", MB_OK);
      break;
  }
}

void SocketLink::CloseAllSockets() {
  if (primary_ != INVALID_SOCKET) {
    traffic_.Event(link_.clientServerMode == 1 ? "*" : SocketLinkName(link_), "切断しました");
    WSAAsyncSelect(primary_, notifyWindow_, 0, 0);
    Close(primary_);
    primary_ = INVALID_SOCKET;
  }
  for (int row : link_.connections.ListedRows()) {
    CloseConnection(static_cast<SOCKET>(link_.connections[row].socket), false);
  }
  if (winSockStarted_) WSACleanup();
  winSockStarted_ = false;
  InitLinkState(link_);
  Announce();
}

SOCKET SocketLink::SocketInUse() const {
  if (link_.clientServerMode != 1) return primary_;
  const auto row = link_.connections.LiveRow(link_.selectedConnection, link_.chosenSerial);
  return row ? static_cast<SOCKET>(link_.connections[*row].socket) : INVALID_SOCKET;
}

bool SocketLink::Send(std::string_view line) {
  const SOCKET socket = SocketInUse();
  if (socket == INVALID_SOCKET) return false;
  traffic_.Sent(PeerName(socket), line);
  return send(socket, line.data(), static_cast<int>(line.size()), 0) == static_cast<int>(line.size());
}

void SocketLink::AwaitReply(HWND replyWindow, ResultMessages& results) {
  const SOCKET socket = SocketInUse();
  std::string& buffer = link_.receiveBuffer;
  buffer.assign(kReceiveSize, '\0');
  std::size_t received = 0;
  bool answered = false;
  const auto end = steady_clock::now() + kReplyBound;
  // Until the line's LF, the peer's close, a full buffer or the bound.
  while (socket != INVALID_SOCKET && link_.readerRunning == 1 && !answered) {
    const auto left = duration_cast<microseconds>(end - steady_clock::now());
    if (left.count() <= 0) break;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    timeval wait{static_cast<long>(left.count() / 1000000), static_cast<long>(left.count() % 1000000)};
    if (select(0, &readable, nullptr, nullptr, &wait) <= 0) break;
    const int n = recv(socket, buffer.data() + received, static_cast<int>(kReceiveSize - received), 0);
    if (n < 0) {
      if (WSAGetLastError() == WSAEWOULDBLOCK) continue;
      break;  // the connection failed: no answer will come
    }
    received += static_cast<std::size_t>(n);
    answered = n == 0 || received == kReceiveSize || buffer[received - 1] == '\n';
  }
  link_.receiveLength = static_cast<int32_t>(received);
  if (received > 0) traffic_.Received(PeerName(socket), std::string_view(buffer).substr(0, received), LocalMillisOfDay());
  if (!answered) {
    link_.replyError = 1;
    results.ShowWarning("Answer が､きません");
    return;
  }
  if (replyWindow) PostMessageW(replyWindow, dialogs::MsgReplyReceived, static_cast<WPARAM>(link_.selectedConnection), 0);
}

}  // namespace kelvrix
