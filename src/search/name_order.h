// Sorting registry names in exactly the order that std::sort with CompareText gives, with few
// calls of the installed comparison (on Windows each one is a CompareStringA).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace calvorin {
namespace testing {
struct NameOrderAccess;
}

class NameOrder {
 public:
  // Reads the installed comparison's order of the single characters 1 to 255; the fast order
  // weighs each byte by it. Call when the comparison may have changed (at each walk's start).
  void Learn();
  // Sorts names[0, count) as std::sort(..., CompareText(a, b) < 0) does.
  void Sort(std::vector<std::string>& names, std::size_t count);
  void Sort(std::vector<std::string>& names) { Sort(names, names.size()); }
  // The same order as positions, the names left where they are: names[order[k]] is the k-th
  // name that Sort(names, count) would give. The result stays valid until the next call.
  const std::vector<std::uint32_t>& Order(const std::vector<std::string>& names, std::size_t count);

 private:
  friend struct testing::NameOrderAccess;  // the tests see which way each sort went

  bool Less(const std::string& a, const std::string& b) const;
  // Sorts order_ (positions 0 to count-1) by the fast order; false when the installed
  // comparison does not confirm it, with order_ left for the caller to sort pairwise.
  bool FastOrder(const std::vector<std::string>& names, std::size_t count);

  std::array<std::uint16_t, 256> weight_{};
  bool learned_ = false;
  std::vector<std::uint32_t> order_;
  std::vector<std::string> scratch_;
  // How often the fast order was confirmed, and how often the pairwise sort had to run.
  std::uint64_t confirmed_ = 0;
  std::uint64_t fallbacks_ = 0;
};

}  // namespace calvorin
