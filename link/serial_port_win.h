// The COM port: opening it with the unit's fixed line settings, writing
// frames, and the reader thread that cuts received bytes into lines.
//
// The reader only assembles lines. Each complete line goes into a locked
// queue and a message to the notify window; the GUI thread takes the lines
// and dispatches them, so decoding, model writes and boxes all happen there.
#pragma once

#include <windows.h>

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/panel.h"
#include "link/serial_line_assembler.h"

namespace kelvrix {

// Posted to the notify window when a line waits in the queue.
inline constexpr UINT MsgSerialLine = WM_APP + 1;

class SerialLink {
 public:
  SerialLink() = default;
  ~SerialLink();
  SerialLink(const SerialLink&) = delete;
  SerialLink& operator=(const SerialLink&) = delete;

  // Opens "COM1" for `comPort` 0, and so on. Each failed step shows its
  // "Miss! …" warning and the next step is still tried. True when the port is open.
  bool Open(int comPort, ResultMessages& messages);

  // Starts the reader; lines are announced to `notifyWindow`. False when the
  // port is not open or the thread cannot be made.
  bool StartReader(HWND notifyWindow, LinkState& link);
  // Stops the reader and waits for it.
  void StopReader();

  // The next received line, oldest first, with when the reader took it
  // (local milliseconds since midnight).
  struct Line {
    std::string bytes;
    int32_t millisOfDay;
  };
  std::optional<Line> TakeLine();

  // Writes one frame; false when the port is not open or refused the write.
  bool WriteSerial(std::string frame);
  bool IsOpen() const { return port_ != INVALID_HANDLE_VALUE; }

 private:
  void ReadLoop(HWND notifyWindow, LinkState* link);
  void WaitForPendingWrite();

  HANDLE port_ = INVALID_HANDLE_VALUE;
  HANDLE readEvent_ = nullptr;
  HANDLE writeEvent_ = nullptr;
  HANDLE stopEvent_ = nullptr;
  OVERLAPPED write_{};
  bool writePending_ = false;
  std::string writeBuffer_;  // lives until its overlapped write ends
  std::thread reader_;

  std::mutex linesLock_;
  std::deque<Line> lines_;
};

// 9600 baud, 8 data bits, even parity, 1 stop bit, XON/XOFF, and with
// `handshake` RTS/CTS and DTR. False when the port refused them.
bool SetLineSettings(HANDLE port, bool handshake);

// The numbers of the serial ports the machine has ("COM7" gives 7).
std::vector<int> PresentComPorts();

}  // namespace kelvrix
