// Repair: deletes or corrects the recorded invalid values after writing their exact old data to
// the backup file, and the search of a drive for a file that has moved.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/platform.h"
#include "registry/registry.h"
#include "repair/backup.h"

namespace calvorin {

// One recorded row of the hit table (HitKeyPath, HitValueName, HitDataText).
struct RepairEntry {
  std::string keyPath;
  std::string valueName;
  std::string dataText;
};

// The controls of the scan page that a run drives.
class RepairUi {
 public:
  virtual ~RepairUi() = default;
  virtual void SetLabel1(const std::string& text) = 0;
  virtual void SetLabel2(const std::string& text) = 0;
  virtual void SetLabel3(const std::string& text) = 0;
  virtual void SetProgressRange(int min, int max) = 0;  // pb1
  virtual void SetProgressPosition(int position) = 0;
  virtual void SetProgressVisible(bool visible) = 0;
  virtual void SetEditText(const std::string& text) = 0;  // Edit1
  virtual void SetEditVisible(bool visible) = 0;
  virtual bool ExtraChecked() = 0;  // CheckBox1, read afresh for every entry
  // Repaints the main window at once, then handles pending window messages.
  virtual void RepaintAndProcessMessages() = 0;
  virtual void ProcessMessages() = 0;
  virtual void SetWaitCursor(bool wait) = 0;  // hourglass or the default cursor
  virtual void EnableRestore() = 0;           // Button4
  virtual void HideRepair() = 0;              // Button3
};

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
};

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

// The root chosen by the root words found in a key path (later words win; none: current user).
Hkey RepairRootOf(const std::string& keyPath);
// The key path after its first backslash (the whole path when there is none).
std::string RepairSubKeyOf(const std::string& keyPath);
// The name to search the drive for: the data text after the last backslash before its first
// ".", to its end. Empty when the text has no "." or no backslash before it, or when the name
// is a DOS device's (nothing to search).
std::string RepairSearchName(const std::string& dataText);
// "con.log", "NUL.txt", "com1.exe"...: a last path component that Windows takes for a device
// whatever the folder and extension. No file of that name can be found: a directory lookup
// answers with the device itself (Wine does in every folder), a listing never shows it.
bool IsDosDeviceName(const std::string& path);

// The drive search as the user sees it: shows "Searching for %s %s" and keeps the window alive
// at every folder visited; files-only lookup of Dir\FileName first, then the non-hidden,
// non-system entries without a "." in file-system order, depth first. FoundPath is the
// composed text, "" when nothing was found.
std::string FindFileOnDrive(FileSystem& fs, RepairUi& ui, const std::string& dir,
                            const std::string& fileName, bool recurse);

// The same answers as FindFileOnDrive, from one listing of each drive searched in the run:
// the first listing walks the folders FindFileOnDrive would visit, in its order, and records
// for every file name the first folder that holds it. Names the index cannot answer exactly
// (wildcards, relative paths, non-ASCII, short-name aliases, trailing dots or spaces) are
// searched the slow way.
class DriveIndex {
 public:
  DriveIndex(FileSystem& fs, RepairUi& ui);
  std::string Find(const std::string& dir, const std::string& fileName);
  static bool CanIndex(const std::string& fileName);

 private:
  struct Drive {
    std::vector<std::string> folders;             // relative paths ("" for the root, "a\b\")
    // Upper-case file name -> index of the first folder (in walk order) that holds it.
    std::unordered_map<std::string, size_t> firstFolderOf;
  };
  Drive& Listing(const std::string& dir, const std::string& fileName);

  FileSystem& fs_;
  RepairUi& ui_;
  std::map<std::string, std::unique_ptr<Drive>> drives_;  // by dir text, upper case
};

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
// cannot be written nothing changes. Errors propagate after the controls are put back.
//
// A value is changed only when its lines in the backup bring back the very same key, name,
// type and bytes (BackupCanCarry, RegistryApi::CheckAnsiForm), and only when it still holds
// what was backed up at the moment it is changed; otherwise it is left as it is, kept out of
// the backup and counted as unchanged.
RepairCounts RunRepair(const std::vector<RepairEntry>& entries, RegistryApi& registry,
                       FileSystem& fs, BackupFiles& files, RepairUi& ui,
                       const std::string& exeFolder, const RepairOptions& options = {});

}  // namespace calvorin
