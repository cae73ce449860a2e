// Whether a file found on the drive may be written into a value that other accounts' programs
// run (a service's image, a machine-wide Run entry): only when, by the security of the file and
// of every folder on its path, nobody but SYSTEM, Administrators and TrustedInstaller can have
// put it there or can swap it. A user may drop a file of the sought name anywhere the drive lets
// him, and the search takes the first one it meets.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "registry/registry.h"
#include "repair/drive_index.h"

namespace calvorin {

// Access rights of files and folders (the folder's meaning of a bit after the slash).
constexpr std::uint32_t kFileWriteData = 0x2;     // / add a file
constexpr std::uint32_t kFileAppendData = 0x4;    // / add a subfolder
constexpr std::uint32_t kFileDeleteChild = 0x40;  // folders only
constexpr std::uint32_t kRightDelete = 0x10000;
constexpr std::uint32_t kRightWriteDac = 0x40000;
constexpr std::uint32_t kRightWriteOwner = 0x80000;
constexpr std::uint32_t kGenericAll = 0x10000000;
constexpr std::uint32_t kGenericExecute = 0x20000000;
constexpr std::uint32_t kGenericWrite = 0x40000000;
constexpr std::uint32_t kGenericRead = 0x80000000;

// Whom an owner or an access entry names, as far as the rule cares.
enum class Trustee : std::uint8_t {
  kTrusted,  // SYSTEM, Administrators, TrustedInstaller
  kOwner,    // CREATOR OWNER, OWNER RIGHTS: the object's owner, which must be trusted anyway
  kOther,    // everybody else, and every identifier not known to be one of the above
};

struct AccessEntry {
  bool allow = true;  // false: a deny entry
  Trustee trustee = Trustee::kOther;
  std::uint32_t mask = 0;
  bool inheritOnly = false;  // applies to objects made later below a folder, not to the folder
};

// The owner and access list of one file or folder.
struct ObjectSecurity {
  Trustee owner = Trustee::kOther;
  bool nullDacl = false;  // no access list at all: everybody may do everything
  std::vector<AccessEntry> entries;
};

class FileSecurity {
 public:
  virtual ~FileSecurity() = default;
  // The owner and access list of the file or folder at `path` ("C:\" for a drive's root);
  // nullopt when they cannot be read.
  virtual std::optional<ObjectSecurity> Read(const std::string& path) = 0;
};

// The file rights (generic rights mapped) that somebody but the trusted accounts may be given on
// the object: the union of every allow entry that applies to the object itself and names an
// untrusted trustee. Deny entries are not weighed: which of them wins depends on the order and
// on the groups of an account no one can list here, so none of them is taken to protect.
std::uint32_t UntrustedRights(const ObjectSecurity& security);

// True when `filePath` ("X:\folder\...\name") and every folder up to the drive's root are owned
// by a trusted account and nobody else may write, append to, delete or re-secure the file, add
// a file to or delete a child of its folder, or delete, rename or re-secure a folder of the path.
// Being allowed to make new folders beside the path (as in the root of C:) does not count.
bool OnlyAdministratorsCouldPlace(FileSecurity& security, const std::string& filePath);

// Whether a value of this root and subkey (as Repair opens it) is read by programs of other
// accounts: every root but HKEY_CURRENT_USER and the user's own hives in HKEY_USERS
// (<userSid> and <userSid>_Classes; the SID text "S-1-5-21-...", "" when unknown).
bool MachineWideKey(Hkey root, const std::string& subKey, const std::string& userSid);

// The test Repair's drive search puts the files it meets for a value to: none for the user's own
// values; OnlyAdministratorsCouldPlace for a machine-wide one (no file passes without `security`).
// Sets *passedOver when it refuses a file.
FoundFileTest TrustedFileTest(Hkey root, const std::string& subKey, const std::string& userSid,
                              FileSecurity* security, bool* passedOver);

}  // namespace calvorin
