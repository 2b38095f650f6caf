#include "link/send_command.h"

#include "link/framing.h"

namespace kelvrix {

bool CanSendOverSocket(const LinkState& link) {
  return link.linkInterface == kSerialInterface || link.socketConnected == 1;
}

bool ReadsFromBroadcast(const LinkState& link) {
  return link.linkInterface == kSerialInterface && link.rsControl == kRs485 &&
         link.slaveAddressIndex >= kBroadcastAddressIndex;
}

void SendCommand(Panel& panel, std::string_view command, SocketWait wait) {
  if (panel.link.linkInterface == kSocketInterface) {
    SocketSend(panel, command, wait);
  } else {
    SerialSend(panel, command);
  }
}

// A send that failed or was refused counts as a failed step of a timed run,
// which then stops at its next tick.
void SerialSend(Panel& panel, std::string_view command) {
  SerialSendTo(panel, command, panel.link.slaveAddressIndex);
}

void SerialSendTo(Panel& panel, std::string_view command, int32_t address) {
  auto frame = FrameSerialCommand(command, panel.link.rsControl, address);
  if (!frame) {
    panel.link.replyError = 1;
    return;
  }
  // Armed before the write, so that a fast reply cannot be cleared first.
  // A failed write stays armed: the reply time-out tells the operator.
  panel.link.replyPending = frame->awaitsReply ? 1 : 0;
  if (!panel.transport.WriteSerial(std::move(frame->bytes))) panel.link.replyError = 1;
}

// Each command's answer starts from an empty line: a part left by a flood or
// a cut reply is not carried into it.
void SocketSend(Panel& panel, std::string_view command, SocketWait wait) {
  if (!CanSendOverSocket(panel.link)) {
    panel.link.replyError = 1;
    panel.messages.ShowWarning("Socket が接続されていません");
    return;
  }
  auto line = FrameSocketCommand(command);
  if (!line) {
    panel.link.replyError = 1;
    return;
  }
  panel.link.socketLine.clear();
  panel.link.socketLineOpen = 0;
  if (!panel.transport.SendOnSocket(*line)) {
    panel.link.replyError = 1;
    panel.messages.ShowWarning("Socket 送信");
    return;
  }
  if (wait == SocketWait::Notified) {
    panel.transport.ExpectSocketReply();
  } else {
    panel.transport.AwaitSocketReply(panel.messages);
  }
}

namespace {

void SendBuilt(Panel& panel, const BuiltCommand& command,
               void (*sender)(Panel&, std::string_view)) {
  if (command.refused()) {
    panel.messages.ShowWarning(RefusalMessage(command.refusal));
    return;
  }
  sender(panel, command.text);
}

}  // namespace

void Send(Panel& panel, const BuiltCommand& command) {
  SendBuilt(panel, command, [](Panel& p, std::string_view text) { SendCommand(p, text); });
}

void SendSerialOnly(Panel& panel, const BuiltCommand& command) {
  SendBuilt(panel, command, SerialSend);
}

void SendDwellTimes(Panel& panel) {
  if (panel.link.batchStep != 0) return;
  Send(panel, BuildCASTM(panel.settings));
}

void SendClearAlarmHistory(Panel& panel) {
  if (panel.link.batchStep != 0) return;
  Send(panel, BuildAHD());
}

void SendClearVideoLossHistory(Panel& panel) {
  if (panel.link.batchStep != 0) return;
  Send(panel, BuildVLHD());
}

// A missing reply is a failed step too; set before the box, whose own message
// loop runs the next tick of a timed run.
void TickReplyTimeout(Panel& panel) {
  if (!CountReplyWaitTick(panel.link)) return;
  panel.link.replyError = 1;
  panel.messages.ShowError("No Connect");
}

}  // namespace kelvrix
