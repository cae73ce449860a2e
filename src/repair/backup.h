// The backup file "deletedkeys.reg": registry import format version 4, ANSI, CR LF.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/text.h"
#include "registry/registry.h"

namespace calvorin {

// One value as it was in the registry just before Repair changed it.
struct BackupEntry {
  std::string keyPath;    // the root's full name, then the key's path in its own letters
  std::string valueName;  // "" for the key's default value
  std::uint32_t type = 0;
  std::string data;  // the raw bytes
};

// The value line of one entry ("name"=... in the exact form the import recreates): the quoted
// string form for a plain terminated REG_SZ, dword: for a 4-byte REG_DWORD, hex:/hex(N): for
// everything else, wrapped like the registry editor's own export. `leadByte` is the code page the
// file is written in (the import reads it as characters, so a second byte 0x5C is no backslash).
std::string BackupValueLine(const BackupEntry& entry, LeadByteTest leadByte = nullptr);
// The whole file: "REGEDIT4", " ", key line and value line per entry, " ", CR LF after each line.
std::string BackupText(const std::vector<BackupEntry>& entries, LeadByteTest leadByte = nullptr);

// Whether the entry's two lines bring back exactly its key, name, type and bytes through the
// import. The typed forms carry any bytes, but the key line and the quoted name have no escape
// for line breaks or other control characters (a name holding CR LF would split into lines of
// its own choosing), a text ending inside a two-byte character swallows the closing
// bracket or quote, and string data without its terminator comes back with one from Wine's
// import. Whether the bytes themselves are what the registry stores is the
// registry's question (RegistryApi::CheckAnsiForm).
bool BackupCanCarry(const BackupEntry& entry, LeadByteTest leadByte = nullptr);

// A name or string as the import format reads it between double quotes: each backslash and
// double quote character gets a backslash in front (never a second byte of a character).
std::string EscapeRegText(const std::string& text, LeadByteTest leadByte = nullptr);

// Reads the exact type and bytes of `valueName` in the key `reg` has open into `entry`
// (keyPath is left as it is). The registry's code: kErrorSuccess, kErrorNoUnicodeTranslation
// for data without an exact ANSI form, any other code when the value cannot be read (gone, or
// no key open).
long ReadBackupValue(TRegistry& reg, const std::string& valueName, BackupEntry* entry);

}  // namespace calvorin
