// Start-up steps that run before any window exists.
#pragma once

namespace calvorin::win32 {

// Fills SkipKeys with the keys that are views of another root (root-key equivalence), so the
// walk visits each value once. Failures leave the keys walked twice; nothing is reported.
void BuildSkipKeys();

}  // namespace calvorin::win32
