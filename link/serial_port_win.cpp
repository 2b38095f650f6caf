#include "link/serial_port_win.h"

#include <string>
#include <vector>

#include "link/serial_ports.h"
#include "link/traffic_recorder_win.h"
#include "model/wide_text_win.h"

namespace kelvrix {

namespace {

constexpr DWORD kQueueSize = 2000;
constexpr DWORD kReadBufferSize = 600;
// Windows documents {interval, 0, 0} as "wait for the first byte, complete one
// interval after the last"; it is also the one blocking read that works on a
// pty under Wine, and it lets the reader sleep while the line is idle. The
// interval is latency added to every reply, so it is short: just over the
// 1.15 ms a byte takes at 9600 baud, so that a line arriving steadily still
// completes in one read (one that ends early only splits the bytes, which the
// line assembler joins again).
constexpr DWORD kReadIntervalMs = 2;
constexpr DWORD kWriteTimeoutMs = 1000;
constexpr DWORD kIdleRetryMs = 50;
// Lines wait in the queue while a result box is up. A unit or a noisy line
// may flood it meanwhile: beyond this many the oldest are dropped, so memory
// stays bounded; no reply the operator waits for is that old.
constexpr std::size_t kMaxQueuedLines = 4096;

void ClearPortErrors(HANDLE port) {
  DWORD errors = 0;
  COMSTAT status{};
  ClearCommError(port, &errors, &status);
}

}  // namespace

bool SetLineSettings(HANDLE port, bool handshake) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  GetCommState(port, &dcb);
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = CBR_9600;
  dcb.fBinary = 1;
  dcb.ByteSize = 8;
  dcb.Parity = EVENPARITY;
  dcb.fParity = 0;
  dcb.StopBits = ONESTOPBIT;
  dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
  dcb.fRtsControl = handshake ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
  dcb.fOutxCtsFlow = handshake ? 1 : 0;
  dcb.fOutX = 1;
  dcb.fInX = 1;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  dcb.XonLim = 256;
  dcb.XoffLim = 256;
  return SetCommState(port, &dcb) != 0;
}

SerialLink::~SerialLink() { StopReader(); }

bool SerialLink::Open(int comPort, ResultMessages& messages) {
  writeEvent_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  readEvent_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  stopEvent_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);

  const std::wstring name = WideFromUtf8(SerialDeviceName(comPort));
  port_ = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                      FILE_FLAG_OVERLAPPED, nullptr);
  if (port_ == INVALID_HANDLE_VALUE) messages.ShowWarning("Miss! File Open");

  if (!SetCommMask(port_, EV_RXCHAR)) messages.ShowWarning("Miss! Mask Set");
  if (!SetupComm(port_, kQueueSize, kQueueSize)) messages.ShowWarning("Miss! Buffer Set");

  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = kReadIntervalMs;
  timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMs;
  if (!SetCommTimeouts(port_, &timeouts)) messages.ShowWarning("Miss! Time Out Set");

  if (!SetLineSettings(port_, true)) messages.ShowWarning("Miss! Set Comm State");

  return port_ != INVALID_HANDLE_VALUE;
}

bool SerialLink::StartReader(HWND notifyWindow, LinkState& link) {
  if (port_ == INVALID_HANDLE_VALUE || reader_.joinable()) return false;
  try {
    reader_ = std::thread(&SerialLink::ReadLoop, this, notifyWindow, &link);
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void SerialLink::StopReader() {
  if (!reader_.joinable()) return;
  SetEvent(stopEvent_);
  reader_.join();
}

std::optional<SerialLink::Line> SerialLink::TakeLine() {
  std::lock_guard lock(linesLock_);
  if (lines_.empty()) return std::nullopt;
  Line line = std::move(lines_.front());
  lines_.pop_front();
  return line;
}

void SerialLink::ReadLoop(HWND notifyWindow, LinkState* link) {
  SetCommMask(port_, EV_RXCHAR);
  SerialLineAssembler assembler;
  char buffer[kReadBufferSize];
  HANDLE waits[2] = {readEvent_, stopEvent_};

  while (link->readerRunning.load() != 0) {
    OVERLAPPED read{};
    read.hEvent = readEvent_;
    ResetEvent(readEvent_);
    DWORD count = 0;
    bool done = ReadFile(port_, buffer, sizeof buffer, &count, &read);
    if (!done && GetLastError() == ERROR_IO_PENDING) {
      if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
        CancelIoEx(port_, &read);
        GetOverlappedResult(port_, &read, &count, TRUE);
        break;
      }
      done = GetOverlappedResult(port_, &read, &count, FALSE);
      // A read that ends by its interval may report a time-out with the bytes.
      if (!done && GetLastError() == ERROR_TIMEOUT) done = true;
    }
    if (!done) ClearPortErrors(port_);
    if (!done || count == 0) {
      // Nothing came: pause rather than spin, but wake at once to stop.
      if (WaitForSingleObject(stopEvent_, kIdleRetryMs) == WAIT_OBJECT_0) break;
      continue;
    }
    std::vector<std::string> lines = assembler.AddRead({buffer, count});
    if (lines.empty()) continue;
    const int32_t now = LocalMillisOfDay();
    bool wasEmpty;
    {
      std::lock_guard lock(linesLock_);
      wasEmpty = lines_.empty();
      for (std::string& line : lines) lines_.push_back({std::move(line), now});
      while (lines_.size() > kMaxQueuedLines) lines_.pop_front();
    }
    // The GUI thread takes every queued line per message: one message while
    // lines wait is enough, and a flood cannot fill its message queue.
    if (wasEmpty) PostMessageW(notifyWindow, MsgSerialLine, 0, 0);
  }
  PurgeComm(port_, PURGE_RXCLEAR);
}

void SerialLink::WaitForPendingWrite() {
  if (!writePending_) return;
  DWORD written = 0;
  // Bounded by the port's write time-out.
  if (WaitForSingleObject(writeEvent_, kWriteTimeoutMs + 100) != WAIT_OBJECT_0) CancelIoEx(port_, &write_);
  GetOverlappedResult(port_, &write_, &written, TRUE);
  writePending_ = false;
}

bool SerialLink::WriteSerial(std::string frame) {
  if (port_ == INVALID_HANDLE_VALUE) return false;  // the reply time-out tells the operator
  WaitForPendingWrite();
  writeBuffer_ = std::move(frame);
  write_ = {};
  write_.hEvent = writeEvent_;
  ResetEvent(writeEvent_);
  DWORD written = 0;
  if (WriteFile(port_, writeBuffer_.data(), static_cast<DWORD>(writeBuffer_.size()), &written, &write_)) return true;
  writePending_ = GetLastError() == ERROR_IO_PENDING;
  return writePending_;
}


std::vector<int> PresentComPorts() {
  // Every DOS device name, NUL-separated; the buffer grows until they fit.
  std::vector<wchar_t> names(16384);
  DWORD length = 0;
  while ((length = QueryDosDeviceW(nullptr, names.data(), static_cast<DWORD>(names.size()))) == 0 &&
         GetLastError() == ERROR_INSUFFICIENT_BUFFER && names.size() < (1u << 22)) {
    names.resize(names.size() * 2);
  }
  std::vector<std::string> list;
  for (const wchar_t* name = names.data(); name < names.data() + length && *name; name += wcslen(name) + 1) {
    list.push_back(Utf8FromWide(name));
  }
  return ComPortNumbers(list);
}

}  // namespace kelvrix
