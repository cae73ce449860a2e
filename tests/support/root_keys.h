// The predefined roots by name, as the in-memory registry and the tests' reports name them.
#pragma once

#include <array>

#include "registry/registry.h"

namespace calvorin::testing {

// All seven predefined roots, in handle order.
inline constexpr std::array<RootKey, 7> kRootKeyTable = {{
    {"HKEY_CLASSES_ROOT", kHkeyClassesRoot},
    {"HKEY_CURRENT_USER", kHkeyCurrentUser},
    {"HKEY_LOCAL_MACHINE", kHkeyLocalMachine},
    {"HKEY_USERS", kHkeyUsers},
    {"HKEY_PERFORMANCE_DATA", kHkeyPerformanceData},
    {"HKEY_CURRENT_CONFIG", kHkeyCurrentConfig},
    {"HKEY_DYN_DATA", kHkeyDynData},
}};

// Full name of a predefined root ("HKEY_CURRENT_USER"), or "" for any other handle.
inline const char* RootKeyName(Hkey root) {
  for (const auto& r : kRootKeyTable) {
    if (r.handle == root) return r.name;
  }
  return "";
}

}  // namespace calvorin::testing
