#include "win32/startup.h"

#include "core/root_equivalence.h"
#include "core/search_thread.h"
#include "win32/win_registry.h"
#include "win32/win_system_info.h"

namespace calvorin::win32 {

void BuildSkipKeys() {
  WinSystemInfo system;
  FindRootEquivalents(SkipKeys(), SystemRegistry(), system);
}

}  // namespace calvorin::win32
