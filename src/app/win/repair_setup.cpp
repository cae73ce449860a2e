#include "app/win/repair_setup.h"

#include "base/text.h"
#include "base/win/elevation.h"
#include "registry/win/win_registry.h"
#include "registry/win/win_system_info.h"
#include "search/root_equivalence.h"

namespace calvorin::win32 {

std::vector<RepairEntry> RecordedEntries(const InvalidReferenceScan& scan, int firstRow) {
  std::vector<RepairEntry> entries;
  for (int row = firstRow; row <= scan.HitCount(); ++row) {
    entries.push_back({scan.HitKeyPath(row), scan.HitValueName(row), scan.HitDataText(row),
                       scan.HitType(row), scan.HitNamedKeyPath(row)});
  }
  return entries;
}

RepairOptions SystemRepairOptions(const std::string& searchText, WinFileSecurity& security) {
  RepairOptions options;
  options.leadByte = CurrentLeadByteTest();
  options.searchText = searchText;
  options.elevated = RunsElevated();
  options.fileSecurity = &security;
  WinSystemInfo system;
  // Unknown: every hive of HKEY_USERS counts as another account's.
  if (RootEquivalence(SystemRegistry(), system).CurrentUserSID(options.userSid) != 0) {
    options.userSid.clear();
  }
  return options;
}

}  // namespace calvorin::win32
