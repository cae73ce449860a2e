// Unattended runs (/scan, /repair, /?): the window's scan and Repair without a window, a message
// box or a person, reporting on the console or redirected standard output and by exit code.
#pragma once

#include <string>
#include <vector>

namespace calvorin::win32 {

// True when `args` (the arguments after the program's name) ask for an unattended run rather
// than the window.
bool IsUnattended(const std::vector<std::string>& args);

// Runs it and returns the process's exit code (calvorin::ExitCode).
int RunUnattended(const std::vector<std::string>& args, const std::string& exePath);

}  // namespace calvorin::win32
