#include "repair/backup_rotation.h"

#include <algorithm>
#include <string_view>

#include "base/text.h"

namespace calvorin {
namespace {

// "deletedkeys.reg", and "deletedkeys-<stamp>.reg" for the earlier ones.
constexpr std::string_view kBackupStem = "deletedkeys";
constexpr std::string_view kBackupExtension = ".reg";

std::string KeptPrefix() { return std::string(kBackupStem) + "-"; }

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// The folder with its last backslash; a two-byte character's second byte 5C is none.
std::string FolderOf(const std::string& path) {
  const auto slash = LastBackslash(path, CurrentLeadByteTest());
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

std::string BackupPath(const std::string& folder) {
  return JoinPath(folder, kBackupStem).append(kBackupExtension);
}

bool CanRestore(BackupFiles& files, const std::string& folder) {
  return files.Exists(BackupPath(folder));
}

std::string RestoreFailureText(const RestoreStart& start) {
  switch (start.kind) {
    case RestoreStart::kStarted:
      return {};
    case RestoreStart::kRefused:
      return " RESTORE FILE NOT FOUND - NO REPAIR DONE TILL NOW";
    case RestoreStart::kEditorFailed:
      break;
  }
  return "The registry editor could not be started: " + start.reason;
}

std::string KeepPreviousBackup(BackupFiles& files, const std::string& backupPath) {
  const std::string folder = FolderOf(backupPath);
  std::string stamp;
  std::string keptAs;
  if (files.Exists(backupPath) && files.LastWriteStamp(backupPath, &stamp)) {
    std::string target;
    bool kept = false;
    for (int n = 1; n <= 100 && !kept; ++n) {
      target = folder + KeptPrefix() + stamp + (n == 1 ? "" : Format("-%d", n));
      target += kBackupExtension;
      if (files.Exists(target)) continue;
      kept = files.Rename(backupPath, target);
    }
    if (!kept) {
      throw EFileError(
          Format("Cannot keep the earlier backup %s as %s", backupPath.c_str(), target.c_str()));
    }
    keptAs = target;
  }
  return keptAs;
}

bool IsKeptBackupName(const std::string& name) {
  // "deletedkeys-" YYYYMMDD "-" HHMMSS, then "-n" or nothing, then ".reg".
  const std::string prefix = KeptPrefix();
  const std::string_view text = name;
  const std::size_t tail = kBackupExtension.size();
  if (text.size() < prefix.size() + 15 + tail || text.substr(0, prefix.size()) != prefix ||
      text.substr(text.size() - tail) != kBackupExtension) {
    return false;
  }
  const std::string_view stamp = text.substr(prefix.size(), text.size() - prefix.size() - tail);
  if (!AllDigits(stamp.substr(0, 8)) || stamp[8] != '-' || !AllDigits(stamp.substr(9, 6))) {
    return false;
  }
  const std::string_view rest = stamp.substr(15);
  return rest.empty() || (rest[0] == '-' && AllDigits(rest.substr(1)));
}

void PruneOldBackups(BackupFiles& files, const std::string& backupPath) {
  const std::string folder = FolderOf(backupPath);
  auto old = files.List(folder, KeptPrefix() + "*" + std::string(kBackupExtension));
  old.erase(std::remove_if(old.begin(), old.end(),
                           [](const StoredFile& f) { return !IsKeptBackupName(f.name); }),
            old.end());
  if (old.size() <= kKeptBackups) return;
  std::sort(old.begin(), old.end(), [](const StoredFile& a, const StoredFile& b) {
    if (a.writeTime != b.writeTime) return a.writeTime > b.writeTime;
    return a.name > b.name;
  });
  for (size_t i = kKeptBackups; i < old.size(); ++i) files.Delete(folder + old[i].name);
}

}  // namespace calvorin
