// Whether the program runs with an administrator's full rights.
#pragma once

namespace calvorin::win32 {

// With UAC (Vista and later): whether the process token is elevated; a member of the
// administrators started without "Run as administrator" gets a limited token and is not. Before
// UAC: whether the user is a member of the administrators. Wine 8 reports a program started
// from its own shell as elevated (an administrator's full token); a process started with the
// linked limited token (CreateProcessAsUser) as not.
bool RunsElevated();

}  // namespace calvorin::win32
