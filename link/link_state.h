// The link's configuration and the flags its parts share.
//
// The serial reader thread only assembles lines; dispatch runs on the GUI
// thread. The flags the reader reads or writes are atomics, the rest are
// plain integers touched by the GUI thread alone.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "link/connection_table.h"
#include "model/device_settings.h"

namespace kelvrix {

inline constexpr int32_t kSerialInterface = 0;
inline constexpr int32_t kSocketInterface = 1;
inline constexpr int32_t kRs232c = 0;
inline constexpr int32_t kRs485 = 1;
inline constexpr int32_t kBroadcastAddressIndex = 32;

struct LinkState {
  // Configuration (kelvrix.ini and the link dialogs)
  int32_t linkInterface = kSerialInterface;  // 0 serial, 1 TCP/IP
  int32_t clientServerMode = 0;              // 0 client, 1 server
  int32_t comPort = 0;                       // 0..5 for COM1..COM6, and above for the machine's other ports
  int32_t rsControl = kRs232c;               // 0 RS-232C, 1 RS-485
  int32_t selectedConnection = 0;  // client: the chosen host's index in hostList, -1 none
  std::vector<Ipv4Address> hostList;  // units the TCP client can connect to
  int32_t slaveAddressIndex = 0;  // 0..31 a unit, 32 broadcast

  // Flags shared with the serial reader thread
  std::atomic<int32_t> readerRunning{0};
  std::atomic<int32_t> replyPending{0};
  std::atomic<int32_t> replyWaitTicks{0};
  std::atomic<int32_t> successPending{0};

  // GUI thread only
  int32_t replyError = 0;
  int32_t socketConnected = 0;
  int32_t batchStep = 0;  // 0 = no timed run; else the run's next step

  // The last socket receive, as the reply wait stored it for the waiting dialog
  std::string receiveBuffer;
  int32_t receiveLength = 0;

  // A socket reply whose LF has not arrived yet
  std::string socketLine;
  int32_t socketLineOpen = 0;

  // The server role's accepted units, and the one the operator chose: the
  // connection `chosenSerial` while it holds row `chosenRow` (-1: none)
  ConnectionTable connections;
  int32_t chosenRow = -1;
  uint64_t chosenSerial = 0;
};

// The link's reset at start-up and after every socket was closed.
inline void InitLinkState(LinkState& link) {
  link.connections.Reset();
  link.chosenRow = -1;
  link.socketConnected = 0;
}

}  // namespace kelvrix
