// What every Repair run starts from, the window's and the unattended one's alike, so that both
// make the same checks and the same backup.
#pragma once

#include <string>
#include <vector>

#include "repair/repair.h"
#include "repair/win/win_file_security.h"
#include "scan/invalid_reference_scan.h"

namespace calvorin::win32 {

// Rows `firstRow` .. HitCount of the hit table, as Repair takes them.
std::vector<RepairEntry> RecordedEntries(const InvalidReferenceScan& scan, int firstRow);

// The options of a run on the live registry: this code page, this user's rights and hives, and
// `security` to judge found files by. `searchText`: what the scan searched for.
RepairOptions SystemRepairOptions(const std::string& searchText, WinFileSecurity& security);

}  // namespace calvorin::win32
