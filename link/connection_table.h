// The TCP server's connections: 97 rows, of which row 0 is never given out
// and rows 1..96 hold accepted units. The server dialog lists exactly the rows
// in use, in row order, and maps a list position back to its row through the
// same list, so a freed row in the middle never shifts the choice.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/device_settings.h"

namespace kelvrix {

inline constexpr int kMaxConnections = 96;

// A socket handle as the system gives it; 0 = none.
using SocketHandle = std::uintptr_t;

struct ConnectionEntry {
  int32_t inUse = 0;
  SocketHandle socket = 0;
  std::string peerAddress;  // "127.0.0.2"; " " once the row was freed
  uint64_t serial = 0;      // which connection this is: a row freed and filled again gets a new one
};

class ConnectionTable {
 public:
  ConnectionTable() { Reset(); }
  // Every row emptied, row 0 marked in use.
  void Reset();

  // The first free row of 1..96, if any.
  std::optional<int> FreeRow() const;
  void Fill(int row, SocketHandle socket, std::string peerAddress);
  // Frees the row of `socket`, or row 0 when it is in no row (the client's socket).
  void Free(SocketHandle socket);

  int Count() const;                        // rows 1..96 in use
  int Find(SocketHandle socket) const;      // its row, 0 when none
  int FindPeer(std::string_view peerAddress) const;  // the row of a connection from there, 0 when none
  std::vector<int> ListedRows() const;      // the rows in use, in row order: list position k is element k
  // The chosen row while the connection chosen there (`serial`) still holds
  // it: once that unit has gone, a unit that takes its row is not the chosen one.
  std::optional<int> LiveRow(int32_t row, uint64_t serial) const;

  const ConnectionEntry& operator[](int row) const { return rows_.at(static_cast<std::size_t>(row)); }

 private:
  std::array<ConnectionEntry, kMaxConnections + 1> rows_;
  uint64_t lastSerial_ = 0;
};

// The address of the connection the server role has chosen, which the setting
// dialogs show after their caption; empty in the client role, with nothing
// chosen, or once the chosen unit has gone.
std::string ChosenPeerAddress(const ConnectionTable& table, int32_t clientServerMode, int32_t selectedConnection,
                              uint64_t chosenSerial);

// "192.168.1.3"
std::string DottedAddress(const Ipv4Address& address);
// The host list's text: "192 .168 .001 .003"
std::string HostListText(const Ipv4Address& address);

// The TCP port of a port text: its leading decimal digits ("09004" is 9004).
// Nothing when the text has no digits or gives 0 or more than 65535.
std::optional<uint16_t> PortOf(std::string_view portText);

}  // namespace kelvrix
