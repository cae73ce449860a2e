// The Repair runs Restore can bring back: the latest backup and the earlier ones kept beside it,
// newest first, each with the number of values it holds.
#pragma once

#include <string>
#include <vector>

#include "repair/backup_rotation.h"

namespace calvorin {

struct KeptRun {
  std::string path;
  std::string stamp;  // "YYYYMMDD-HHMMSS", local time of the run's backup
  int values = 0;
};

// The values in a backup file's text: its value lines, not its lines (a long value's hex form
// goes on over lines that end with a backslash).
int CountBackupValues(const std::string& text);

// "2026-12-08 17:45:03" for "20261208-174503"; the stamp as it is when it is not of that form.
std::string StampText(const std::string& stamp);

// deletedkeys.reg (when it exists) and the kept backups beside it, newest first. A file that
// cannot be read counts no values.
std::vector<KeptRun> ListKeptRuns(BackupFiles& files, const std::string& folder);

}  // namespace calvorin
