// The unit list's rows and its runs, without a window: the link's units
// (on RS-485 those a bus scan finds; on RS-232C the one unit; in the TCP/IP
// server role the connected units, as they come and go; in the client role
// the host list), the scan, and a JobRun on the checked rows, each unit
// reached through the program's transport: the serial line, the server's
// connection of the unit, or the client's visit beside the operator's own
// connection. The dialog shows the rows and asks for the files; everything
// it hears (serial lines, the units' bytes, comings and goings, the time)
// it feeds in here.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "link/link_state.h"
#include "link/panel.h"
#include "tools/bus_scan.h"
#include "tools/job_run.h"
#include "tools/request_list.h"

namespace kelvrix {

struct ListRow {
  UnitName name;
  std::string version, state, result;
  bool runnable = true;  // a unit that can be asked alone: not one of two on an address
  bool checked = true;
  bool settled = false;  // a run gave it its result
  bool asked = false;    // asked its MAC address as it came
  SocketHandle socket = 0;  // a unit connected to the server: its connection
  uint64_t serial = 0;
  int host = -1;  // the client's: its place in the host list
  // "05", "192.168.0.21", "RS-232C"
  std::string Label() const;
};

class UnitList : public UnitConnections, public UnitTap {
 public:
  using Millis = RunEvents::Millis;
  using Clock = std::function<Millis()>;

  // `portText`: the port the client's hosts are visited on.
  UnitList(const LinkState& link, LinkTransport& transport, std::string portText, Clock clock);
  UnitList(const UnitList&) = delete;
  UnitList& operator=(const UnitList&) = delete;

  // The rows at the opening; on RS-485 none until the scan, which is due.
  void List();
  bool ScanDue() const { return OnBus() && rows_.empty() && !scanning_; }
  // The server's units as they are now: during a run its rows stay (a unit
  // gone says so), between runs a unit gone leaves; one that came is added.
  void ListConnected();

  bool OnBus() const;
  bool OnServer() const;
  // Whether the actions can run on this link: the client needs hosts.
  bool CanRun() const;

  void StartScan();
  // How a job runs on this link's units: one after the other on a serial
  // line or the client's hosts, the server's all at once; the MAC address
  // asked again before an apply writes on RS-232C; a set's answer awaited
  // `writeTimeout` on a serial line.
  JobRunSettings RunSettings(JobKind kind, Millis writeTimeout, const LocalClock& localTime) const;
  // A job on the rows `checked` (their indexes), each with the settings
  // `source` gives it; its files, and the inventory as `report` when
  // named, go to `files`.
  void StartJobs(const JobRunSettings& settings, const std::vector<int>& checked,
                 const std::function<SettingsSource(const UnitName&)>& source, RunFiles& files, std::string report);
  void Cancel();

  // A replacement, first: the unit of `row` is asked who it is
  // (ReplacementQuestions), nothing else sent. Once it ended, TakeProbe gives
  // what it answered, once.
  void StartProbe(int row);
  std::optional<DeviceSettings> TakeProbe();
  // The server's units that come, asked their MAC addresses as they are
  // listed, so that a swapped one shows (MarkSwapped) without being looked for.
  void IdentifyArrivals(bool on) { identifyArrivals_ = on; }
  // Then the replacement itself on that row, its new backup and its
  // inventory row into `files` (added to `inventory`).
  void StartReplace(const JobRunSettings& settings, int row, Replacement replacement, RunFiles& files,
                    std::string inventory);
  // The rows whose MAC address is not the one the newest backup of their
  // place names, among a folder's `names`: "交換？".
  void MarkSwapped(const std::vector<std::string>& names);

  // The rows of the checked units that can run now.
  std::vector<int> Runnable() const;

  // What the link brings.
  void LineReceived(std::string_view line);
  void Received(SocketHandle socket, std::string_view bytes) override;
  void Arrived() override { refreshDue_ = OnServer(); }
  void Connected(SocketHandle socket) override;
  void Gone(SocketHandle socket) override;
  void Tick();
  // The server's list is owed a refresh (a unit came or went).
  bool RefreshDue() const { return refreshDue_; }
  void Refresh();

  bool Busy() const { return Run() != nullptr; }
  std::optional<Millis> NextWake() const { return Busy() ? Run()->NextWake() : std::nullopt; }
  std::pair<int, int> Progress() const { return Busy() ? Run()->Progress() : std::pair(0, 0); }
  // Whether the socket's bytes are a unit's of the run under way (the probe's too).
  bool Hears(SocketHandle socket) const { return JobOn(socket).has_value(); }

  std::vector<ListRow>& Rows() { return rows_; }
  const std::string& Status() const { return status_; }
  // What changed since the last call: the whole list, or these rows.
  struct Changes {
    bool all = false;
    std::vector<int> rows;
  };
  Changes TakeChanges();
  // The last run's rows, for its report.
  bool HasInventory() const { return jobs_ && jobs_->Count() > 0 && !running_; }
  // Its report: the inventory as CSV for a spreadsheet program.
  std::string InventoryText() const;

  // UnitConnections: the run's units on the program's transport.
  bool Send(std::size_t unit, std::string_view bytes) override;
  Opening Open(std::size_t unit) override;
  void Close(std::size_t unit) override;

 private:
  bool OnSerial() const;
  bool OnClient() const;
  RunEvents* Run() const;
  std::optional<std::size_t> JobOn(SocketHandle socket) const;
  void SetSocket(std::size_t unit, SocketHandle socket);
  bool StillConnected(const ListRow& row) const;
  // The ends the run reached: rows settled, the scan's units listed, the summary.
  void Settle();
  // The units of a run, the jobs' or the probe's: rows and connections.
  void TakeRows(const std::vector<int>& rows);
  void Probe(const std::vector<int>& rows, const std::vector<std::string>& lines, Millis timeout);
  void ProbeEnded();
  // The server's rows not yet asked their MAC addresses, asked.
  void IdentifyNew();

  const LinkState& link_;
  LinkTransport& transport_;
  std::string portText_;
  Clock clock_;
  std::vector<ListRow> rows_;
  std::string status_;
  BusScan scan_;
  DeviceSettings scanModel_{};
  std::unique_ptr<UnitRunner> scanning_;
  std::unique_ptr<UnitRunner> probing_;
  std::vector<RequestList> probes_;     // per unit of the probe
  std::vector<DeviceSettings> probed_;  // what each answered
  bool identifying_ = false;            // the probe asks arrivals their MAC addresses, not a replacement's unit
  bool identifyArrivals_ = false;
  bool probeDone_ = false;
  std::unique_ptr<JobRun> jobs_;
  bool running_ = false;           // the jobs' run, until its end is settled
  bool replacing_ = false;         // the jobs are a replacement: its row is added to the inventory
  std::vector<int> jobRows_;       // run unit k's row
  std::vector<SocketHandle> sockets_;  // run unit k's connection; 0 once gone
  std::unordered_map<SocketHandle, std::size_t> jobOf_;  // and back: a unit's bytes find it at once
  RunFiles* files_ = nullptr;
  std::string report_;
  Millis startedAt_{0};
  bool refreshDue_ = false;
  Changes changes_;
};

}  // namespace kelvrix
