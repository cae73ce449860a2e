// Where the backup lies, and the earlier backups kept beside it: each run that changes a value
// renames the previous backup by its write time and deletes all but the most recent few.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/platform.h"

namespace calvorin {

// A backup file kept from an earlier run.
struct StoredFile {
  std::string name;             // name only, no folder
  std::uint64_t writeTime = 0;  // last write, 100-ns ticks since 1601 (UTC)
};

// The file operations of the backup beyond FileSystem. Failures of writes throw EFileError.
class BackupFiles {
 public:
  virtual ~BackupFiles() = default;
  virtual bool Exists(const std::string& path) = 0;
  // Writes the bytes to a temporary file beside `path`, then puts it in place of `path` in one
  // step: afterwards `path` holds either its old contents or all of the new ones.
  virtual void WriteAtomically(const std::string& path, const std::string& bytes) = 0;
  // Local date and time of the file's last write as "YYYYMMDD-HHMMSS"; false when missing.
  virtual bool LastWriteStamp(const std::string& path, std::string* stamp) = 0;
  // Renames a file; fails (false) when `to` exists.
  virtual bool Rename(const std::string& from, const std::string& to) = 0;
  // Files in `folder` whose names match the wildcard `mask`.
  virtual std::vector<StoredFile> List(const std::string& folder, const std::string& mask) = 0;
  virtual bool Delete(const std::string& path) = 0;
  // The file's bytes, or nothing when it cannot be read.
  virtual std::optional<std::string> Read(const std::string& path) {
    (void)path;
    return std::nullopt;
  }
};

// `folder` joined with "deletedkeys.reg": where Repair writes the backup and Restore reads it.
std::string BackupPath(const std::string& folder);
// The Restore button's rule: enabled while a file, not a folder, is at BackupPath(folder).
bool CanRestore(BackupFiles& files, const std::string& folder);

// What came of handing the backup to the registry import.
struct RestoreStart {
  enum Kind { kStarted, kRefused, kEditorFailed };
  Kind kind = kStarted;
  std::string reason;  // kEditorFailed: the system's reason
};
// The text Restore shows when the import did not start ("" when it did): a missing file and the
// shell's refusal keep their words; a registry editor that could not be started is named so,
// with the system's reason.
std::string RestoreFailureText(const RestoreStart& start);

// How many earlier backups are kept beside deletedkeys.reg.
constexpr size_t kKeptBackups = 10;

// Renames an existing backup at `backupPath` to "deletedkeys-YYYYMMDD-HHMMSS.reg" beside it (its
// last write time; "-2", "-3"... added when that name is taken) and returns that path ("" when
// there was no backup). Throws EFileError when the old backup cannot be kept.
std::string KeepPreviousBackup(BackupFiles& files, const std::string& backupPath);
// Whether `name` is one KeepPreviousBackup gives: "deletedkeys-YYYYMMDD-HHMMSS[-n].reg".
bool IsKeptBackupName(const std::string& name);
// Deletes all but the kKeptBackups most recent kept backups beside `backupPath`; other files,
// a user's own "deletedkeys-before-cleanup.reg" among them, are never touched.
void PruneOldBackups(BackupFiles& files, const std::string& backupPath);

}  // namespace calvorin
