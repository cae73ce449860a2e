// What a SearchThreadHost keeps of its walk's end, for the tests.
#pragma once

#include <exception>

#include "search/win/search_thread_host.h"
#include "search/win/search_thread_host_shared.h"

namespace calvorin::testing {

struct SearchThreadHostAccess {
  // True once the termination handler has been called.
  static bool Finished(const win32::SearchThreadHost& host) { return host.shared_->ended; }
  // An exception that escaped Execute (StopReason is then srRunning); null otherwise.
  static std::exception_ptr FatalException(const win32::SearchThreadHost& host) {
    return host.shared_->fatal;
  }
};

}  // namespace calvorin::testing
