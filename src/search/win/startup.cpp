#include "search/win/startup.h"

#include "registry/win/win_registry.h"
#include "registry/win/win_system_info.h"
#include "search/root_equivalence.h"
#include "search/search_thread.h"

namespace calvorin::win32 {

void BuildSkipKeys() {
  WinSystemInfo system;
  FindRootEquivalents(SkipKeys(), SystemRegistry(), system);
}

}  // namespace calvorin::win32
