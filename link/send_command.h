// The one road by which a command line leaves the program.
//
// SendCommand picks the serial or the socket sender by the link interface.
// The Send functions below it take a builder's result: a refused command shows
// its message and sends nothing. A send the link refuses or fails sets
// replyError, as an error reply does, so a timed run stops at its next tick. Timed runs that must bypass a builder's
// "run in progress" guard call the builder and Send directly.
#pragma once

#include <string_view>

#include "link/panel.h"
#include "model/command_catalogue.h"

namespace kelvrix {

// True on the serial link, or on TCP/IP once a socket is connected.
bool CanSendOverSocket(const LinkState& link);

// True when a request would go out as a broadcast ("FF" on RS-485), which no
// unit answers: a read must not start then.
bool ReadsFromBroadcast(const LinkState& link);
inline constexpr std::string_view kBroadcastReadRefusal =
    "Bloadcast ではユニットから読み出せません。スレーブアドレスを選んでください。";

// How a send over TCP/IP waits for its answer: a single command and the
// stepped runs wait, bounded, on the GUI thread; the maintenance tools never
// do, their answer comes as the socket's notification, their time-out by timer.
enum class SocketWait { Bounded, Notified };

void SendCommand(Panel& panel, std::string_view command, SocketWait wait = SocketWait::Bounded);
void SerialSend(Panel& panel, std::string_view command);
// On RS-485, to the unit at `address` (0..31) rather than the chosen one.
void SerialSendTo(Panel& panel, std::string_view command, int32_t address);
void SocketSend(Panel& panel, std::string_view command, SocketWait wait = SocketWait::Bounded);

// Sends a built command, or shows why it was refused.
void Send(Panel& panel, const BuiltCommand& command);
// The unit's network settings go to the serial sender whatever the interface.
void SendSerialOnly(Panel& panel, const BuiltCommand& command);

// Builders that do nothing while a timed run is under way.
void SendDwellTimes(Panel& panel);
void SendClearAlarmHistory(Panel& panel);
void SendClearVideoLossHistory(Panel& panel);

// The serial reply time-out, run on every main-timer tick: shows "No Connect"
// once when a frame has gone unanswered for 27 ticks, and sets replyError.
void TickReplyTimeout(Panel& panel);

}  // namespace kelvrix
