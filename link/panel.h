// What the send path and the reply dispatcher work on: the settings mirror,
// the link state, the result boxes and the transport. The program holds one;
// tests build their own from fakes.
#pragma once

#include <string>
#include <string_view>

#include "link/link_state.h"
#include "link/result_messages.h"
#include "model/device_settings.h"

namespace kelvrix {

// A run on many units (the unit list): what the server's units, or the
// client's visits, send comes to it rather than being dropped, and it hears
// of each unit that comes or goes and of each visit's connection made.
class UnitTap {
 public:
  virtual ~UnitTap() = default;
  virtual void Received(SocketHandle socket, std::string_view bytes) = 0;
  virtual void Arrived() = 0;
  virtual void Connected(SocketHandle socket) = 0;
  virtual void Gone(SocketHandle socket) = 0;
};

// The bytes' way out: a COM port or a socket.
class LinkTransport {
 public:
  virtual ~LinkTransport() = default;
  // Writes one serial frame; the transport keeps the bytes until the write
  // ends. False when the port is not open or refused the write.
  virtual bool WriteSerial(std::string frame) = 0;
  // Sends one line on the chosen socket; false when the send failed.
  virtual bool SendOnSocket(std::string_view line) = 0;
  // Waits, bounded, for the unit's answer and hands it to the waiting dialog;
  // an answer that does not come is reported to `results`.
  virtual void AwaitSocketReply(ResultMessages& results) = 0;
  // Does not wait: the answer reaches the dialog that sent as it arrives.
  virtual void ExpectSocketReply() = 0;
  // The units one by one: a line to the unit on `socket`, never waited on
  // (false when the socket cannot take it now), and the taps that hear them
  // all, each until it is untapped.
  virtual bool SendToUnit(SocketHandle /*socket*/, std::string_view /*line*/) { return false; }
  virtual void TapUnits(UnitTap* /*tap*/) {}
  virtual void UntapUnits(UnitTap* /*tap*/) {}
  // The client's hosts one after the other: a connection to `host` beside
  // the operator's (0 when it could not be started), ended by EndVisit; and
  // the operator's own connection, once made (0 when none).
  virtual SocketHandle VisitUnit(const Ipv4Address& /*host*/, std::string_view /*portText*/) { return 0; }
  virtual void EndVisit() {}
  virtual SocketHandle OwnConnection() { return 0; }
};

// For a panel that only decodes what comes (the command-line tool, the fuzz
// target, the benchmarks): nothing is sent through it.
class NoTransport : public LinkTransport {
 public:
  bool WriteSerial(std::string) override { return false; }
  bool SendOnSocket(std::string_view) override { return false; }
  void AwaitSocketReply(ResultMessages&) override {}
  void ExpectSocketReply() override {}
};

struct Panel {
  DeviceSettings& settings;
  LinkState& link;
  ResultMessages& messages;
  LinkTransport& transport;
};

}  // namespace kelvrix
