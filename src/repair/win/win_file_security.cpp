#include "repair/win/win_file_security.h"

#include <windows.h>
// sddl.h needs windows.h first.
#include <sddl.h>

#include <cstring>
#include <vector>

#include "base/win/unique_handle.h"
#include "base/win/wow64.h"

namespace calvorin::win32 {
namespace {

Trustee Classify(PSID sid) {
  char* text = nullptr;
  if (!sid || !::IsValidSid(sid) || !::ConvertSidToStringSidA(sid, &text)) return Trustee::kOther;
  const std::string s = text;
  ::LocalFree(text);
  if (s == "S-1-5-18" || s == "S-1-5-32-544" ||
      s == "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464") {
    return Trustee::kTrusted;  // SYSTEM, Administrators, TrustedInstaller
  }
  if (s == "S-1-3-0" || s == "S-1-3-4") return Trustee::kOwner;  // CREATOR OWNER, OWNER RIGHTS
  return Trustee::kOther;
}

AccessEntry EntryOf(const ACE_HEADER* ace) {
  AccessEntry entry;
  // Every entry type keeps its mask right after the header.
  std::memcpy(&entry.mask, ace + 1, sizeof entry.mask);
  entry.inheritOnly = (ace->AceFlags & INHERIT_ONLY_ACE) != 0;
  switch (ace->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:  // conditional: taken to apply
      entry.trustee =
          Classify(const_cast<DWORD*>(&reinterpret_cast<const ACCESS_ALLOWED_ACE*>(ace)->SidStart));
      break;
    case ACCESS_DENIED_ACE_TYPE:
    case ACCESS_DENIED_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
      entry.allow = false;
      break;
    default:
      break;  // any other type is an allow entry to somebody untrusted
  }
  return entry;
}

}  // namespace

std::optional<ObjectSecurity> WinFileSecurity::Read(const std::string& path) {
  // A handle rather than GetNamedSecurityInfoA: that one may load ntmarta.dll, which the 64-bit
  // view of System32 would serve from the wrong folder.
  UniqueFile object;
  {
    FileSystemRedirectionOff nativeView;
    object.reset(::CreateFileA(path.c_str(), READ_CONTROL,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  }
  if (!object) return std::nullopt;
  const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  std::vector<std::uint8_t> buffer(1024);
  DWORD needed = 0;
  while (!::GetKernelObjectSecurity(object.get(), what, buffer.data(),
                                    static_cast<DWORD>(buffer.size()), &needed)) {
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) {
      return std::nullopt;
    }
    buffer.resize(needed);
  }
  const PSECURITY_DESCRIPTOR sd = buffer.data();
  ObjectSecurity security;
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (!::GetSecurityDescriptorOwner(sd, &owner, &defaulted)) return std::nullopt;
  security.owner = Classify(owner);
  BOOL present = FALSE;
  PACL dacl = nullptr;
  if (!::GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted)) return std::nullopt;
  security.nullDacl = !present || !dacl;
  for (DWORD i = 0; !security.nullDacl && i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!::GetAce(dacl, i, &ace)) return std::nullopt;
    security.entries.push_back(EntryOf(static_cast<const ACE_HEADER*>(ace)));
  }
  return security;
}

}  // namespace calvorin::win32
