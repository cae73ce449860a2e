#include "registry/win/win_system_info.h"

#include <objbase.h>
#include <windows.h>

#include <vector>

#include "base/text.h"

namespace calvorin::win32 {
namespace {

constexpr DWORD kUserNameChars = 260;
constexpr DWORD kSidBytes = 1000000;
constexpr DWORD kDomainChars = 260;

// The Get*Sid* calls return pointers into the SID and report errors only through the thread's
// last error, so each call clears it first and looks at it afterwards.
class WinAccountSid : public AccountSid {
 public:
  explicit WinAccountSid(std::vector<BYTE> sid) : sid_(std::move(sid)) {}

  bool IdentifierAuthority(std::array<std::uint8_t, 6>* bytes) override {
    ::SetLastError(ERROR_SUCCESS);
    const PSID_IDENTIFIER_AUTHORITY authority = ::GetSidIdentifierAuthority(Sid());
    if (::GetLastError() != ERROR_SUCCESS || authority == nullptr) return false;
    for (size_t i = 0; i < bytes->size(); ++i) (*bytes)[i] = authority->Value[i];
    return true;
  }

  bool SubAuthorityCount(std::uint8_t* count) override {
    ::SetLastError(ERROR_SUCCESS);
    const PUCHAR p = ::GetSidSubAuthorityCount(Sid());
    if (::GetLastError() != ERROR_SUCCESS || p == nullptr) return false;
    *count = *p;
    return true;
  }

  bool SubAuthority(std::uint32_t index, std::uint32_t* value) override {
    ::SetLastError(ERROR_SUCCESS);
    const PDWORD p = ::GetSidSubAuthority(Sid(), index);
    if (::GetLastError() != ERROR_SUCCESS || p == nullptr) return false;
    *value = *p;
    return true;
  }

 private:
  PSID Sid() { return sid_.data(); }
  std::vector<BYTE> sid_;
};

}  // namespace

bool WinSystemInfo::UserName(std::string* name) {
  char buffer[kUserNameChars + 1];
  DWORD len = kUserNameChars;
  if (!::GetUserNameA(buffer, &len)) return false;
  // The count includes the terminating zero.
  buffer[kUserNameChars] = '\0';
  name->assign(buffer);
  return true;
}

std::unique_ptr<AccountSid> WinSystemInfo::LookupAccount(const std::string& name) {
  std::vector<BYTE> sid(kSidBytes);
  DWORD sidSize = kSidBytes;
  char domain[kDomainChars + 1];
  DWORD domainLen = kDomainChars;
  SID_NAME_USE use;
  if (!::LookupAccountNameA(nullptr, name.c_str(), sid.data(), &sidSize, domain, &domainLen,
                            &use)) {
    return nullptr;
  }
  return std::make_unique<WinAccountSid>(std::move(sid));
}

std::string WinSystemInfo::NewGuidText() {
  // CoCreateGuid needs no CoInitialize.
  GUID g;
  if (FAILED(::CoCreateGuid(&g))) return {};
  return Format("{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
}

PlatformFamily WinSystemInfo::Family() {
  // GetVersion's high bit is clear on the NT family and set on Windows 95, 98 and Me.
  return (::GetVersion() & 0x80000000u) == 0 ? PlatformFamily::kNt : PlatformFamily::kWin95;
}

}  // namespace calvorin::win32
