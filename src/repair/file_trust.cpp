#include "repair/file_trust.h"

#include "base/text.h"

namespace calvorin {
namespace {

// The generic rights as a file or folder maps them.
constexpr std::uint32_t kFileGenericRead = 0x120089;
constexpr std::uint32_t kFileGenericWrite = 0x120116;
constexpr std::uint32_t kFileGenericExecute = 0x1200A0;
constexpr std::uint32_t kFileAllAccess = 0x1F01FF;
// Not meant for access entries; one that holds it is read as granting everything.
constexpr std::uint32_t kMaximumAllowed = 0x02000000;

constexpr std::uint32_t kResecure = kRightDelete | kRightWriteDac | kRightWriteOwner;
// The file itself: its bytes replaced or added to, the file removed (and another put in its
// place), its access list or owner changed.
constexpr std::uint32_t kFileForbidden = kFileWriteData | kFileAppendData | kResecure;
// Every folder of the path: removed or renamed (with a copy of the tree put in its place), or
// re-secured; through its delete-child right, the folder or file below it on the path likewise.
constexpr std::uint32_t kFolderForbidden = kResecure | kFileDeleteChild;
// The file's own folder besides: a file added beside it (a library the program loads first).
constexpr std::uint32_t kParentForbidden = kFolderForbidden | kFileWriteData;

std::uint32_t MapGeneric(std::uint32_t mask) {
  std::uint32_t mapped = mask & 0x00FFFFFF;
  if (mask & (kGenericAll | kMaximumAllowed)) mapped |= kFileAllAccess;
  if (mask & kGenericRead) mapped |= kFileGenericRead;
  if (mask & kGenericWrite) mapped |= kFileGenericWrite;
  if (mask & kGenericExecute) mapped |= kFileGenericExecute;
  return mapped;
}

bool Passes(FileSecurity& security, const std::string& path, std::uint32_t forbidden) {
  const auto read = security.Read(path);
  return read && read->owner == Trustee::kTrusted && (UntrustedRights(*read) & forbidden) == 0;
}

}  // namespace

std::uint32_t UntrustedRights(const ObjectSecurity& security) {
  if (security.nullDacl) return kFileAllAccess;
  std::uint32_t rights = 0;
  for (const AccessEntry& entry : security.entries) {
    if (entry.allow && !entry.inheritOnly && entry.trustee == Trustee::kOther) {
      rights |= MapGeneric(entry.mask);
    }
  }
  return rights;
}

bool OnlyAdministratorsCouldPlace(FileSecurity& security, const std::string& filePath) {
  const LeadByteTest leadByte = CurrentLeadByteTest();
  // The lookup took "/" for a separator as well.
  std::string path = filePath;
  for (std::size_t i = 0; i < path.size(); i += CharSize(path, i, leadByte)) {
    if (path[i] == '/') path[i] = '\\';
  }
  if (path.size() < 4 || path[1] != ':' || path[2] != '\\') return false;
  if (!Passes(security, path, kFileForbidden)) return false;
  std::uint32_t forbidden = kParentForbidden;
  // Every folder up to the root, which keeps its backslash ("C:\").
  for (std::size_t cut = LastBackslash(path, leadByte); cut != std::string::npos && cut >= 2;
       cut = cut == 2 ? std::string::npos : LastBackslash(path, leadByte)) {
    path.resize(cut == 2 ? 3 : cut);
    if (!Passes(security, path, forbidden)) return false;
    forbidden = kFolderForbidden;
  }
  return true;
}

bool MachineWideKey(Hkey root, const std::string& subKey, const std::string& userSid) {
  if (root == kHkeyCurrentUser) return false;
  if (root != kHkeyUsers || userSid.empty()) return true;
  const std::string hive = UpperAscii(subKey.substr(0, subKey.find('\\')));
  const std::string sid = UpperAscii(userSid);
  return hive != sid && hive != sid + "_CLASSES";
}

FoundFileTest TrustedFileTest(Hkey root, const std::string& subKey, const std::string& userSid,
                              FileSecurity* security, bool* passedOver) {
  if (!MachineWideKey(root, subKey, userSid)) return {};
  return [security, passedOver](const std::string& path) {
    if (security && OnlyAdministratorsCouldPlace(*security, path)) return true;
    *passedOver = true;
    return false;
  };
}

}  // namespace calvorin
