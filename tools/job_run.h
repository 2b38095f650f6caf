// The run of one job (backup, apply, clock, histories) on many units, as the
// unit list and kelvrix-cli both drive it: a UnitJob per unit on a
// UnitRunner, and what each unit's end leaves, its files written through
// RunFiles and its row: the unit's name, MAC address and version as it gave
// them, what came of it as a UnitOutcome and its words. A unit whose job was
// cut short (cancelled, its connection gone) keeps its row, saying what was
// written and verified before.
#pragma once

#include <cstddef>
#include <ctime>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "model/whole_file.h"
#include "tools/replace_job.h"
#include "tools/unit_files.h"
#include "tools/unit_job.h"
#include "tools/unit_runner.h"

namespace kelvrix {

// Where a run's files go: the folder the operator chose, or the CLI's DIR.
class RunFiles {
 public:
  virtual ~RunFiles() = default;
  // The file `name` written whole, replacing one of that name only once it
  // is; false when it could not be.
  virtual bool Write(const std::string& name, std::string_view bytes) = 0;
  // The file's bytes; nothing when there is none.
  virtual std::optional<std::string> Read(const std::string& /*name*/) { return std::nullopt; }
};

// The files of a run in a folder of the file system, each written and read
// by the platform's ReplaceWholeFile and ReadWholeFile (given, so that the
// portable core names none).
class FolderFiles : public RunFiles {
 public:
  using Replace = bool (*)(const std::string& path, std::string_view bytes);
  using ReadWhole = std::optional<std::string> (*)(const std::string& path);
  FolderFiles(std::string folder, Replace replace, ReadWhole read)
      : folder_(std::move(folder)), replace_(replace), read_(read) {}
  bool Write(const std::string& name, std::string_view bytes) override { return replace_(PathIn(folder_, name), bytes); }
  std::optional<std::string> Read(const std::string& name) override { return read_(PathIn(folder_, name)); }

 private:
  std::string folder_;
  Replace replace_;
  ReadWhole read_;
};

// The run's rows added to the inventory `name` among `files`; false when it could not be written.
bool AddToInventory(RunFiles& files, const std::string& name, const std::vector<InventoryRow>& rows);

struct JobRunSettings {
  JobKind kind = JobKind::Backup;
  JobTimeouts timeouts{};
  bool serialLink = true;  // RS-232C or RS-485: the units share the line, one after the other
  bool clientHosts = false;  // the client's hosts: one after the other, each connected in its turn
  bool sameUnitCheck = false;  // RS-232C: the MAC address asked again before an apply writes
  LocalClock localTime;      // read as each unit's clock is set
  std::tm date{};            // the run's: its files' names and the inventory's time
  bool byteOrderMark = true;  // the histories' CSV for a spreadsheet program
};

// One unit's row.
struct UnitRecord {
  UnitName name;
  std::string version;
  std::string file;     // the file written (backup, histories) or applied
  bool ended = false;
  UnitOutcome outcome = UnitOutcome::Cancelled;
  std::string words;    // "読み込み済み", "3 件を変更、確認済み", "接続が切れました: 確認済み 2 件", ...
  bool Ok() const { return ended && outcome == UnitOutcome::Done; }
  // The row's state: "完了", "中止" or "失敗".
  std::string_view State() const;
};

class JobRun : public RunEvents {
 public:
  using Millis = UnitRunner::Millis;

  JobRun(UnitConnections& connections, RunFiles& files, JobRunSettings settings);

  // A unit, with the settings its job works from: the apply's (its own
  // file's, or the program's), or none (the initial values) for the other
  // jobs. A source without settings refuses the unit: its row ends at the
  // start, with nothing sent. Units may come while the run goes when all
  // go at once (those that dial in); Start begins them.
  std::size_t Add(const UnitName& name, const SettingsSource& source);
  // A unit of a replacement run: the backup it becomes.
  std::size_t Add(const UnitName& name, Replacement replacement);
  void Start(Millis now) override { runner_.Start(now); }

  // What happens on the units' connections; `unit` as Add gave it.
  void Received(std::size_t unit, std::string_view bytes, Millis now) override;
  void LineReceived(std::string_view bytes, Millis now) override { runner_.LineReceived(bytes, now); }
  void Connected(std::size_t unit, Millis now) override;
  void Gone(std::size_t unit, Millis now) override;
  void Tick(Millis now) override { runner_.Tick(now); }
  void Cancel(Millis now) override { runner_.Cancel(now); }

  bool Running() const override { return runner_.Running(); }
  std::optional<Millis> NextWake() const override { return runner_.NextWake(); }
  std::pair<int, int> Progress() const override { return runner_.Progress(); }
  // The units whose rows were settled since the last call, their files
  // written; a refused unit's among the first.
  std::vector<std::size_t> TakeEnded();

  std::size_t Count() const { return records_.size(); }
  const UnitRecord& Record(std::size_t unit) const { return records_[unit]; }
  // The unit's job: what it read, compared and wrote; of a backup, apply,
  // clock or histories run, its UnitJob.
  const RunJob& Job(std::size_t unit) const { return *jobs_[unit]; }
  const UnitJob& UnitJobOf(std::size_t unit) const;
  // The rows of the units that ended, in the order they were added, and
  // what the inventory says once of what no backup holds.
  std::vector<InventoryRow> Inventory() const;
  std::string_view InventoryNote() const;
  // "3 台が完了、1 台が失敗、2 台が中止"
  std::string Summary() const;
  bool AllOk() const;

 private:
  // The front end's connections, named by the units as Add gave them.
  class Connections : public UnitConnections {
   public:
    Connections(UnitConnections& units, const std::vector<std::size_t>& unitOf) : units_(units), unitOf_(unitOf) {}
    bool Send(std::size_t unit, std::string_view bytes) override { return units_.Send(unitOf_[unit], bytes); }
    Opening Open(std::size_t unit) override { return units_.Open(unitOf_[unit]); }
    void Close(std::size_t unit) override { units_.Close(unitOf_[unit]); }

   private:
    UnitConnections& units_;
    const std::vector<std::size_t>& unitOf_;
  };

  std::size_t Add(const UnitName& name, std::unique_ptr<RunJob> job, DeviceSettings& model);
  void Settle(std::size_t unit);
  // The unit's settings file and its network file beside it; the name written, empty when it failed.
  std::string WriteBackup(UnitRecord& record, const DeviceSettings& read);
  std::string WriteUnique(const std::string& name, std::string_view bytes);

  JobRunSettings settings_;
  RunFiles& files_;
  std::vector<std::size_t> unitOf_;  // the runner's units, as Add gave them
  Connections connections_;
  UnitRunner runner_;
  std::vector<UnitRecord> records_;
  std::vector<std::unique_ptr<RunJob>> jobs_;
  std::vector<std::optional<std::size_t>> runnerUnit_;  // the unit's place in the runner; none when refused
  std::vector<std::size_t> refused_;     // ended at the start, not yet taken
  std::set<std::string> written_;        // the names this run wrote: no unit's file replaces another's
  std::string time_;
};

}  // namespace kelvrix
