// BackupFiles in memory for the core tests: files with contents and write times, a clock that
// ticks once per write, and switches that make writes or renames fail.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "repair/repair.h"

namespace calvorin::testing {

class MemoryBackupFiles : public BackupFiles {
 public:
  struct File {
    std::string bytes;
    std::uint64_t writeTime = 0;
    bool operator==(const File&) const = default;
  };

  bool Exists(const std::string& path) override;
  void WriteAtomically(const std::string& path, const std::string& bytes) override;
  bool LastWriteStamp(const std::string& path, std::string* stamp) override;
  bool Rename(const std::string& from, const std::string& to) override;
  std::vector<StoredFile> List(const std::string& folder, const std::string& mask) override;
  bool Delete(const std::string& path) override;
  std::optional<std::string> Read(const std::string& path) override {
    const std::string* bytes = Content(path);
    return bytes ? std::optional<std::string>(*bytes) : std::nullopt;
  }

  // Seconds since 2026-01-01 00:00:00 of the next write; every write advances it by one second.
  std::uint64_t clock = 0;
  bool failWrites = false;
  bool failRenames = false;
  std::map<std::string, File> files;  // by upper-case path

  const std::string* Content(const std::string& path) const;
  void Put(const std::string& path, const std::string& bytes, std::uint64_t secondsFrom2026);
  std::vector<std::string> Names(const std::string& folder) const;  // sorted, original case
  static std::string Stamp(std::uint64_t secondsFrom2026);          // "YYYYMMDD-HHMMSS"

 private:
  std::map<std::string, std::string> names_;  // upper-case path -> path as written
};

}  // namespace calvorin::testing
