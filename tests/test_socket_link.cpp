// The TCP/IP link against an in-memory socket layer: hostile and faulty
// peers (resets, hang-ups with data pending, failed accepts, reused handles,
// short sends, accept bursts, late answers, redials from the same address).
#include <gtest/gtest.h>

#include <deque>
#include <map>

#include "fakes.h"
#include "link/socket_link.h"

namespace kelvrix {
namespace {

using namespace socket_event;
using testing::Box;
using testing::RecordingMessages;

struct FakeSocket {
  std::string peer;
  std::string inbound;   // what the peer has sent and we have not read
  std::string wire;      // what we sent
  bool peerGone = false;  // the peer hung up (after `inbound`)
  bool open = true;
  uint32_t watched = 0;
};

class FakeSockets : public SocketLayer {
 public:
  StartResult StartUp() override { return StartResult::Started; }
  void CleanUp() override {}
  SocketHandle Open() override { return NewSocket(""); }
  bool Watch(SocketHandle s, uint32_t events) override {
    sockets[s].watched = events;
    return true;
  }
  bool Connect(SocketHandle, const Ipv4Address&, uint16_t) override { return true; }
  bool Bind(SocketHandle, uint16_t) override { return true; }
  bool Listen(SocketHandle) override { return true; }
  SocketHandle Accept(SocketHandle, std::string& peer) override {
    if (waiting.empty()) return Fail(socket_error::kWouldBlock), 0;
    const std::string next = waiting.front();
    waiting.pop_front();
    if (next.starts_with("error ")) return Fail(std::stoi(next.substr(6))), 0;
    peer = next;
    return NewSocket(next);
  }
  int Receive(SocketHandle s, char* buffer, int size) override {
    FakeSocket& socket = sockets[s];
    if (socket.inbound.empty()) return socket.peerGone ? 0 : Fail(socket_error::kWouldBlock);
    const auto n = std::min<std::size_t>(static_cast<std::size_t>(size), socket.inbound.size());
    socket.inbound.copy(buffer, n);
    socket.inbound.erase(0, n);
    return static_cast<int>(n);
  }
  int Send(SocketHandle s, std::string_view bytes) override {
    if (sockets[s].peerGone) return Fail(socket_error::kConnectionReset);
    if (shortSends > 0 && sends++ % 2 == 1) return Fail(socket_error::kWouldBlock);  // full, then room again
    const std::size_t n = shortSends > 0 ? std::min<std::size_t>(shortSends, bytes.size()) : bytes.size();
    sockets[s].wire.append(bytes.substr(0, n));
    return static_cast<int>(n);
  }
  bool WaitReady(SocketHandle s, bool forWriting, std::chrono::milliseconds) override {
    return forWriting || !sockets[s].inbound.empty() || sockets[s].peerGone;
  }
  bool PeerGone(SocketHandle s) override { return sockets[s].inbound.empty() && sockets[s].peerGone; }
  void Close(SocketHandle s) override { sockets[s].open = false; }
  int LastError() const override { return lastError; }
  void LinkChanged() override { ++linkChanges; }
  void DeliverReply(bool now) override { deliveries.push_back(now); }
  void SetSweepTimer(bool on) override { sweeping = on; }

  // Handles count up unless told to give a closed one's value again.
  SocketHandle NewSocket(std::string peer) {
    const SocketHandle handle = reuse ? reuse : ++lastHandle;
    reuse = 0;
    sockets[handle] = FakeSocket{};
    sockets[handle].peer = std::move(peer);
    return handle;
  }
  // Receive and Send return -1 for it, Accept no socket.
  int Fail(int error) {
    lastError = error;
    return -1;
  }

  std::map<SocketHandle, FakeSocket> sockets;
  std::deque<std::string> waiting;  // peers that dial in ("127.0.0.2") or an accept's failure ("error 10057")
  SocketHandle lastHandle = 100, reuse = 0;
  int lastError = 0;
  std::size_t shortSends = 0;  // bytes a send takes at most
  int sends = 0;
  int linkChanges = 0;
  std::vector<bool> deliveries;
  bool sweeping = false;
};

struct LinkTest : ::testing::Test {
  LinkTest() { link.readerRunning = 1; }

  // The server listening with the units of `peers` accepted, in rows 1..n.
  void Serve(std::initializer_list<const char*> peers) {
    link.linkInterface = kSocketInterface;
    link.clientServerMode = 1;
    ASSERT_TRUE(socket.StartServer("09004"));
    listener = layer.lastHandle;
    for (const char* peer : peers) layer.waiting.push_back(peer);
    socket.HandleSocketEvent(listener, kAccept, 0);
  }
  void Choose(int row) {
    link.chosenRow = row;
    link.chosenSerial = link.connections[row].serial;
    link.socketConnected = 1;
  }
  SocketHandle RowSocket(int row) { return static_cast<SocketHandle>(link.connections[row].socket); }
  // The client connected to 10.0.0.1.
  SocketHandle Connect() {
    link.linkInterface = kSocketInterface;
    link.hostList = {{10, 0, 0, 1}};
    link.selectedConnection = 0;
    EXPECT_TRUE(socket.ConnectToUnit("09004"));
    socket.HandleSocketEvent(layer.lastHandle, kConnect, 0);
    EXPECT_EQ(link.socketConnected, 1);
    messages.boxes.clear();
    return layer.lastHandle;
  }

  LinkState link;
  RecordingMessages messages;
  struct : TrafficSink {
    void Sent(std::string, std::string_view) override {}
    void ReceivedNow(std::string, std::string_view) override {}
    void Event(std::string, std::string_view text) override {
      if (text.starts_with("遅れた")) events.emplace_back(text);
    }
    std::vector<std::string> events;
  } traffic;
  FakeSockets layer;
  SocketLink socket{link, messages, traffic, layer};
  SocketHandle listener = 0;
};

TEST_F(LinkTest, AnAcceptBurstTakesEveryWaitingUnitAndTellsTheDialogOnce) {
  Serve({"127.0.0.2", "127.0.0.3", "127.0.0.4"});
  EXPECT_EQ(link.connections.Count(), 3);
  EXPECT_EQ(link.connections[3].peerAddress, "127.0.0.4");
  EXPECT_EQ(layer.linkChanges, 2);  // listening, then the three units
  EXPECT_TRUE(layer.sweeping);
  EXPECT_TRUE(socket.HasSockets());
}

// Connect-and-reset hosts: accept fails for a connection already gone.
TEST_F(LinkTest, AFailedAcceptOfAGoneConnectionIsQuietAnyOtherIsReported) {
  Serve({});
  for (int error : {socket_error::kNotConnected, socket_error::kConnectionReset, socket_error::kConnectionAborted}) {
    layer.waiting.push_back("error " + std::to_string(error));
    socket.HandleSocketEvent(listener, kAccept, 0);
  }
  socket.HandleSocketEvent(listener, kAccept, socket_error::kConnectionReset);  // the word itself carries it
  socket.HandleSocketEvent(listener, kClose, socket_error::kConnectionReset);    // of a connection never taken
  socket.HandleSocketEvent(listener, kClose, 0);
  EXPECT_TRUE(messages.boxes.empty());
  EXPECT_TRUE(socket.Listening());
  layer.waiting = {"error 10055", "127.0.0.2"};
  socket.HandleSocketEvent(listener, kAccept, 0);
  EXPECT_EQ(messages.boxes, (std::vector<Box>{{"link", "WINSOCK.DLLの accept() からのエラー。[10055]"}}));
  EXPECT_TRUE(socket.Listening());
}

TEST_F(LinkTest, AnErrorWordClosesTheConnectionBeforeTheOperatorHearsOfIt) {
  Serve({"127.0.0.2", "127.0.0.3"});
  Choose(2);
  const SocketHandle chosen = RowSocket(2);
  layer.sockets[chosen].peerGone = true;
  struct Ordered : RecordingMessages {
    void ShowError(std::string_view text) override {
      closedFirst = !layer->sockets[handle].open && link->connections.Find(handle) == 0;
      RecordingMessages::ShowError(text);
    }
    FakeSockets* layer;
    LinkState* link;
    SocketHandle handle;
    bool closedFirst = false;
  };
  Ordered ordered;
  ordered.layer = &layer;
  ordered.link = &link;
  ordered.handle = chosen;
  SocketLink checked{link, ordered, traffic, layer};
  checked.HandleSocketEvent(chosen, kClose, socket_error::kConnectionReset);
  EXPECT_TRUE(ordered.closedFirst);
  EXPECT_EQ(ordered.boxes, (std::vector<Box>{{"error", "ソケットイベントにエラーが発生しました。"}}));
  // The chosen unit has gone: the link shows down.
  EXPECT_EQ(link.socketConnected, 0);
  EXPECT_EQ(link.chosenRow, -1);
}

// A notification can outlive its socket, and the handle value can be given
// to the next connection: a live socket is never closed on a stale word.
TEST_F(LinkTest, AStaleWordNeverClosesALiveSocketThatReusedTheHandle) {
  Serve({"127.0.0.2"});
  const SocketHandle first = RowSocket(1);
  layer.sockets[first].peerGone = true;
  socket.HandleSocketEvent(first, kClose, 0);
  EXPECT_EQ(link.connections.Count(), 0);

  layer.reuse = first;
  layer.waiting.push_back("127.0.0.3");
  socket.HandleSocketEvent(listener, kAccept, 0);
  ASSERT_EQ(RowSocket(1), first);
  socket.HandleSocketEvent(first, kClose, 0);
  socket.HandleSocketEvent(first, kRead, socket_error::kConnectionReset);
  EXPECT_EQ(link.connections.Count(), 1);
  EXPECT_TRUE(layer.sockets[first].open);
  EXPECT_TRUE(messages.boxes.empty());
}

// A unit that lost power leaves a half-open connection; dialling in again it
// takes its own row back, and the operator's choice does not pass to it.
TEST_F(LinkTest, AUnitDiallingInAgainTakesItsRowBack) {
  Serve({"127.0.0.2", "127.0.0.3"});
  Choose(1);
  const SocketHandle old = RowSocket(1);
  for (int i = 0; i < 93; ++i) layer.waiting.push_back("127.0.0.2");
  socket.HandleSocketEvent(listener, kAccept, 0);
  EXPECT_EQ(link.connections.Count(), 2);
  EXPECT_EQ(link.connections[1].peerAddress, "127.0.0.2");
  EXPECT_NE(RowSocket(1), old);
  EXPECT_FALSE(layer.sockets[old].open);
  EXPECT_EQ(link.socketConnected, 0);
  EXPECT_FALSE(socket.Send("RVN\r\n"));  // nothing chosen: nothing sent to the newcomer
  layer.waiting.push_back("127.0.0.4");
  socket.HandleSocketEvent(listener, kAccept, 0);
  EXPECT_EQ(link.connections.Count(), 3);  // a real unit still gets a row
}

// The sweep also takes connections whose notification never came.
TEST_F(LinkTest, ASweepClosesUnitsThatLeftWithoutAWordAndTakesThoseWaiting) {
  Serve({"127.0.0.2", "127.0.0.3"});
  layer.sockets[RowSocket(1)].peerGone = true;
  layer.waiting = {"error 10054", "error 10057", "127.0.0.4"};  // the first two gone before they were taken
  socket.Sweep();
  EXPECT_EQ(link.connections.ListedRows(), (std::vector<int>{1, 2}));
  EXPECT_EQ(link.connections[1].peerAddress, "127.0.0.4");
  EXPECT_TRUE(messages.boxes.empty());
  EXPECT_TRUE(layer.sweeping);
  socket.CloseAllSockets();
  EXPECT_FALSE(layer.sweeping);
}

// A late "GO" waiting on the socket is not the answer to the next command.
TEST_F(LinkTest, WhatWaitsIsDroppedAndTheWholeLineGoesOutInShortSends) {
  const SocketHandle client = Connect();
  layer.sockets[client].inbound = "GO\r\n" + std::string(5000, 'x');
  layer.shortSends = 3;
  ASSERT_TRUE(socket.Send("VAB03120\r\n"));
  EXPECT_EQ(layer.sockets[client].wire, "VAB03120\r\n");
  EXPECT_TRUE(layer.sockets[client].inbound.empty());

  layer.sockets[client].inbound = "E3\r\n";
  socket.AwaitReply(messages);
  EXPECT_EQ(link.receiveBuffer.substr(0, 4), "E3\r\n");
  EXPECT_EQ(layer.deliveries, std::vector<bool>{false});
}

// Units answer in order: a GO that comes after its command's bound, once the
// next command went out, is that command's late answer and recorded so; the
// next command's own "E3" is its answer. Bytes that never end a line are none.
TEST_F(LinkTest, ALateAnswerIsOwedToItsCommandNeverCreditedToTheNext) {
  const SocketHandle client = Connect();
  ASSERT_TRUE(socket.Send("VAB03120\r\n"));
  socket.AwaitReply(messages);  // nothing within the bound
  EXPECT_EQ(messages.boxes, (std::vector<Box>{{"warning", "Answer が､きません"}}));
  ASSERT_TRUE(socket.Send("VAC03120\r\n"));
  layer.sockets[client].inbound = "GO\r\nE3\r\n";
  socket.AwaitReply(messages);
  EXPECT_EQ(messages.boxes.size(), 1u);
  EXPECT_EQ(link.receiveBuffer.substr(0, 4), "E3\r\n") << "the late GO is not this command's answer";
  EXPECT_EQ(layer.deliveries, std::vector<bool>{false});
  EXPECT_EQ(traffic.events, std::vector<std::string>{"遅れた応答: GO\\r\\n"});

  ASSERT_TRUE(socket.Send("RVN\r\n"));
  layer.sockets[client].inbound = std::string(4096, 'x');
  socket.AwaitReply(messages);
  EXPECT_EQ(messages.boxes.back(), (Box{"warning", "Answer が､きません"}));
  EXPECT_EQ(layer.deliveries.size(), 1u) << "4 KiB without a line end is no answer";
}

TEST_F(LinkTest, AHangUpDuringTheWaitIsReportedAndShowsTheLinkDown) {
  const SocketHandle client = Connect();
  ASSERT_TRUE(socket.Send("RVN\r\n"));
  layer.sockets[client].inbound = "Ver.";
  layer.sockets[client].peerGone = true;
  socket.AwaitReply(messages);
  EXPECT_EQ(messages.boxes, (std::vector<Box>{{"warning", "Answer が､きません"}}));
  EXPECT_EQ(link.replyError, 1);
  EXPECT_EQ(link.socketConnected, 0);
  EXPECT_FALSE(layer.sockets[client].open);
  EXPECT_TRUE(layer.deliveries.empty());
  EXPECT_FALSE(socket.HasSockets());
}

TEST_F(LinkTest, AResetDuringASendClosesTheConnection) {
  const SocketHandle client = Connect();
  layer.sockets[client].peerGone = true;
  EXPECT_FALSE(socket.Send("RVN\r\n"));
  EXPECT_EQ(link.socketConnected, 0);
  EXPECT_FALSE(layer.sockets[client].open);
}

TEST_F(LinkTest, AClientWhoseUnitHangsUpIsDown) {
  const SocketHandle client = Connect();
  layer.sockets[client].peerGone = true;
  socket.HandleSocketEvent(client, kClose, 0);
  EXPECT_EQ(link.socketConnected, 0);
  EXPECT_FALSE(socket.HasSockets());
  EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(LinkTest, AConnectThatFailsLaterIsClosedThenReported) {
  link.linkInterface = kSocketInterface;
  link.hostList = {{10, 0, 0, 1}};
  link.selectedConnection = 0;
  ASSERT_TRUE(socket.ConnectToUnit("09004"));
  socket.HandleSocketEvent(layer.lastHandle, kConnect, 10061);
  EXPECT_FALSE(layer.sockets[layer.lastHandle].open);
  EXPECT_FALSE(socket.HasSockets());
  EXPECT_EQ(link.socketConnected, 0);
  EXPECT_EQ(messages.boxes, (std::vector<Box>{{"error", "ソケットイベントにエラーが発生しました。"}}));
}

// The maintenance tools do not wait: the answer is handed over as it comes;
// bytes nobody expects are read and dropped.
TEST_F(LinkTest, AnExpectedAnswerIsHandedOverAsItArrives) {
  Serve({"127.0.0.2"});
  Choose(1);
  const SocketHandle unit = RowSocket(1);
  layer.sockets[unit].inbound = "chatter\r\n";
  socket.HandleSocketEvent(unit, kRead, 0);
  EXPECT_TRUE(layer.deliveries.empty());

  ASSERT_TRUE(socket.Send("RVN\r\n"));
  socket.ExpectReply();
  layer.sockets[unit].inbound = "Ver.1";
  socket.HandleSocketEvent(unit, kRead, 0);
  layer.sockets[unit].inbound = ".20\r\n";
  socket.HandleSocketEvent(unit, kRead, 0);
  EXPECT_EQ(link.receiveBuffer, ".20\r\n");
  EXPECT_EQ(layer.deliveries, (std::vector<bool>{true, true}));
  layer.sockets[unit].inbound = "late\r\n";  // the line was whole: nobody's
  socket.HandleSocketEvent(unit, kRead, 0);
  EXPECT_EQ(layer.deliveries.size(), 2u);
}

// The unit list's runs on every unit at once: each unit's bytes reach the
// tap by its socket, and it hears of units that come and go.
TEST_F(LinkTest, ATapHearsEveryUnitByItsSocketAndEachComingAndGoing) {
  struct : UnitTap {
    void Received(SocketHandle s, std::string_view bytes) override { heard.emplace_back(s, bytes); }
    void Arrived() override { ++arrivals; }
    void Connected(SocketHandle s) override { connected.push_back(s); }
    void Gone(SocketHandle s) override { gone.push_back(s); }
    std::vector<std::pair<SocketHandle, std::string>> heard;
    int arrivals = 0;
    std::vector<SocketHandle> connected, gone;
  } tap;
  socket.Tap(&tap);
  Serve({"127.0.0.2", "127.0.0.3"});
  EXPECT_EQ(tap.arrivals, 1);
  const SocketHandle a = RowSocket(1), b = RowSocket(2);
  ASSERT_TRUE(socket.SendTo(b, "RVN\r\n"));
  EXPECT_EQ(layer.sockets[b].wire, "RVN\r\n");
  layer.shortSends = 2;  // a unit that reads nothing: given up at once, not waited on
  EXPECT_FALSE(socket.SendTo(b, "RVN\r\n", std::chrono::milliseconds(0)));
  EXPECT_TRUE(socket.SendTo(b, "RVN\r\n")) << "the bounded wait takes the rest";
  layer.shortSends = 0;
  layer.sockets[b].wire.clear();
  EXPECT_EQ(layer.sockets[a].wire, "");
  layer.sockets[b].inbound = "Ver.1.20\r\n";
  socket.HandleSocketEvent(b, kRead, 0);
  layer.sockets[a].peerGone = true;
  socket.HandleSocketEvent(a, kClose, 0);
  EXPECT_EQ(tap.heard, (std::vector<std::pair<SocketHandle, std::string>>{{b, "Ver.1.20\r\n"}}));
  EXPECT_EQ(tap.gone, std::vector<SocketHandle>{a});
  EXPECT_TRUE(layer.deliveries.empty());  // no single sender waited

  socket.Untap(&tap);
  layer.sockets[b].inbound = "chatter\r\n";
  socket.HandleSocketEvent(b, kRead, 0);
  EXPECT_EQ(tap.heard.size(), 1u);
}

// The unit list's visits to the client's hosts: each beside the operator's
// connection, which stays as it was; a refused one is the tap's to show.
TEST_F(LinkTest, AVisitIsAConnectionOfItsOwnBesideTheOperatorsAndRaisesNoBox) {
  struct : UnitTap {
    void Received(SocketHandle, std::string_view bytes) override { heard += bytes; }
    void Arrived() override {}
    void Connected(SocketHandle s) override { connected.push_back(s); }
    void Gone(SocketHandle s) override { gone.push_back(s); }
    std::string heard;
    std::vector<SocketHandle> connected, gone;
  } tap;
  socket.Tap(&tap);
  const SocketHandle own = Connect();
  EXPECT_EQ(socket.OwnConnection(), own);
  const SocketHandle visit = socket.Visit({10, 0, 0, 2}, "09004");
  ASSERT_NE(visit, 0u);
  socket.HandleSocketEvent(visit, kConnect, 0);
  socket.HandleSocketEvent(visit, kClose, 0);  // a word of the last visit's: this one lives
  ASSERT_TRUE(socket.SendTo(visit, "RVN\r\n"));
  layer.sockets[visit].inbound = "Ver.1.20\r\n";
  socket.HandleSocketEvent(visit, kRead, 0);
  socket.EndVisit();
  EXPECT_FALSE(layer.sockets[visit].open);
  EXPECT_TRUE(layer.sockets[own].open);
  EXPECT_EQ(link.socketConnected, 1) << "the operator's connection as it was";

  const SocketHandle refused = socket.Visit({10, 0, 0, 3}, "09004");
  socket.HandleSocketEvent(refused, kConnect, socket_error::kConnectionReset);
  EXPECT_EQ(tap.connected, std::vector<SocketHandle>{visit});
  EXPECT_EQ(tap.gone, std::vector<SocketHandle>{refused});
  EXPECT_EQ(tap.heard, "Ver.1.20\r\n");
  EXPECT_FALSE(layer.sockets[refused].open);
  EXPECT_TRUE(messages.boxes.empty());
  EXPECT_EQ(socket.Visit({10, 0, 0, 4}, "port"), 0u);
}

TEST_F(LinkTest, ClosingEverythingLeavesNoSocketAndNoChoice) {
  link.hostList = {{10, 0, 0, 1}, {10, 0, 0, 2}};
  link.selectedConnection = 1;
  Serve({"127.0.0.2", "127.0.0.3"});
  Choose(2);
  socket.CloseAllSockets();
  for (const auto& [handle, s] : layer.sockets) EXPECT_FALSE(s.open) << handle;
  EXPECT_FALSE(socket.HasSockets());
  EXPECT_EQ(link.chosenRow, -1);
  EXPECT_EQ(link.selectedConnection, 1) << "the client's chosen host is its own";
  EXPECT_EQ(link.socketConnected, 0);
  EXPECT_FALSE(layer.sweeping);
}

}  // namespace
}  // namespace kelvrix
