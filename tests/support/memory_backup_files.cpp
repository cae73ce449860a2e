#include "support/memory_backup_files.h"

#include "base/text.h"
#include "support/memory_file_system.h"

namespace calvorin::testing {

bool MemoryBackupFiles::Exists(const std::string& path) {
  return files.count(UpperAscii(path)) != 0;
}

void MemoryBackupFiles::Put(const std::string& path, const std::string& bytes,
                            std::uint64_t secondsFrom2026) {
  files[UpperAscii(path)] = {bytes, secondsFrom2026};
  names_[UpperAscii(path)] = path;
}

void MemoryBackupFiles::WriteAtomically(const std::string& path, const std::string& bytes) {
  if (failWrites) throw EFileError("Cannot create file \"" + path + ".tmp\". Access is denied");
  Put(path, bytes, clock++);
}

std::string MemoryBackupFiles::Stamp(std::uint64_t s) {
  // 2026 is not a leap year; the tests stay well inside it.
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  std::uint64_t day = s / 86400;
  int month = 0;
  while (month < 11 && day >= static_cast<std::uint64_t>(kDays[month])) day -= kDays[month++];
  const std::uint64_t rest = s % 86400;
  return Format("2026%02d%02d-%02d%02d%02d", month + 1, static_cast<int>(day) + 1,
                static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                static_cast<int>(rest % 60));
}

bool MemoryBackupFiles::LastWriteStamp(const std::string& path, std::string* stamp) {
  const auto it = files.find(UpperAscii(path));
  if (it == files.end()) return false;
  *stamp = Stamp(it->second.writeTime);
  return true;
}

bool MemoryBackupFiles::Rename(const std::string& from, const std::string& to) {
  if (failRenames || Exists(to) || !Exists(from)) return false;
  const File file = files[UpperAscii(from)];
  files.erase(UpperAscii(from));
  names_.erase(UpperAscii(from));
  files[UpperAscii(to)] = file;
  names_[UpperAscii(to)] = to;
  return true;
}

std::vector<StoredFile> MemoryBackupFiles::List(const std::string& folder,
                                                const std::string& mask) {
  std::vector<StoredFile> out;
  const std::string prefix = UpperAscii(folder);
  for (const auto& [key, file] : files) {
    if (key.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string name = names_[key].substr(folder.size());
    if (name.find('\\') != std::string::npos) continue;
    if (MemoryFileSystem::WildcardMatch(mask, name)) out.push_back({name, file.writeTime});
  }
  return out;
}

bool MemoryBackupFiles::Delete(const std::string& path) {
  names_.erase(UpperAscii(path));
  return files.erase(UpperAscii(path)) != 0;
}

const std::string* MemoryBackupFiles::Content(const std::string& path) const {
  const auto it = files.find(UpperAscii(path));
  return it == files.end() ? nullptr : &it->second.bytes;
}

std::vector<std::string> MemoryBackupFiles::Names(const std::string& folder) const {
  std::vector<std::string> out;
  for (const auto& [key, name] : names_) {
    if (key.compare(0, folder.size(), UpperAscii(folder)) == 0)
      out.push_back(name.substr(folder.size()));
  }
  return out;
}

}  // namespace calvorin::testing
