// kelvrix-cli.exe, the Windows console build: the link is a COM port
// (set up as the panel sets its own) or a WinSock connection; everything
// else is the portable core's.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <ctime>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_commands.h"
#include "cli/cli_output.h"
#include "cli/cli_watch.h"
#include "link/serial_port_win.h"
#include "model/wide_text_win.h"

namespace {

using kelvrix::cli::CliLink;
using kelvrix::cli::Millis;

Millis SteadyNow() { return Millis(GetTickCount64()); }

bool ErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

// Overlapped, as the panel's own port: one read stays pending until
// characters come (and pause), however many waits it outlasts, so no
// read is ever abandoned half-way.
class ComPortLink : public CliLink {
 public:
  explicit ComPortLink(HANDLE port)
      : port_(port),
        readEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        writeEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = kReadIntervalMs;  // a read ends when the characters pause
    timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMs;
    SetCommTimeouts(port_, &timeouts);
  }
  ~ComPortLink() override {
    if (readPending_) {
      CancelIoEx(port_, &read_);
      DWORD ignored = 0;
      GetOverlappedResult(port_, &read_, &ignored, TRUE);
    }
    CloseHandle(port_);
    CloseHandle(readEvent_);
    CloseHandle(writeEvent_);
  }
  ComPortLink(const ComPortLink&) = delete;
  ComPortLink& operator=(const ComPortLink&) = delete;

  bool SharedLine() const override { return true; }
  bool Send(std::size_t, std::string_view bytes) override {
    OVERLAPPED write{};
    write.hEvent = writeEvent_;
    DWORD written = 0;
    if (!WriteFile(port_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, &write) &&
        (GetLastError() != ERROR_IO_PENDING || !GetOverlappedResult(port_, &write, &written, TRUE))) {
      return false;
    }
    return written == bytes.size();
  }
  std::vector<Event> Wait(Millis wait) override {
    std::string bytes;
    if (!Read(wait, bytes)) return {{Event::Kind::Gone, 0, {}}};
    if (bytes.empty()) return {};
    return {{Event::Kind::Bytes, 0, std::move(bytes)}};
  }
  Millis Now() override { return SteadyNow(); }
  void Progress(int done, int total) override { progress_.Show(std::min(done + 1, total), total); }

 private:
  static constexpr DWORD kReadIntervalMs = 2;
  static constexpr DWORD kWriteTimeoutMs = 1000;

  // Waits up to `wait` for bytes; false when the port failed.
  bool Read(Millis wait, std::string& bytes) {
    bytes.clear();
    DWORD count = 0;
    if (!readPending_) {
      read_ = OVERLAPPED{};
      read_.hEvent = readEvent_;
      ResetEvent(readEvent_);
      if (ReadFile(port_, buffer_, sizeof buffer_, &count, &read_)) {
        bytes.assign(buffer_, count);
        return true;
      }
      if (GetLastError() != ERROR_IO_PENDING) return false;
      readPending_ = true;
    }
    const DWORD limit = static_cast<DWORD>(std::clamp<long long>(wait.count(), 0, 60000));
    if (WaitForSingleObject(readEvent_, limit) != WAIT_OBJECT_0) return true;  // the read stays pending
    readPending_ = false;
    // A read that ends by its interval may report a time-out with the bytes.
    if (!GetOverlappedResult(port_, &read_, &count, FALSE) && GetLastError() != ERROR_TIMEOUT) return false;
    bytes.assign(buffer_, count);
    return true;
  }

  HANDLE port_;
  HANDLE readEvent_;
  HANDLE writeEvent_;
  OVERLAPPED read_{};
  char buffer_[1024];
  bool readPending_ = false;
  kelvrix::cli::ProgressLine progress_{ErrorIsTerminal()};
};

// A blocking socket's send, until all went.
bool SendWhole(SOCKET socket, std::string_view bytes) {
  while (!bytes.empty()) {
    const int sent = send(socket, bytes.data(), static_cast<int>(bytes.size()), 0);
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

// Takes what came on a socket that is readable; false when the peer hung up.
bool ReceiveSome(SOCKET socket, std::string& bytes) {
  char buffer[1024];
  const int got = recv(socket, buffer, sizeof buffer, 0);
  if (got <= 0) return false;
  bytes.assign(buffer, static_cast<std::size_t>(got));
  return true;
}

// Units on blocking sockets, waited on together with WSAPoll (select's sets
// hold 64 sockets only): one the tool connected to, or those that dial in to
// its port, each taken as it comes until --units came or --wait passed. A
// unit that dials again from its address replaces its older connection.
class SocketLink : public CliLink {
 public:
  // One unit, connected.
  explicit SocketLink(SOCKET socket) { units_.push_back({socket, {}}); }
  // Units to come.
  SocketLink(SOCKET listener, int wanted, Millis until) : listener_(listener), wanted_(wanted), until_(until) {}
  ~SocketLink() override {
    StopTaking();
    for (const Unit& unit : units_) {
      if (unit.socket != INVALID_SOCKET) closesocket(unit.socket);
    }
  }
  SocketLink(const SocketLink&) = delete;
  SocketLink& operator=(const SocketLink&) = delete;

  bool Send(std::size_t unit, std::string_view bytes) override {
    return unit < units_.size() && units_[unit].socket != INVALID_SOCKET && SendWhole(units_[unit].socket, bytes);
  }
  std::vector<Event> Wait(Millis wait) override {
    if (!Taking()) StopTaking();
    std::vector<WSAPOLLFD> waiting;
    std::vector<std::size_t> polled;
    for (std::size_t k = 0; k < units_.size(); ++k) {
      if (units_[k].socket == INVALID_SOCKET) continue;
      waiting.push_back({units_[k].socket, POLLRDNORM, 0});
      polled.push_back(k);
    }
    if (listener_ != INVALID_SOCKET) waiting.push_back({listener_, POLLRDNORM, 0});
    std::vector<Event> events;
    const INT limit = static_cast<INT>(std::clamp<long long>(wait.count(), 0, 60000));
    if (waiting.empty()) {
      Sleep(static_cast<DWORD>(limit));
      return events;
    }
    if (WSAPoll(waiting.data(), static_cast<ULONG>(waiting.size()), limit) <= 0) return events;
    for (std::size_t i = 0; i < polled.size(); ++i) {
      if (!(waiting[i].revents & (POLLRDNORM | POLLHUP | POLLERR))) continue;
      Unit& unit = units_[polled[i]];
      std::string bytes;
      if (ReceiveSome(unit.socket, bytes)) {
        events.push_back({Event::Kind::Bytes, polled[i], std::move(bytes)});
      } else {
        closesocket(unit.socket);
        unit.socket = INVALID_SOCKET;
        events.push_back({Event::Kind::Gone, polled[i], {}});
      }
    }
    if (listener_ != INVALID_SOCKET && (waiting.back().revents & POLLRDNORM)) Accept(events);
    return events;
  }
  Millis Now() override { return SteadyNow(); }
  bool Taking() const override { return listener_ != INVALID_SOCKET && SteadyNow() < until_; }
  void StopTaking() override {
    if (listener_ != INVALID_SOCKET) closesocket(listener_);
    listener_ = INVALID_SOCKET;
  }
  void Progress(int done, int total) override { progress_.Show(std::min(done + 1, total), total); }

 private:
  struct Unit {
    SOCKET socket;
    std::string address;
  };

  void Accept(std::vector<Event>& events) {
    sockaddr_in from{};
    int length = sizeof from;
    const SOCKET socket = accept(listener_, reinterpret_cast<sockaddr*>(&from), &length);
    if (socket == INVALID_SOCKET) return;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
    for (std::size_t k = 0; k < units_.size(); ++k) {
      if (units_[k].address != text || units_[k].socket == INVALID_SOCKET) continue;
      closesocket(units_[k].socket);
      units_[k].socket = INVALID_SOCKET;
      events.push_back({Event::Kind::Gone, k, {}});
    }
    events.push_back({Event::Kind::Came, units_.size(), text});
    units_.push_back({socket, text});
    if (static_cast<int>(units_.size()) >= wanted_) StopTaking();
  }

  std::vector<Unit> units_;
  SOCKET listener_ = INVALID_SOCKET;
  int wanted_ = 1;
  Millis until_{0};
  kelvrix::cli::ProgressLine progress_{ErrorIsTerminal()};
};

std::unique_ptr<CliLink> OpenComPort(const std::string& name, bool handshake, std::string& error) {
  // "COM12" opens only as "\\.\COM12"; the device path works for every port.
  const std::string path = name.starts_with("COM") ? "\\\\.\\" + name : name;
  HANDLE port = CreateFileW(kelvrix::WideFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    error = "cannot open " + name;
    return nullptr;
  }
  kelvrix::SetLineSettings(port, handshake);  // a port that keeps no parity is still used
  return std::make_unique<ComPortLink>(port);
}

bool StartWinSock(std::string& error) {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) == 0) return true;
  error = "WinSock is not available";
  return false;
}

std::unique_ptr<CliLink> Connect(const std::string& host, int port, std::string& error) {
  if (!StartWinSock(error)) return nullptr;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) {
    error = "cannot find " + host;
    return nullptr;
  }
  SOCKET s = socket(found->ai_family, found->ai_socktype, found->ai_protocol);
  u_long nonBlocking = 1;
  ioctlsocket(s, FIONBIO, &nonBlocking);
  connect(s, found->ai_addr, static_cast<int>(found->ai_addrlen));
  freeaddrinfo(found);
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(s, &writable);
  FD_SET(s, &failed);
  timeval limit{5, 0};
  if (s == INVALID_SOCKET || select(0, nullptr, &writable, &failed, &limit) != 1 || !FD_ISSET(s, &writable)) {
    error = "cannot connect to " + host + ":" + std::to_string(port);
    if (s != INVALID_SOCKET) closesocket(s);
    return nullptr;
  }
  nonBlocking = 0;
  ioctlsocket(s, FIONBIO, &nonBlocking);
  return std::make_unique<SocketLink>(s);
}

std::unique_ptr<CliLink> Listen(const kelvrix::cli::CliOptions& options, std::string& error) {
  if (!StartWinSock(error)) return nullptr;
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(static_cast<u_short>(options.listenPort));
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  if (listener == INVALID_SOCKET || bind(listener, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
      listen(listener, SOMAXCONN) != 0) {
    error = "cannot listen on port " + std::to_string(options.listenPort);
    if (listener != INVALID_SOCKET) closesocket(listener);
    return nullptr;
  }
  return std::make_unique<SocketLink>(listener, options.units, SteadyNow() + Millis(options.waitSeconds * 1000LL));
}

std::unique_ptr<CliLink> Open(const kelvrix::cli::CliOptions& options, std::string& error) {
  if (options.listenPort > 0) return Listen(options, error);
  return options.serialDevice.empty() ? Connect(options.tcpHost, options.tcpPort, error)
                                      : OpenComPort(options.serialDevice, options.handshake, error);
}

HANDLE cancelled = nullptr;  // set with the request to cancel: it ends a pause between rounds

// Ctrl+C and Ctrl+Break: the run stops once the request out was answered.
BOOL WINAPI OnConsoleControl(DWORD control) {
  if (control != CTRL_C_EVENT && control != CTRL_BREAK_EVENT) return FALSE;
  kelvrix::cli::RequestCancel();
  SetEvent(cancelled);
  return TRUE;
}

void Pause(Millis wait) { WaitForSingleObject(cancelled, static_cast<DWORD>(std::min<Millis::rep>(wait.count(), INFINITE - 1))); }

// The Windows Event Log, source "Kelvrix" (the installer names kelvrix-cli.exe
// as the holder of its words): an event a line, its type by the line's weight.
class EventLog : public kelvrix::cli::WatchLog {
 public:
  explicit EventLog(HANDLE source) : source_(source) {}
  ~EventLog() override { DeregisterEventSource(source_); }
  EventLog(const EventLog&) = delete;
  EventLog& operator=(const EventLog&) = delete;

  bool Write(const kelvrix::WatchLine& line, const std::string& json) override {
    using Weight = kelvrix::cli::LogKind::Weight;
    const kelvrix::cli::LogKind& kind = kelvrix::cli::LogKindOf(line.kind);
    const WORD type = kind.weight == Weight::Error     ? EVENTLOG_ERROR_TYPE
                      : kind.weight == Weight::Warning ? EVENTLOG_WARNING_TYPE
                                                       : EVENTLOG_INFORMATION_TYPE;
    const std::wstring text = kelvrix::WideFromUtf8(json);
    const wchar_t* strings[] = {text.c_str()};
    return ReportEventW(source_, type, 0, static_cast<DWORD>(kind.eventId), nullptr, 1, 0, strings, nullptr) != 0;
  }

 private:
  HANDLE source_;
};

std::unique_ptr<kelvrix::cli::WatchLog> OpenLog(const kelvrix::cli::CliOptions& options, std::string& error) {
  if (options.syslog) {
    error = "--syslog is the system logger of Linux: on Windows, --eventlog";
    return nullptr;
  }
  HANDLE source = RegisterEventSourceW(nullptr, L"Kelvrix");
  if (!source) {
    error = "cannot write to the Windows Event Log";
    return nullptr;
  }
  return std::make_unique<EventLog>(source);
}

std::tm LocalTime() {
  const std::time_t seconds = std::time(nullptr);
  std::tm now{};
  localtime_s(&now, &seconds);
  return now;
}

}  // namespace

// Arguments and paths as wide strings, turned into UTF-8 for the portable
// core and back to wide at every file: a Japanese folder name works
// whatever the system's code page.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> texts;
  for (int i = 1; i < argc; ++i) texts.push_back(kelvrix::Utf8FromWide(argv[i]));
  SetConsoleOutputCP(CP_UTF8);
  _setmode(_fileno(stdout), _O_BINARY);  // a settings file's CR LF as they are
  cancelled = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  const kelvrix::cli::Platform platform{Open, LocalTime, OpenLog, Pause,
                                        [] { return static_cast<std::int64_t>(std::time(nullptr)); }};
  return kelvrix::cli::RunProgram(std::vector<std::string_view>(texts.begin(), texts.end()), platform);
}
