// The backup file "deletedkeys.reg": registry import format version 4, ANSI, CR LF.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace calvorin {

// One value as it was in the registry just before Repair changed it.
struct BackupEntry {
  std::string keyPath;    // as the scan recorded it: root's full name, backslash, lower-case path
  std::string valueName;  // "" for the key's default value
  std::uint32_t type = 0;
  std::string data;       // the raw bytes
};

// The value line of one entry ("name"=... in the exact form the import recreates).
std::string BackupValueLine(const BackupEntry& entry);
// The whole file: "REGEDIT4", " ", key line and value line per entry, " ", CR LF after each line.
std::string BackupText(const std::vector<BackupEntry>& entries);

// Folder of the executable joined with "deletedkeys.reg".
std::string BackupPath(const std::string& exeFolder);

}  // namespace calvorin
