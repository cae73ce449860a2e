// Which way NameOrder's sorts went, for the tests.
#pragma once

#include <cstdint>

#include "search/name_order.h"

namespace calvorin::testing {

struct NameOrderAccess {
  static std::uint64_t Confirmed(const NameOrder& o) { return o.confirmed_; }
  static std::uint64_t Fallbacks(const NameOrder& o) { return o.fallbacks_; }
};

}  // namespace calvorin::testing
