// The user locale's case-insensitive comparison for CompareText.
#pragma once

#include <string>

namespace calvorin::win32 {

// CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE) as a three-way result (<0, 0, >0).
int LocaleCompareText(const std::string& a, const std::string& b);

// Makes CompareText (name sorting in the walk, SkipKeys lookups) use LocaleCompareText.
// Call once at start-up, before any search thread exists.
void InstallLocaleCompare();

}  // namespace calvorin::win32
