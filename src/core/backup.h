// The backup file "deletedkeys.reg": registry import format version 4, ANSI, CR LF.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/registry.h"

namespace calvorin {

// One value as it was in the registry just before Repair changed it.
struct BackupEntry {
  std::string keyPath;    // as the scan recorded it: root's full name, backslash, lower-case path
  std::string valueName;  // "" for the key's default value
  std::uint32_t type = 0;
  std::string data;  // the raw bytes
};

// The value line of one entry ("name"=... in the exact form the import recreates): the quoted
// string form for a plain terminated REG_SZ, dword: for a 4-byte REG_DWORD, hex:/hex(N): for
// everything else, wrapped like the registry editor's own export.
std::string BackupValueLine(const BackupEntry& entry);
// The whole file: "REGEDIT4", " ", key line and value line per entry, " ", CR LF after each line.
std::string BackupText(const std::vector<BackupEntry>& entries);

// Folder of the executable joined with "deletedkeys.reg".
std::string BackupPath(const std::string& exeFolder);

// A name or string as the import format reads it between double quotes.
std::string EscapeRegText(const std::string& text);

// Reads the exact type and bytes of `valueName` in the key `reg` has open into `entry`
// (keyPath is left as it is). False when the value cannot be read (gone, or no key open).
bool ReadBackupValue(TRegistry& reg, const std::string& valueName, BackupEntry* entry);

}  // namespace calvorin
