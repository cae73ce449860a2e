// Finds, by experiment on the live registry, which keys below HKEY_LOCAL_MACHINE and HKEY_USERS
// are the very keys HKEY_CLASSES_ROOT, HKEY_CURRENT_USER and HKEY_CURRENT_CONFIG show, so that
// the walk can leave them out and visit each value once.
#pragma once

#include <string>
#include <vector>

#include "registry/registry.h"
#include "registry/system_info.h"

namespace calvorin {

// Bits of the result of FindRootEquivalents: the pairs that were not found.
constexpr int kClassesPairNotFound = 1;
constexpr int kCurrentUserPairNotFound = 2;
constexpr int kCurrentConfigPairNotFound = 4;

// Answers of SameKeyByWrite.
constexpr int kSameKey = 0;
constexpr int kDifferentKey = 1;
constexpr int kCannotCreateTestKey = 2;
constexpr int kCannotOpenFullAccess = 3;

class RootEquivalence {
 public:
  RootEquivalence(RegistryApi& api, SystemInfo& system) : api_(api), system_(system) {}

  // Appends the key path texts of every alias found to `list`, in upper case; returns the bits
  // of the pairs not found (0 when all three were found).
  int FindRootEquivalents(std::vector<std::string>& list);

  bool AddIfSameKey(std::vector<std::string>& list, const std::string& rootName,
                    const std::string& subPath, Hkey aliasRoot, Hkey targetRoot);
  // `path` has a leading backslash, `targetPath` too unless it is "" (the root itself). Always
  // removes the temporary key it made.
  int SameKeyByWrite(Hkey targetRoot, Hkey aliasRoot, const std::string& path,
                     const std::string& targetPath = "");
  bool SameKeyByInfo(Hkey targetRoot, Hkey aliasRoot, const std::string& path);
  bool FindHKCUEquivalent(std::vector<std::string>& list);
  bool FindHKCCEquivalent(std::vector<std::string>& list);
  // Never empty: ".Default" when the user's own key is not known.
  std::string CurrentUserKeyName();
  // 0 on success, else the number of the step that failed (1 user name, 2 account lookup,
  // 3 identifier authority, 4 sub-authority count, 5 + k sub-authority k).
  int CurrentUserSID(std::string& text);

 private:
  RegistryApi& api_;
  SystemInfo& system_;
};

// The start-up step: fills `skipKeys` (empty on entry) before any window or search thread exists.
int FindRootEquivalents(std::vector<std::string>& skipKeys, RegistryApi& api, SystemInfo& system);

}  // namespace calvorin
