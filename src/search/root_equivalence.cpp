#include "search/root_equivalence.h"

#include <array>

#include "base/scope_exit.h"
#include "base/text.h"

namespace calvorin {
namespace {

constexpr const char* kTestData = "test";

}  // namespace

int RootEquivalence::FindRootEquivalents(std::vector<std::string>& list) {
  int notFound = 0;
  if (!AddIfSameKey(list, "HKEY_LOCAL_MACHINE", "SOFTWARE\\Classes", kHkeyLocalMachine,
                    kHkeyClassesRoot)) {
    notFound |= kClassesPairNotFound;
  }
  // In the 64-bit view of 64-bit Windows the 32-bit programs' classes show twice more: as
  // HKEY_CLASSES_ROOT\Wow6432Node and HKEY_LOCAL_MACHINE\Software\Wow6432Node\Classes (a link
  // to Software\Classes\Wow6432Node). The walk reports them under the first. Elsewhere there is
  // no such key, nothing is written and nothing is added; this pair sets no bit.
  if (SameKeyByWrite(kHkeyClassesRoot, kHkeyLocalMachine, "\\SOFTWARE\\Wow6432Node\\Classes",
                     "\\Wow6432Node") == kSameKey) {
    list.push_back("HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432NODE\\CLASSES");
  }
  if (!FindHKCUEquivalent(list)) notFound |= kCurrentUserPairNotFound;
  if (!FindHKCCEquivalent(list)) notFound |= kCurrentConfigPairNotFound;
  return notFound;
}

bool RootEquivalence::AddIfSameKey(std::vector<std::string>& list, const std::string& rootName,
                                   const std::string& subPath, Hkey aliasRoot, Hkey targetRoot) {
  const std::string path = "\\" + subPath;
  const int answer = SameKeyByWrite(targetRoot, aliasRoot, path);
  bool same = answer == kSameKey;
  if (answer == kCannotCreateTestKey) same = SameKeyByInfo(targetRoot, aliasRoot, path);
  if (same) list.push_back(UpperAscii(rootName + "\\" + subPath));
  return same;
}

int RootEquivalence::SameKeyByWrite(Hkey targetRoot, Hkey aliasRoot, const std::string& path,
                                    const std::string& targetPath) {
  TRegistry reg(api_);
  reg.SetRootKey(aliasRoot);
  reg.SetAccess(kKeyAllAccess);
  if (!reg.OpenKey(path, false)) return kCannotOpenFullAccess;
  const std::string g1 = system_.NewGuidText();
  const std::string g2 = system_.NewGuidText();
  // An empty name would make the "temporary" key the candidate itself, and the clean-up below
  // would then delete the candidate with all its subkeys.
  if (g1.empty() || g2.empty()) return kCannotCreateTestKey;
  if (!reg.OpenKey(g1, true)) return kCannotCreateTestKey;

  int answer = kDifferentKey;
  // The temporary key goes however the test ends, a registry error included.
  const ScopeExit removeTestKey([&reg, aliasRoot, testKey = path + "\\" + g1] {
    reg.CloseKey();
    reg.SetRootKey(aliasRoot);
    reg.DeleteKey(testKey);
  });
  try {
    reg.WriteString(g2, kTestData);
    reg.SetRootKey(targetRoot);
    if (reg.OpenKey(targetPath + "\\" + g1, false) && reg.ReadString(g2) == kTestData) {
      answer = kSameKey;
    }
  } catch (const ERegistryException&) {
    // A value that cannot be written or read back proves nothing; leave the alias in the walk.
    answer = kDifferentKey;
  }
  return answer;
}

bool RootEquivalence::SameKeyByInfo(Hkey targetRoot, Hkey aliasRoot, const std::string& path) {
  KeyInfo target;
  if (api_.QueryInfoKey(targetRoot, &target) != kErrorSuccess) return false;
  KeyInfo alias;
  {
    TRegistry reg(api_);
    reg.SetRootKey(aliasRoot);
    reg.SetAccess(kKeyRead);
    if (!reg.OpenKey(path, false)) return false;
    if (api_.QueryInfoKey(reg.CurrentKey(), &alias) != kErrorSuccess) return false;
  }
  bool same = target.className == alias.className && target.subKeys == alias.subKeys &&
              target.maxSubKeyLen == alias.maxSubKeyLen &&
              target.maxClassLen == alias.maxClassLen && target.values == alias.values &&
              target.maxValueNameLen == alias.maxValueNameLen &&
              target.maxValueLen == alias.maxValueLen;
  // HKEY_CLASSES_ROOT is a merged view with its own descriptor and write time.
  if (same && targetRoot != kHkeyClassesRoot) {
    same = target.securityDescriptorSize == alias.securityDescriptorSize &&
           target.lastWriteLow == alias.lastWriteLow && target.lastWriteHigh == alias.lastWriteHigh;
  }
  return same;
}

bool RootEquivalence::FindHKCUEquivalent(std::vector<std::string>& list) {
  if (AddIfSameKey(list, "HKEY_USERS", CurrentUserKeyName(), kHkeyUsers, kHkeyCurrentUser)) {
    return true;
  }
  std::vector<std::string> names;
  {
    TRegistry reg(api_);
    reg.SetRootKey(kHkeyUsers);
    if (reg.OpenKeyReadOnly("")) reg.GetKeyNames(names);
  }
  for (const auto& name : names) {
    if (AddIfSameKey(list, "HKEY_USERS", name, kHkeyUsers, kHkeyCurrentUser)) return true;
  }
  return false;
}

bool RootEquivalence::FindHKCCEquivalent(std::vector<std::string>& list) {
  TRegistry reg(api_);
  reg.SetRootKey(kHkeyLocalMachine);
  if (!reg.OpenKeyReadOnly("\\System\\CurrentControlSet\\control\\IDConfigDB")) return false;
  try {
    if (system_.Family() == PlatformFamily::kNt) {
      const int n = reg.ReadInteger("CurrentConfig");
      const std::array<std::string, 4> paths = {
          Format("SYSTEM\\ControlSet%.03d\\Hardware Profiles\\Current", n),
          Format("SYSTEM\\ControlSet%.03d\\Hardware Profiles\\%.04d", n, n),
          Format("SYSTEM\\CurrentControlSet\\Hardware Profiles\\%.04d", n),
          "SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current",
      };
      bool any = false;
      for (const auto& path : paths) {
        if (AddIfSameKey(list, "HKEY_LOCAL_MACHINE", path, kHkeyLocalMachine, kHkeyCurrentConfig)) {
          any = true;
        }
      }
      return any;
    }
    const std::string config = reg.ReadString("CurrentConfig");
    return AddIfSameKey(list, "HKEY_LOCAL_MACHINE", "CONFIG\\" + config, kHkeyLocalMachine,
                        kHkeyCurrentConfig);
  } catch (const ERegistryException&) {
    // "CurrentConfig" missing or of another type: the configuration pair stays unknown.
    return false;
  }
}

std::string RootEquivalence::CurrentUserKeyName() {
  std::string name;
  TRegistry reg(api_);
  if (system_.Family() == PlatformFamily::kNt) {
    reg.SetRootKey(kHkeyUsers);
    reg.OpenKeyReadOnly("");
    if (CurrentUserSID(name) != 0 || !reg.KeyExists(name)) name.clear();
  } else {
    reg.SetRootKey(kHkeyLocalMachine);
    try {
      if (reg.OpenKeyReadOnly("\\System\\CurrentControlSet\\control")) {
        name = reg.ReadString("Current User");
      }
    } catch (const ERegistryException&) {
      name.clear();  // a value of another type names no user
    }
  }
  return name.empty() ? ".Default" : name;
}

int RootEquivalence::CurrentUserSID(std::string& text) {
  std::string user;
  if (!system_.UserName(&user)) return 1;
  const auto sid = system_.LookupAccount(user);
  if (!sid) return 2;
  text = "S-1-";
  std::array<std::uint8_t, 6> authority{};
  if (!sid->IdentifierAuthority(&authority)) return 3;
  if (authority[0] != 0 || authority[1] != 0) {
    text += "0x";
    for (const auto b : authority) text += Format("%02x", b);
  } else {
    const std::uint32_t value = (static_cast<std::uint32_t>(authority[2]) << 24) |
                                (static_cast<std::uint32_t>(authority[3]) << 16) |
                                (static_cast<std::uint32_t>(authority[4]) << 8) | authority[5];
    text += Format("%u", value);
  }
  std::uint8_t count = 0;
  if (!sid->SubAuthorityCount(&count)) return 4;
  for (std::uint32_t k = 0; k < count; ++k) {
    std::uint32_t value = 0;
    if (!sid->SubAuthority(k, &value)) return 5 + static_cast<int>(k);
    text += Format("-%u", value);
  }
  return 0;
}

int FindRootEquivalents(std::vector<std::string>& skipKeys, RegistryApi& api, SystemInfo& system) {
  return RootEquivalence(api, system).FindRootEquivalents(skipKeys);
}

}  // namespace calvorin
