// The "Restore" dialog that lets the user pick which kept Repair run to bring back.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "app/win/control_ids.h"
#include "repair/kept_runs.h"

namespace calvorin::win32 {

// A line of the list: "2026-12-08 17:45:03   12 values".
std::string RunChoiceText(const KeptRun& run);

// Shows the runs, newest first with the newest selected, in a modal dialog captioned "Restore":
// Up and Down move, Enter or OK takes the selected run's file, Esc or Cancel gives nothing.
std::optional<std::string> ChooseRunToRestore(HWND owner, const std::vector<KeptRun>& runs);

}  // namespace calvorin::win32
