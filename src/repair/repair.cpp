#include "repair/repair.h"

#include <algorithm>

#include "base/text.h"
#include "search/search_thread.h"

namespace calvorin {
namespace {

struct RootWord {
  const char* word;
  Hkey root;
};

// Tested in this order; every word found sets the root, so a later row wins.
constexpr RootWord kRootWords[] = {
    {"HKEY_DYN_DATA", kHkeyDynData}, {"PERFORMANCE", kHkeyPerformanceData},
    {"MACHINE", kHkeyLocalMachine},  {"CURRENT_USER", kHkeyCurrentUser},
    {"USERS", kHkeyUsers},           {"ROOT", kHkeyClassesRoot},
    {"CONFIG", kHkeyCurrentConfig},
};

enum class Action { kDelete, kWriteFound, kKeep };

// What reading a value for the backup found.
enum class Backed {
  kGone,     // no such value now
  kInexact,  // there, but unreadable, or its lines in the backup would not bring it back exactly
  kExact,
};

Backed ReadForBackup(TRegistry& reg, const std::string& name, LeadByteTest leadByte,
                     BackupEntry* entry) {
  const long rc = ReadBackupValue(reg, name, entry);
  if (rc != kErrorSuccess) return rc == kErrorFileNotFound ? Backed::kGone : Backed::kInexact;
  if (!BackupCanCarry(*entry, leadByte)) return Backed::kInexact;
  const long form = reg.Api().CheckAnsiForm(reg.CurrentKey(), name, entry->type, entry->data);
  if (form == kErrorSuccess) return Backed::kExact;
  return form == kErrorFileNotFound ? Backed::kGone : Backed::kInexact;
}

// The data text the walk would record for the value now: the display text of a data match, or
// the 0x97 pair when its data holds no match (a value the walk reported for its name alone, of
// which the list showed no data).
std::string WalkDataText(const std::string& searchText, const BackupEntry& value) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(value.data.data());
  DataMatch match;
  if (!TSearchThread::MatchData(searchText, bytes, static_cast<std::uint32_t>(value.data.size()),
                                value.type, &match)) {
    return kNoMatchText;
  }
  return match.text;
}

// Where an entry's value stands when Repair comes to it.
enum class Standing {
  kGone,       // no such key or value: nothing is left to change
  kChanged,    // changed since the scan
  kInexact,    // not to be read or backed up exactly
  kNotOpened,  // its key is there but cannot be opened
  kDenied,     // as the scan saw it (or unreadable), but its key refuses changes to this user
  kAsShown,    // as the list showed it, and its key is open in `reg` for change
  kPlanted,    // machine-wide, and its file found only where others could have put it
  kUnloaded,   // in a hive that is no longer loaded: out of reach, not gone
};

// Whether the hive a key lay in is still there. A user's hive under HKEY_USERS, or one loaded
// below HKEY_LOCAL_MACHINE, may have been unloaded since the scan: its values are then out of
// reach, not gone.
bool HiveStillLoaded(RegistryApi& api, Hkey root, const std::string& subKey) {
  if (root != kHkeyUsers && root != kHkeyLocalMachine) return true;
  Hkey top = 0;
  const long rc = api.OpenKey(root, subKey.substr(0, subKey.find('\\')), kKeyQueryValue, &top);
  if (rc == kErrorSuccess) api.CloseKey(top);
  return rc != kErrorFileNotFound;
}

EntryOutcome OutcomeOf(Standing standing) {
  switch (standing) {
    case Standing::kGone:
      return EntryOutcome::kCleaned;
    case Standing::kChanged:
      return EntryOutcome::kChangedSinceScan;
    case Standing::kInexact:
      return EntryOutcome::kNotExact;
    case Standing::kNotOpened:
      return EntryOutcome::kKeyNotOpened;
    case Standing::kDenied:
      return EntryOutcome::kRefused;
    case Standing::kPlanted:
      return EntryOutcome::kUntrustedFile;
    case Standing::kUnloaded:
      return EntryOutcome::kHiveUnloaded;
    case Standing::kAsShown:
      break;
  }
  return EntryOutcome::kNotReached;
}

// Opens the entry's key in `reg`, for change when it allows that, and reads its value into `now`.
Standing Examine(TRegistry& reg, Hkey root, const std::string& subKey, const RepairEntry& entry,
                 const RepairOptions& options, BackupEntry* now) {
  reg.SetRootKey(root);
  const bool writable = reg.OpenKey(subKey, false);
  if (!writable) {
    // A key that was deleted is gone; one that is there but not open to this user for change
    // may still be read.
    const long rc = reg.LastOpenResult();
    if (rc == kErrorFileNotFound) {
      return HiveStillLoaded(reg.Api(), root, subKey) ? Standing::kGone : Standing::kUnloaded;
    }
    if (rc != kErrorAccessDenied) return Standing::kNotOpened;
    if (!reg.OpenKeyReadOnly(subKey)) return Standing::kDenied;
  }
  switch (ReadForBackup(reg, entry.valueName, options.leadByte, now)) {
    case Backed::kGone:
      return Standing::kGone;
    case Backed::kInexact:
      return Standing::kInexact;
    case Backed::kExact:
      break;
  }
  // Another program may have repointed the value, or rewritten it as another type (a REG_SZ
  // made REG_EXPAND_SZ shows the same text), since the scan; a corrected value of an earlier
  // run that failed holds its new path.
  if (now->type != entry.type || WalkDataText(options.searchText, *now) != entry.dataText) {
    return Standing::kChanged;
  }
  return writable ? Standing::kAsShown : Standing::kDenied;
}

// The failure that a backup which could not be made exact ends the run with: what went wrong,
// and exactly what changed, with the old data in the registry editor's form.
EFileError InexactBackup(const std::string& reason, const std::string& backupPath, bool removed,
                         const std::vector<BackupEntry>& changed, LeadByteTest leadByte) {
  std::string text = reason + "\n\n";
  if (!removed) {
    text += backupPath + " could not be removed either: it also holds values that were left as " +
            "they were. Do not restore it.\n\n";
  }
  if (changed.empty()) return EFileError(text + "No value was changed");
  return EFileError(text +
                    "No backup of this run is kept. These values were changed; their old data "
                    "in the registry editor's form (Ctrl+C copies this message):\n\n" +
                    BackupText(changed, leadByte));
}

// After the changes the backup holds exactly the values that changed. When none did, the run's
// file goes and the earlier backup comes back as it was. When the file cannot be made so, it is
// removed (Restore would write old data over values that were left alone), the earlier backup
// comes back, and the failure names what changed.
void SettleBackup(BackupFiles& files, const std::string& backupPath, const std::string& keptAs,
                  const std::vector<BackupEntry>& changed, bool narrowed, LeadByteTest leadByte) {
  try {
    if (changed.empty()) {
      if (!files.Delete(backupPath)) throw EFileError("Cannot delete file \"" + backupPath + "\"");
      if (!keptAs.empty()) files.Rename(keptAs, backupPath);
      return;
    }
    if (narrowed) files.WriteAtomically(backupPath, BackupText(changed, leadByte));
  } catch (const EFileError& e) {
    const bool removed = files.Delete(backupPath) || !files.Exists(backupPath);
    if (removed && !keptAs.empty()) files.Rename(keptAs, backupPath);
    if (changed.empty() && removed) return;
    throw InexactBackup(e.what(), backupPath, removed, changed, leadByte);
  }
  PruneOldBackups(files, backupPath);
}

// Thrown by the drive search's reports when the user has asked the run to stop.
struct StopAsked {};

// The run's own RepairUi for the drive search: a stop ends the search at its next folder.
class StoppableSearch : public RepairUi {
 public:
  explicit StoppableSearch(RepairUi& ui) : ui_(ui) {}
  void Begun(int total) override { ui_.Begun(total); }
  void ItemStarted(const std::string& status) override { ui_.ItemStarted(status); }
  void ItemDone(int done) override { ui_.ItemDone(done); }
  void Searching(const std::string& status) override {
    ui_.Searching(status);
    if (ui_.StopRequested()) throw StopAsked{};
  }
  void StillSearching() override {
    ui_.StillSearching();
    if (ui_.StopRequested()) throw StopAsked{};
  }
  bool SearchMovedFiles() override { return ui_.SearchMovedFiles(); }
  bool StopRequested() override { return ui_.StopRequested(); }
  void Finished(const RepairOutcome& outcome) override { ui_.Finished(outcome); }
  void Failed(bool backupExists) override { ui_.Failed(backupExists); }

 private:
  RepairUi& ui_;
};

// An entry as the status bar names it while the run is at it.
std::string WorkingText(const RepairEntry& entry) {
  return entry.keyPath + ", " + (entry.valueName.empty() ? "(default)" : entry.valueName);
}

struct Planned {
  size_t entry;  // index into the entries
  Hkey root;
  std::string subKey;
  Action action;
  std::string foundPath;
};

}  // namespace

Hkey RepairRootOf(const std::string& keyPath) {
  Hkey root = kHkeyCurrentUser;
  for (const auto& row : kRootWords) {
    if (Contains(keyPath, row.word)) root = row.root;
  }
  return root;
}

std::string RepairSubKeyOf(const std::string& keyPath) {
  const int slash = Pos("\\", keyPath);
  if (slash == 0) {
    // A value that a root key holds itself: the walk records the root's name alone.
    for (const auto& root : kSearchRoots) {
      if (keyPath == root.name) return {};
    }
    return keyPath;
  }
  return keyPath.substr(static_cast<size_t>(slash));
}

RepairCounts RunRepair(const std::vector<RepairEntry>& entries, RegistryApi& registry,
                       FileSystem& fs, BackupFiles& files, RepairUi& ui,
                       const std::string& exeFolder, const RepairOptions& options) {
  const std::string backupPath = BackupPath(exeFolder);
  const int n = static_cast<int>(entries.size());
  RepairCounts counts;
  counts.entries.resize(entries.size());
  // The progress follows the ticked entries only: the others are never read.
  int ticked = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    const RepairEntry& entry = entries[i];
    if (entry.alwaysLeave) {
      counts.entries[i].outcome = EntryOutcome::kAlwaysLeft;
    } else if (!entry.ticked) {
      counts.entries[i].outcome = EntryOutcome::kUnticked;
    } else {
      ++ticked;
    }
  }
  ui.Begun(ticked);

  const auto leftAlone = [&counts](size_t entry, Standing standing) {
    counts.entries[entry].outcome = OutcomeOf(standing);
  };
  bool stopped = false;
  try {
    // First pass: read every value exactly and decide what to do; nothing changes yet.
    StoppableSearch search(ui);
    DriveIndex index(fs, search);
    std::vector<Planned> plan;
    std::vector<BackupEntry> backup;
    int item = 0;
    for (size_t e = 0; e < entries.size(); ++e) {
      const RepairEntry& entry = entries[e];
      if (entry.alwaysLeave || !entry.ticked) continue;
      ++item;
      ui.ItemStarted(Format("Fixing item %d of %d", item, ticked));
      ui.Working(WorkingText(entry));
      Planned step{e, RepairRootOf(entry.keyPath), RepairSubKeyOf(entry.keyPath),
                   Action::kDelete, {}};
      TRegistry reg(registry);
      BackupEntry old;
      old.keyPath = entry.namedKeyPath.empty() ? entry.keyPath : entry.namedKeyPath;
      const Standing standing = Examine(reg, step.root, step.subKey, entry, options, &old);
      if (standing != Standing::kAsShown) {
        leftAlone(e, standing);
      } else {
        const std::string name = RepairSearchName(entry.dataText);
        bool passedOver = false;
        if (!name.empty() && ui.SearchMovedFiles()) {
          const std::string drive = Copy(entry.dataText, 1, 2);
          const FoundFileTest accept = TrustedFileTest(step.root, step.subKey, options.userSid,
                                                       options.fileSecurity, &passedOver);
          step.foundPath = options.useDriveIndex
                               ? index.Find(drive, name, accept)
                               : FindFileOnDrive(fs, search, drive, name, true, accept);
        }
        if (!step.foundPath.empty()) {
          step.action = Contains(entry.dataText, "msme") ? Action::kKeep : Action::kWriteFound;
        }
        if (passedOver && step.foundPath.empty()) {
          leftAlone(e, Standing::kPlanted);  // neither deleted nor pointed at a planted file
        } else {
          backup.push_back(std::move(old));
          plan.push_back(std::move(step));
        }
      }
      ui.ItemDone(item);
      if (ui.StopRequested()) throw StopAsked{};
    }

    // The backup reaches the disk whole before the first change; a run that changes nothing
    // leaves the backups as they are. An "msme" entry is counted fixed but left as it is, so it
    // is not backed up.
    std::vector<bool> dropped(plan.size(), false);
    for (size_t k = 0; k < plan.size(); ++k) dropped[k] = plan[k].action == Action::kKeep;
    const auto backupOf = [&] {
      std::vector<BackupEntry> kept;
      for (size_t k = 0; k < plan.size(); ++k) {
        if (!dropped[k]) kept.push_back(backup[k]);
      }
      return kept;
    };
    const bool changes = std::find(dropped.begin(), dropped.end(), false) != dropped.end();
    std::string keptAs;
    if (changes) {
      keptAs = KeepPreviousBackup(files, backupPath);
      try {
        files.WriteAtomically(backupPath, BackupText(backupOf(), options.leadByte));
      } catch (...) {
        // Leave the earlier backup where Restore finds it.
        if (!keptAs.empty()) files.Rename(keptAs, backupPath);
        throw;
      }
    }

    // Second pass: each value is read again just before it changes. One that another program
    // changed or removed since it was backed up, and one whose change the registry refuses,
    // stays as it is; its lines leave the backup file, which then holds only what really
    // changed.
    bool narrowed = false;
    for (size_t k = 0; k < plan.size(); ++k) {
      if (ui.StopRequested()) {
        // The values not reached keep their data, and their lines leave the backup.
        stopped = true;
        std::fill(dropped.begin() + static_cast<std::ptrdiff_t>(k), dropped.end(), true);
        narrowed = true;
        break;
      }
      const Planned& step = plan[k];
      EntryResult& result = counts.entries[step.entry];
      if (step.action == Action::kKeep) {
        result.outcome = EntryOutcome::kFoundKept;
        continue;
      }
      const RepairEntry& entry = entries[step.entry];
      ui.Working(WorkingText(entry));
      TRegistry reg(registry);
      BackupEntry now;
      now.keyPath = backup[k].keyPath;
      Standing standing = Examine(reg, step.root, step.subKey, entry, options, &now);
      if (standing == Standing::kAsShown &&
          (now.type != backup[k].type || now.data != backup[k].data)) {
        standing = Standing::kChanged;
      }
      if (standing == Standing::kAsShown) {
        RegistryApi& api = reg.Api();
        long rc;
        if (step.action == Action::kWriteFound) {
          const std::string data = step.foundPath + '\0';
          rc = api.SetValue(reg.CurrentKey(), entry.valueName, kRegSz,
                            reinterpret_cast<const std::uint8_t*>(data.data()),
                            static_cast<std::uint32_t>(data.size()));
          if (rc == kErrorSuccess) result = {EntryOutcome::kFixed, step.foundPath};
        } else {
          rc = api.DeleteValue(reg.CurrentKey(), entry.valueName);
          if (rc == kErrorSuccess) result.outcome = EntryOutcome::kCleaned;
          // Deleted by another program since it was read: gone all the same.
          if (rc == kErrorFileNotFound) standing = Standing::kGone;
        }
        if (rc == kErrorSuccess) continue;
        if (standing != Standing::kGone) {
          standing = rc == kErrorAccessDenied ? Standing::kDenied : Standing::kAsShown;
        }
      }
      dropped[k] = narrowed = true;
      if (standing == Standing::kAsShown) {
        result.outcome = EntryOutcome::kChangeFailed;
      } else {
        leftAlone(step.entry, standing);
      }
    }
    if (changes) {
      SettleBackup(files, backupPath, keptAs, backupOf(), narrowed, options.leadByte);
    }
  } catch (const StopAsked&) {
    // Thrown only while the run reads: nothing has changed, and the earlier backups stay. The
    // entries the user left out stay so; every other one is not reached.
    stopped = true;
    for (EntryResult& result : counts.entries) {
      if (result.outcome != EntryOutcome::kUnticked &&
          result.outcome != EntryOutcome::kAlwaysLeft) {
        result = {};
      }
    }
  } catch (...) {
    ui.Failed(CanRestore(files, exeFolder));
    throw;
  }

  for (const EntryResult& result : counts.entries) {
    if (result.outcome == EntryOutcome::kNotReached) {
      ++counts.notReached;
    } else if (result.outcome == EntryOutcome::kFixed ||
               result.outcome == EntryOutcome::kFoundKept) {
      ++counts.fixed;
    } else if (LeftUnchanged(result.outcome)) {
      ++counts.unchanged;
      if (result.outcome == EntryOutcome::kRefused) ++counts.refused;
    }
  }
  counts.cleaned = n - counts.fixed - counts.unchanged - counts.notReached;
  RepairOutcome outcome;
  outcome.cleaned = Format("%d Registry Items Cleaned", counts.cleaned);
  if (counts.fixed > 0) outcome.fixed = Format("%d Registry Items Fixed", counts.fixed);
  if (counts.unchanged > 0) {
    outcome.unchanged = Format("%d Registry Items Left Unchanged", counts.unchanged);
  }
  if (counts.refused > 0 && !options.elevated) {
    outcome.rightsHint =
        "Windows refused some changes: run Calvorin as administrator to make them.";
  }
  if (stopped) {
    outcome.notReached = Format("Stopped: %d Registry Items Not Reached", counts.notReached);
  }
  outcome.backupExists = CanRestore(files, exeFolder);
  ui.Finished(outcome);
  return counts;
}

bool LeftUnchanged(EntryOutcome outcome) {
  switch (outcome) {
    case EntryOutcome::kCleaned:
    case EntryOutcome::kFixed:
    case EntryOutcome::kFoundKept:
    case EntryOutcome::kNotReached:  // counted apart: a stopped run did not come to it
      return false;
    default:
      return true;
  }
}

std::string EntryOutcomeText(const EntryResult& result) {
  const char* reason = "";
  switch (result.outcome) {
    case EntryOutcome::kCleaned:
      return "Cleaned";
    case EntryOutcome::kFixed:
      return "Fixed: " + result.written;
    case EntryOutcome::kFoundKept:
      return "Fixed: found, kept as it is";
    case EntryOutcome::kNotReached:
      reason = "the run ended before it";
      break;
    case EntryOutcome::kUnticked:
      reason = "unticked";
      break;
    case EntryOutcome::kAlwaysLeft:
      reason = "always left unchanged";
      break;
    case EntryOutcome::kChangedSinceScan:
      reason = "changed since the scan";
      break;
    case EntryOutcome::kRefused:
      reason = "refused by Windows";
      break;
    case EntryOutcome::kNotExact:
      reason = "could not be read or backed up exactly";
      break;
    case EntryOutcome::kKeyNotOpened:
      reason = "its key could not be opened";
      break;
    case EntryOutcome::kChangeFailed:
      reason = "Windows could not change it";
      break;
    case EntryOutcome::kHiveUnloaded:
      reason = "its hive is no longer loaded";
      break;
    case EntryOutcome::kUntrustedFile:
      reason = "its file was found only where others could have placed it";
      break;
  }
  return std::string("Left unchanged: ") + reason;
}

}  // namespace calvorin
