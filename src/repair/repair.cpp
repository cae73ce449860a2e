#include "repair/repair.h"

#include <algorithm>
#include <string_view>

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

constexpr const char* kOldBackupPrefix = "deletedkeys-";
constexpr const char* kOldBackupMask = "deletedkeys-*.reg";

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string WithBackslash(const std::string& dir) {
  if (!dir.empty() && dir.back() == '\\') return dir;
  return dir + "\\";
}

// The entries of a "*.*" listing made with only the folder attribute: folders and ordinary
// files pass, hidden and system entries are left out.
bool ListedWithFolderMask(const FindEntry& entry) {
  return (entry.attributes & (kFileAttributeHidden | kFileAttributeSystem)) == 0;
}

// A lookup whose mask admits everything but folders.
bool HasFileMatch(FileSystem& fs, const std::string& pattern) {
  for (const auto& entry : fs.Find(pattern)) {
    if (!entry.IsFolder()) return true;
  }
  return false;
}

bool SearchFolder(FileSystem& fs, RepairUi& ui, const std::string& dir, const std::string& fileName,
                  bool recurse, std::string* foundPath) {
  ui.SetEditText("Searching for " + fileName + " " + dir);
  ui.RepaintAndProcessMessages();
  const std::string d = WithBackslash(dir);
  if (HasFileMatch(fs, d + fileName)) {
    *foundPath = d + fileName;
    return true;
  }
  if (!recurse) return false;
  for (const auto& entry : fs.Find(d + "*.*")) {
    if (!ListedWithFolderMask(entry) || Contains(entry.name, ".")) continue;
    if (SearchFolder(fs, ui, d + entry.name, fileName, true, foundPath)) return true;
  }
  return false;
}

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

std::string RepairSearchName(const std::string& dataText) {
  const int dot = Pos(".", dataText);
  if (dot == 0) return {};
  int b = dot;
  while (b > 0 && dataText[static_cast<size_t>(b - 1)] != '\\') --b;
  // No backslash before the first ".": there is no folder to append a name to, so the value
  // is removed without a search (a drive-relative "C:name.ext" names nothing from the root).
  if (b == 0) return {};
  std::string name = dataText.substr(static_cast<size_t>(b));
  if (IsDosDeviceName(name)) return {};
  return name;
}

bool IsDosDeviceName(const std::string& path) {
  const auto slash = path.find_last_of("\\/");
  std::string base = UpperAscii(slash == std::string::npos ? path : path.substr(slash + 1));
  // The device name is what stands before the first dot or colon, less trailing spaces.
  base = base.substr(0, base.find_first_of(".:"));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
         base[3] >= '1' && base[3] <= '9';
}

std::string FindFileOnDrive(FileSystem& fs, RepairUi& ui, const std::string& dir,
                            const std::string& fileName, bool recurse) {
  std::string found;
  SearchFolder(fs, ui, dir, fileName, recurse, &found);
  return found;
}

DriveIndex::DriveIndex(FileSystem& fs, RepairUi& ui) : fs_(fs), ui_(ui) {}

bool DriveIndex::CanIndex(const std::string& fileName) {
  if (fileName.empty() || fileName.back() == '.' || fileName.back() == ' ') return false;
  for (char c : fileName) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x80 || c == '\\' || c == '/' || c == '*' || c == '?' || c == '~' || c == ':' ||
        c == '<' || c == '>' || c == '"') {
      return false;
    }
  }
  return true;
}

DriveIndex::Drive& DriveIndex::Listing(const std::string& dir, const std::string& fileName) {
  auto& slot = drives_[UpperAscii(dir)];
  if (slot) return *slot;
  slot = std::make_unique<Drive>();
  Drive& drive = *slot;
  const std::string d = WithBackslash(dir);
  // Depth first in listing order, exactly the folders the walk of FindFileOnDrive visits.
  struct Frame {
    std::string rel;
  };
  std::vector<Frame> stack{{""}};
  size_t visited = 0;
  while (!stack.empty()) {
    Frame frame = std::move(stack.back());
    stack.pop_back();
    const size_t index = drive.folders.size();
    drive.folders.push_back(frame.rel);
    // The same text the walk shows, but a repaint only now and then: the listing is the
    // long part, the window only has to stay alive.
    if (++visited % 64 == 0) {
      const std::string shown =
          frame.rel.empty() ? dir : d + frame.rel.substr(0, frame.rel.size() - 1);
      ui_.SetEditText("Searching for " + fileName + " " + shown);
      ui_.RepaintAndProcessMessages();
    } else {
      ui_.ProcessMessages();
    }
    std::vector<std::string> children;
    for (auto& entry : fs_.Find(d + frame.rel + "*.*")) {
      if (!entry.IsFolder()) {
        // The listing's own copy of the name becomes the key: one string per file, no copy.
        std::string key = std::move(entry.name);
        for (char& c : key) c = UpperAscii(c);
        drive.firstFolderOf.try_emplace(std::move(key), index);
      } else if (ListedWithFolderMask(entry) && !Contains(entry.name, ".")) {
        children.push_back(frame.rel + entry.name + "\\");
      }
    }
    for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back({*it});
  }
  return drive;
}

std::string DriveIndex::Find(const std::string& dir, const std::string& fileName) {
  if (!CanIndex(fileName)) return FindFileOnDrive(fs_, ui_, dir, fileName, true);
  ui_.SetEditText("Searching for " + fileName + " " + dir);
  ui_.RepaintAndProcessMessages();
  const Drive& drive = Listing(dir, fileName);
  const auto hit = drive.firstFolderOf.find(UpperAscii(fileName));
  if (hit == drive.firstFolderOf.end()) return {};
  return WithBackslash(dir) + drive.folders[hit->second] + fileName;
}

std::string KeepPreviousBackup(BackupFiles& files, const std::string& backupPath) {
  const std::string folder = FolderOf(backupPath);
  std::string stamp;
  std::string keptAs;
  if (files.Exists(backupPath) && files.LastWriteStamp(backupPath, &stamp)) {
    std::string target;
    bool kept = false;
    for (int n = 1; n <= 100 && !kept; ++n) {
      target = folder + kOldBackupPrefix + stamp + (n == 1 ? "" : Format("-%d", n)) + ".reg";
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
  const std::string_view prefix = kOldBackupPrefix;
  const std::string_view text = name;
  if (text.size() < prefix.size() + 15 + 4 || text.substr(0, prefix.size()) != prefix ||
      text.substr(text.size() - 4) != ".reg") {
    return false;
  }
  const std::string_view stamp = text.substr(prefix.size(), text.size() - prefix.size() - 4);
  if (!AllDigits(stamp.substr(0, 8)) || stamp[8] != '-' || !AllDigits(stamp.substr(9, 6))) {
    return false;
  }
  const std::string_view rest = stamp.substr(15);
  return rest.empty() || (rest[0] == '-' && AllDigits(rest.substr(1)));
}

void PruneOldBackups(BackupFiles& files, const std::string& backupPath) {
  const std::string folder = FolderOf(backupPath);
  auto old = files.List(folder, kOldBackupMask);
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

RepairCounts RunRepair(const std::vector<RepairEntry>& entries, RegistryApi& registry,
                       FileSystem& fs, BackupFiles& files, RepairUi& ui,
                       const std::string& exeFolder, const RepairOptions& options) {
  ui.SetWaitCursor(true);
  const std::string backupPath = BackupPath(exeFolder);
  const int n = static_cast<int>(entries.size());
  ui.SetProgressVisible(true);
  ui.SetEditVisible(true);
  ui.SetProgressRange(0, n);
  ui.SetProgressPosition(0);

  const auto restoreControls = [&] {
    ui.SetProgressVisible(false);
    ui.SetEditVisible(false);
    if (files.Exists(backupPath)) ui.EnableRestore();
    ui.SetLabel3("");
    ui.SetWaitCursor(false);
  };

  RepairCounts counts;
  try {
    // First pass: read every value exactly and decide what to do; nothing changes yet.
    DriveIndex index(fs, ui);
    std::vector<Planned> plan;
    std::vector<BackupEntry> backup;
    for (int i = 1; i <= n; ++i) {
      const RepairEntry& entry = entries[static_cast<size_t>(i - 1)];
      ui.SetLabel3(Format("Fixing item %d of %d", i, n));
      ui.RepaintAndProcessMessages();
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
        if (!name.empty() && ui.ExtraChecked()) {
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
      ui.SetProgressPosition(i);
      ui.ProcessMessages();
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
    restoreControls();
    throw;
  }

  counts.cleaned = n - counts.fixed - counts.unchanged;
  ui.SetLabel1(Format("%d Registry Items Cleaned", counts.cleaned));
  if (counts.fixed > 0) ui.SetLabel2(Format("%d Registry Items Fixed", counts.fixed));
  restoreControls();
  if (counts.unchanged > 0) {
    ui.SetLabel3(Format("%d Registry Items Left Unchanged", counts.unchanged));
  }
  ui.HideRepair();
  return counts;
}

}  // namespace calvorin
