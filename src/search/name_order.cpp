#include "search/name_order.h"

#include <algorithm>
#include <numeric>

#include "base/text.h"

namespace calvorin {

void NameOrder::Learn() {
  std::vector<std::string> chars;
  for (int c = 1; c < 256; ++c) chars.emplace_back(1, static_cast<char>(c));
  std::stable_sort(chars.begin(), chars.end(), [](const std::string& a, const std::string& b) {
    return CompareText(a, b) < 0;
  });
  weight_[0] = 0;
  std::uint16_t rank = 1;
  for (std::size_t i = 0; i < chars.size(); ++i) {
    if (i > 0 && CompareText(chars[i - 1], chars[i]) != 0) ++rank;
    weight_[static_cast<unsigned char>(chars[i][0])] = rank;
  }
  learned_ = true;
}

bool NameOrder::Less(const std::string& a, const std::string& b) const {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto wa = weight_[static_cast<unsigned char>(a[i])];
    const auto wb = weight_[static_cast<unsigned char>(b[i])];
    if (wa != wb) return wa < wb;
  }
  return a.size() < b.size();
}

// The fast order is only a guess. It is kept when the installed comparison finds every
// neighbour strictly before the next: for a strict weak ordering (which std::sort needs anyway)
// that makes the sequence the only sorted arrangement, so std::sort with the comparison would
// give this very sequence. Otherwise the names, still in their first order, get exactly the
// pairwise sort.
bool NameOrder::FastOrder(const std::vector<std::string>& names, std::size_t count) {
  if (!learned_) Learn();
  order_.resize(count);
  std::iota(order_.begin(), order_.end(), 0u);
  std::sort(order_.begin(), order_.end(),
            [&](std::uint32_t i, std::uint32_t j) { return Less(names[i], names[j]); });
  for (std::size_t k = 0; k + 1 < count; ++k) {
    if (CompareText(names[order_[k]], names[order_[k + 1]]) >= 0) {
      ++fallbacks_;
      return false;
    }
  }
  ++confirmed_;
  return true;
}

void NameOrder::Sort(std::vector<std::string>& names, std::size_t count) {
  if (count < 2) return;
  if (!FastOrder(names, count)) {
    std::sort(names.begin(), names.begin() + static_cast<std::ptrdiff_t>(count),
              [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
    return;
  }
  scratch_.resize(std::max(scratch_.size(), count));
  for (std::size_t k = 0; k < count; ++k) std::swap(scratch_[k], names[order_[k]]);
  for (std::size_t k = 0; k < count; ++k) std::swap(names[k], scratch_[k]);
}

// std::sort decides every step by the comparison's answers alone, so sorting positions by the
// names they hold moves them exactly as sorting the names moves the names, names that compare
// equal included.
const std::vector<std::uint32_t>& NameOrder::Order(const std::vector<std::string>& names,
                                                   std::size_t count) {
  if (count < 2 || !FastOrder(names, count)) {
    order_.resize(count);
    std::iota(order_.begin(), order_.end(), 0u);
    if (count >= 2) {
      std::sort(order_.begin(), order_.end(), [&](std::uint32_t i, std::uint32_t j) {
        return CompareText(names[i], names[j]) < 0;
      });
    }
  }
  return order_;
}

}  // namespace calvorin
