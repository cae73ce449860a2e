#include "search/skip_list.h"

#include <algorithm>

#include "base/text.h"
#include "search/search_thread.h"

namespace calvorin {

bool IsSkipped(const std::string& full) {
  for (const auto& entry : SkipKeys()) {
    if (CompareText(full, entry) == 0) return true;
  }
  return false;
}

std::vector<std::string>& SkipKeys() {
  static std::vector<std::string> keys;
  return keys;
}

// The skip list in the comparison's order, for IsSkippedFast. Sorted at each walk's start since
// the installed comparison may have changed; an order that its own comparison does not confirm
// (a comparison that is no consistent ordering) leaves the list empty and the lookups linear.
void TSearchThread::SortSkipKeys() {
  skipOrder_.clear();
  skipSorted_ = false;
  for (const auto& entry : SkipKeys()) skipOrder_.push_back(&entry);
  std::stable_sort(
      skipOrder_.begin(), skipOrder_.end(),
      [](const std::string* a, const std::string* b) { return CompareText(*a, *b) < 0; });
  for (std::size_t i = 0; i + 1 < skipOrder_.size(); ++i) {
    if (CompareText(*skipOrder_[i], *skipOrder_[i + 1]) > 0 ||
        CompareText(*skipOrder_[i + 1], *skipOrder_[i]) < 0) {
      return;
    }
  }
  skipSorted_ = true;
}

// IsSkipped with fewer comparisons (each a CompareStringA on a whole path on Windows, twice per
// key with the usual two entries). Bisection over the sorted list: when `full` sorts before an
// entry it sorts before every later one too, and after an entry after every earlier one, so it
// can be equal only to an entry the bisection still has in range.
bool TSearchThread::IsSkippedFast(const std::string& full) const {
  if (!skipSorted_) return IsSkipped(full);
  std::size_t lo = 0;
  std::size_t hi = skipOrder_.size();
  while (lo < hi) {
    // The lower middle: with two entries the first answers alone for every path before it.
    const std::size_t mid = lo + (hi - lo - 1) / 2;
    const int c = CompareText(full, *skipOrder_[mid]);
    if (c == 0) return true;
    if (c < 0) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return false;
}

}  // namespace calvorin
