#include "link/send_command.h"

#include "link/framing.h"

namespace kelvrix {

bool CanSendOverSocket(const LinkState& link) {
  return link.linkInterface == kSerialInterface || link.socketConnected == 1;
}

void SendCommand(Panel& panel, std::string_view command) {
  if (panel.link.linkInterface == kSocketInterface) {
    SocketSend(panel, command);
  } else {
    SerialSend(panel, command);
  }
}

void SerialSend(Panel& panel, std::string_view command) {
  auto frame = FrameSerialCommand(command, panel.link.rsControl, panel.link.slaveAddressIndex);
  if (!frame) return;
  // Armed before the write, so that a fast reply cannot be cleared first.
  panel.link.replyPending = frame->awaitsReply ? 1 : 0;
  panel.transport.WriteSerial(std::move(frame->bytes));
}

void SocketSend(Panel& panel, std::string_view command) {
  if (!CanSendOverSocket(panel.link)) {
    panel.messages.ShowWarning("Socket が接続されていません");
    return;
  }
  auto line = FrameSocketCommand(command);
  if (!line) return;
  if (!panel.transport.SendOnSocket(*line)) {
    panel.link.replyError = 1;
    panel.messages.ShowWarning("Socket 送信");
    return;
  }
  panel.transport.AwaitSocketReply();
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

void Send(Panel& panel, const BuiltCommand& command) { SendBuilt(panel, command, SendCommand); }

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

void TickReplyTimeout(Panel& panel) {
  if (CountReplyWaitTick(panel.link)) panel.messages.ShowError("No Connect");
}

}  // namespace kelvrix
