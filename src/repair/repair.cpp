#include "repair/repair.h"

#include <algorithm>

#include "base/text.h"

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
  kGone,     // no such value (or key) now
  kInexact,  // there, but its lines in the backup would not bring it back exactly
  kExact,
};

Backed ReadForBackup(TRegistry& reg, const std::string& name, LeadByteTest leadByte,
                     BackupEntry* entry) {
  const long rc = ReadBackupValue(reg, name, entry);
  if (rc == kErrorNoUnicodeTranslation) return Backed::kInexact;
  if (rc != kErrorSuccess) return Backed::kGone;
  if (!BackupCanCarry(*entry, leadByte)) return Backed::kInexact;
  const long form = reg.Api().CheckAnsiForm(reg.CurrentKey(), name, entry->type, entry->data);
  if (form == kErrorSuccess) return Backed::kExact;
  return form == kErrorNoUnicodeTranslation ? Backed::kInexact : Backed::kGone;
}

struct Planned {
  Hkey root;
  std::string subKey;
  std::string valueName;
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
  if (slash == 0) return keyPath;
  return keyPath.substr(static_cast<size_t>(slash));
}

RepairCounts RunRepair(const std::vector<RepairEntry>& entries, RegistryApi& registry,
                       FileSystem& fs, BackupFiles& files, RepairUi& ui,
                       const std::string& exeFolder, const RepairOptions& options) {
  const std::string backupPath = BackupPath(exeFolder);
  const int n = static_cast<int>(entries.size());
  ui.Begun(n);

  RepairCounts counts;
  try {
    // First pass: read every value exactly and decide what to do; nothing changes yet.
    DriveIndex index(fs, ui);
    std::vector<Planned> plan;
    std::vector<BackupEntry> backup;
    for (int i = 1; i <= n; ++i) {
      const RepairEntry& entry = entries[static_cast<size_t>(i - 1)];
      ui.ItemStarted(Format("Fixing item %d of %d", i, n));
      Planned step{RepairRootOf(entry.keyPath),
                   RepairSubKeyOf(entry.keyPath),
                   entry.valueName,
                   Action::kDelete,
                   {}};
      TRegistry reg(registry);
      reg.SetRootKey(step.root);
      BackupEntry old;
      old.keyPath = entry.keyPath;
      const Backed read = reg.OpenKey(step.subKey, false)
                              ? ReadForBackup(reg, entry.valueName, options.leadByte, &old)
                              : Backed::kGone;
      if (read == Backed::kInexact) ++counts.unchanged;
      if (read == Backed::kExact) {
        const std::string name = RepairSearchName(entry.dataText);
        if (!name.empty() && ui.SearchMovedFiles()) {
          const std::string drive = Copy(entry.dataText, 1, 2);
          step.foundPath = options.useDriveIndex ? index.Find(drive, name)
                                                 : FindFileOnDrive(fs, ui, drive, name, true);
        }
        if (!step.foundPath.empty()) {
          step.action = Contains(entry.dataText, "msme") ? Action::kKeep : Action::kWriteFound;
        }
        backup.push_back(std::move(old));
        plan.push_back(std::move(step));
      }
      ui.ItemDone(i);
    }

    // The backup reaches the disk whole before the first change.
    const std::string keptAs = KeepPreviousBackup(files, backupPath);
    try {
      files.WriteAtomically(backupPath, BackupText(backup, options.leadByte));
    } catch (...) {
      // Leave the earlier backup where Restore finds it.
      if (!keptAs.empty()) files.Rename(keptAs, backupPath);
      throw;
    }
    PruneOldBackups(files, backupPath);

    // Second pass: each value is read again just before it changes. One that another program
    // changed or removed since it was backed up is left alone: its backup would put back data
    // that is no longer there, so it also leaves the backup file.
    std::vector<bool> dropped(plan.size(), false);
    const auto dropStale = [&] {
      if (std::find(dropped.begin(), dropped.end(), true) == dropped.end()) return;
      std::vector<BackupEntry> kept;
      for (size_t k = 0; k < plan.size(); ++k) {
        if (!dropped[k]) kept.push_back(backup[k]);
      }
      files.WriteAtomically(backupPath, BackupText(kept, options.leadByte));
    };
    try {
      for (size_t k = 0; k < plan.size(); ++k) {
        const Planned& step = plan[k];
        if (step.action == Action::kKeep) {
          ++counts.fixed;
          continue;
        }
        TRegistry reg(registry);
        reg.SetRootKey(step.root);
        BackupEntry now;
        now.keyPath = backup[k].keyPath;
        if (!reg.OpenKey(step.subKey, false) ||
            ReadForBackup(reg, step.valueName, options.leadByte, &now) != Backed::kExact ||
            now.type != backup[k].type || now.data != backup[k].data) {
          dropped[k] = true;
          ++counts.unchanged;
          continue;
        }
        if (step.action == Action::kWriteFound) {
          ++counts.fixed;
          reg.WriteString(step.valueName, step.foundPath);
        } else {
          reg.DeleteValue(step.valueName);
        }
      }
    } catch (...) {
      // Entries not reached yet keep their lines: those bring back what is still there.
      dropStale();
      throw;
    }
    dropStale();
  } catch (...) {
    ui.Failed(files.Exists(backupPath));
    throw;
  }

  counts.cleaned = n - counts.fixed - counts.unchanged;
  RepairOutcome outcome;
  outcome.cleaned = Format("%d Registry Items Cleaned", counts.cleaned);
  if (counts.fixed > 0) outcome.fixed = Format("%d Registry Items Fixed", counts.fixed);
  if (counts.unchanged > 0) {
    outcome.unchanged = Format("%d Registry Items Left Unchanged", counts.unchanged);
  }
  outcome.backupExists = files.Exists(backupPath);
  ui.Finished(outcome);
  return counts;
}

}  // namespace calvorin
