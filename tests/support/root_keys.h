// The predefined roots by name, as the in-memory registry and the tests' reports name them.
#pragma once

#include "registry/registry.h"

namespace calvorin::testing {

// The product's table of the seven predefined roots and their names, by the names the tests
// have always used.
using calvorin::kRootKeyTable;
using calvorin::RootKeyName;

}  // namespace calvorin::testing
