#include "link/connection_table.h"

#include <cstdio>

namespace kelvrix {

void ConnectionTable::Reset() {
  rows_.fill({});
  rows_[0].inUse = 1;
}

std::optional<int> ConnectionTable::FreeRow() const {
  for (int row = 1; row <= kMaxConnections; ++row) {
    if (rows_[row].inUse == 0) return row;
  }
  return std::nullopt;
}

void ConnectionTable::Fill(int row, SocketHandle socket, std::string peerAddress) {
  if (row < 1 || row > kMaxConnections) return;
  rows_[row] = {1, socket, std::move(peerAddress), ++lastSerial_};
}

void ConnectionTable::Free(SocketHandle socket) {
  ConnectionEntry& entry = rows_[Find(socket)];
  entry.socket = 0;
  entry.peerAddress.assign(1, ' ');  // " ", as a freed row shows
  entry.inUse = 0;
}

int ConnectionTable::Count() const { return static_cast<int>(ListedRows().size()); }

int ConnectionTable::Find(SocketHandle socket) const {
  if (socket == 0) return 0;
  for (int row = 1; row <= kMaxConnections; ++row) {
    if (rows_[row].inUse == 1 && rows_[row].socket == socket) return row;
  }
  return 0;
}

int ConnectionTable::FindPeer(std::string_view peerAddress) const {
  for (int row = 1; row <= kMaxConnections; ++row) {
    if (rows_[row].inUse == 1 && rows_[row].peerAddress == peerAddress) return row;
  }
  return 0;
}

std::vector<int> ConnectionTable::ListedRows() const {
  std::vector<int> rows;
  for (int row = 1; row <= kMaxConnections; ++row) {
    if (rows_[row].inUse == 1) rows.push_back(row);
  }
  return rows;
}

std::optional<int> ConnectionTable::LiveRow(int32_t row, uint64_t serial) const {
  if (row < 1 || row > kMaxConnections) return std::nullopt;
  const ConnectionEntry& entry = rows_[row];
  if (entry.inUse != 1 || entry.serial != serial) return std::nullopt;
  return row;
}

std::string ChosenPeerAddress(const ConnectionTable& table, int32_t clientServerMode, int32_t selectedConnection,
                              uint64_t chosenSerial) {
  if (clientServerMode != 1) return {};
  const auto row = table.LiveRow(selectedConnection, chosenSerial);
  return row ? table[*row].peerAddress : std::string();
}

std::string DottedAddress(const Ipv4Address& address) {
  std::string text;
  for (std::size_t i = 0; i < address.size(); ++i) {
    if (i > 0) text += '.';
    text += std::to_string(address[i]);
  }
  return text;
}

std::string HostListText(const Ipv4Address& address) {
  char text[20];
  std::snprintf(text, sizeof text, "%03u .%03u .%03u .%03u", address[0], address[1], address[2], address[3]);
  return text;
}

std::optional<uint16_t> PortOf(std::string_view portText) {
  uint32_t port = 0;
  std::size_t digits = 0;
  while (digits < portText.size() && portText[digits] >= '0' && portText[digits] <= '9' && port <= 65535) {
    port = port * 10 + static_cast<uint32_t>(portText[digits] - '0');
    ++digits;
  }
  if (digits == 0 || port == 0 || port > 65535) return std::nullopt;
  return static_cast<uint16_t>(port);
}

}  // namespace kelvrix
