// Repair: deletes or corrects the recorded invalid values after writing their exact old data to
// the backup file. The drive search (repair/drive_index.h) and the keeping of earlier backups
// (repair/backup_rotation.h) are its parts.
#pragma once

#include <string>
#include <vector>

#include "base/platform.h"
#include "registry/registry.h"
#include "repair/backup.h"
#include "repair/backup_rotation.h"
#include "repair/drive_index.h"
#include "repair/repair_ui.h"

namespace calvorin {

// One recorded row of the hit table (HitKeyPath, HitValueName, HitDataText).
struct RepairEntry {
  std::string keyPath;
  std::string valueName;
  std::string dataText;
};

// The root chosen by the root words found in a key path (later words win; none: current user).
Hkey RepairRootOf(const std::string& keyPath);
// The key path after its first backslash (the whole path when there is none).
std::string RepairSubKeyOf(const std::string& keyPath);

struct RepairOptions {
  bool useDriveIndex = true;        // one drive listing per run instead of a walk per entry
  LeadByteTest leadByte = nullptr;  // the ANSI code page the backup is written in
};

struct RepairCounts {
  int cleaned = 0;    // N minus F minus U
  int fixed = 0;      // F
  int unchanged = 0;  // U: left alone because the backup could not bring them back exactly
};

// Button3Click: backs up, then deletes or corrects rows 1..N. The backup file (with the exact
// old data of every value that will change) is on disk before the first registry change; if it
// cannot be written nothing changes. A failure is reported (RepairUi::Failed) and propagates.
//
// A value is changed only when its lines in the backup bring back the very same key, name,
// type and bytes (BackupCanCarry, RegistryApi::CheckAnsiForm), and only when it still holds
// what was backed up at the moment it is changed; otherwise it is left as it is, kept out of
// the backup and counted as unchanged.
RepairCounts RunRepair(const std::vector<RepairEntry>& entries, RegistryApi& registry,
                       FileSystem& fs, BackupFiles& files, RepairUi& ui,
                       const std::string& exeFolder, const RepairOptions& options = {});

}  // namespace calvorin
