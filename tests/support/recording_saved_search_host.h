// A saved-search host that writes down, in order, every setting and page change it is asked for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "savedsearch/saved_search.h"

namespace calvorin::testing {

class RecordingSavedSearchHost : public SavedSearchHost {
 public:
  void SetPerPage(std::int32_t v) override { log.push_back("PerPage " + std::to_string(v)); }
  void SetMaxRslt(std::int32_t v) override { log.push_back("MaxRslt " + std::to_string(v)); }
  void SelectPage(int index) override { log.push_back("page " + std::to_string(index)); }
  void ClearResults() override { log.push_back("clear"); }
  std::vector<std::string> log;
};

}  // namespace calvorin::testing
