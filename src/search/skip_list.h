// The keys the walk does not enter (SkipKeys, filled once at start-up).
#pragma once

#include <string>

namespace calvorin {

// Whether `full` is one of SkipKeys by the installed comparison, entry by entry.
bool IsSkipped(const std::string& full);

}  // namespace calvorin
