// Whether a process runs with an administrator's full rights.
#pragma once

#include <windows.h>

#include <optional>

namespace calvorin::win32 {

// Whether process `processId` has an elevated token; nothing when its token cannot be read. A
// member of the administrators started without "Run as administrator" gets a limited token and
// is not elevated. Wine 8 reports a program started from its own shell as elevated (an
// administrator's full token), and a process started with the linked limited token
// (CreateProcessAsUser) as not.
std::optional<bool> ProcessIsElevated(DWORD processId);

// This process: false when its token cannot be read.
bool RunsElevated();

}  // namespace calvorin::win32
