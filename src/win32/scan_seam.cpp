// Until the root-key equivalence is wired in, SkipKeys stays empty and every key is walked.
#include "win32/scan_seam.h"

namespace calvorin::win32 {

void BuildSkipKeys() {}

}  // namespace calvorin::win32
