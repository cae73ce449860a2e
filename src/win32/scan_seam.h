// Start-up steps that run before any window exists.
#pragma once

namespace calvorin::win32 {

// Fills SkipKeys (root-key equivalence).
void BuildSkipKeys();

}  // namespace calvorin::win32
