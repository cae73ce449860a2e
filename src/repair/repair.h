// Repair: deletes or corrects the recorded invalid values after writing their exact old data to
// the backup file. The drive search (repair/drive_index.h) and the keeping of earlier backups
// (repair/backup_rotation.h) are its parts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/platform.h"
#include "registry/registry.h"
#include "repair/backup.h"
#include "repair/backup_rotation.h"
#include "repair/drive_index.h"
#include "repair/file_trust.h"
#include "repair/repair_ui.h"

namespace calvorin {

// One recorded row of the hit table (HitKeyPath, HitValueName, HitDataText), with the type the
// value had when the walk read it.
struct RepairEntry {
  std::string keyPath;
  std::string valueName;
  std::string dataText;
  std::uint32_t type = kRegSz;
  // The key path in the key's own letters, which the backup writes ("": keyPath).
  std::string namedKeyPath = {};
  // An entry that is not ticked is not opened, not searched for, not backed up and not changed.
  bool ticked = true;
  bool alwaysLeave = false;  // the user marked it "always leave unchanged" (so not ticked either)
};

// What a Repair run did to one entry.
enum class EntryOutcome {
  kNotReached,        // the run ended before it (failed or stopped)
  kCleaned,           // the value was deleted, or was already gone
  kFixed,             // the found path was written (EntryResult::written)
  kFoundKept,         // found, but left as it is by the "msme" rule; counted as fixed
  kUnticked,          // the user unticked it
  kAlwaysLeft,        // the user marked it "always leave unchanged"
  kChangedSinceScan,  // no longer what the list showed
  kRefused,           // Windows refused the change (access denied)
  kNotExact,          // could not be read or backed up exactly
  kKeyNotOpened,      // its key is there but could not be opened (for a reason besides access)
  kChangeFailed,      // the registry failed the change for a reason besides access
  kUntrustedFile,     // machine-wide, and its file found only where others could have placed it
  kHiveUnloaded,      // its hive (a user's, or one loaded below HKEY_LOCAL_MACHINE) was unloaded
};
struct EntryResult {
  EntryOutcome outcome = EntryOutcome::kNotReached;
  std::string written;  // the path written, for kFixed
  bool operator==(const EntryResult&) const = default;
};
// The words the results list, Copy, screen readers and the unattended report show, e.g.
// "Cleaned", "Fixed: C:\New\app.exe", "Left unchanged: unticked".
std::string EntryOutcomeText(const EntryResult& result);
// Whether the outcome counts as "left unchanged" (neither cleaned, fixed nor not reached).
bool LeftUnchanged(EntryOutcome outcome);

// The root chosen by the root words found in a key path (later words win; none: current user).
Hkey RepairRootOf(const std::string& keyPath);
// The key path after its first backslash; "" (the root itself) for a searched root's name alone,
// the whole path for any other text without a backslash.
std::string RepairSubKeyOf(const std::string& keyPath);

struct RepairOptions {
  bool useDriveIndex = true;        // one drive listing per run instead of a walk per entry
  LeadByteTest leadByte = nullptr;  // the ANSI code page the backup is written in
  std::string searchText = ":\\";   // the text the scan that recorded the entries searched for
  bool elevated = true;  // the program runs with all the rights an administrator can give it
  // Extra points a machine-wide value (MachineWideKey) only at a file this vouches for; nullptr:
  // at none.
  FileSecurity* fileSecurity = nullptr;
  std::string userSid{};  // the user's SID text, which names his own hives in HKEY_USERS
};

struct RepairCounts {
  int cleaned = 0;    // N minus F minus U: gone from the registry
  int fixed = 0;      // F
  int unchanged = 0;  // U: left as they are
  int refused = 0;    // of U, those the registry refused to change (access denied)
  // Left as they are because the user stopped the run before them (not in U).
  int notReached = 0;
  std::vector<EntryResult> entries;  // one per entry, in the entries' order
};

// Button3Click: backs up, then deletes or corrects the ticked rows of 1..N (the progress and
// "Fixing item %d of %d" count the ticked ones; the others are counted as left unchanged). The backup file (with the exact
// old data of every value that will change) is on disk before the first registry change; if it
// cannot be written nothing changes. A failure is reported (RepairUi::Failed) and propagates.
//
// A value is changed only while it is what the list showed: of the entry's type, with data the
// walk would show as the entry's data text. It is changed only when its lines in the backup
// bring back the very same key, name, type and bytes (BackupCanCarry,
// RegistryApi::CheckAnsiForm), and only when it still holds what was backed up at the moment it
// is changed. Otherwise, and when its key or the registry refuses the change, it is left as it
// is, kept out of the backup and counted as unchanged. A value already gone counts as cleaned.
// When the registry refused changes and the program runs without elevation, the outcome says
// that an administrator can make them.
//
// The backup file only ever names values that changed: a run that changes none writes, keeps and
// prunes no backup, and a backup that cannot be narrowed to them after the changes is removed
// (the earlier one put back) and the failure gives the changed values' old data.
//
// The run stops after the current entry when RepairUi::StopRequested says so (a drive search
// under way ends at its next folder). Stopped while it reads (first pass), nothing has changed
// and no backup is written: every entry counts as not reached. Stopped while it changes values
// (second pass), the backup holds exactly the values changed so far, and the entries after the
// stop count as not reached.
RepairCounts RunRepair(const std::vector<RepairEntry>& entries, RegistryApi& registry,
                       FileSystem& fs, BackupFiles& files, RepairUi& ui,
                       const std::string& exeFolder, const RepairOptions& options = {});

}  // namespace calvorin
