// libFuzzer target for the saved search reader. Built only with clang; for coverage of the core
// as well, configure a tree of its own with the core instrumented:
//   CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
//     -DCALVORIN_SANITIZE=ON -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link
//   cmake --build build/fuzz --target saved_search_fuzz
//   build/fuzz/saved_search_fuzz -max_total_time=60 build/fuzz/corpus
// Any input must end in success or in one of the reader's three messages.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "savedsearch/saved_search.h"
#include "support/memory_source.h"

namespace {

class Settings : public calvorin::SavedSearchSettings {
 public:
  void SetPerPage(std::int32_t) override {}
  void SetMaxRslt(std::int32_t) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  calvorin::testing::MemorySource source(std::string_view(reinterpret_cast<const char*>(data), size));
  calvorin::testing::AsciiConverter converter;
  Settings settings;
  try {
    calvorin::ParseSavedSearch(source, settings, converter);
  } catch (const calvorin::ESavedSearchError& e) {
    const char* m = e.what();
    if (std::strcmp(m, calvorin::kMqtCorrupted) != 0 &&
        std::strcmp(m, calvorin::kInvalidPropertyValue) != 0 &&
        std::strcmp(m, calvorin::kStreamReadError) != 0) {
      std::abort();
    }
  }
  return 0;
}
