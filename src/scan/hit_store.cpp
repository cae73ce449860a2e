#include "scan/hit_store.h"

#include <algorithm>

namespace calvorin {

// Texts up to this size share blocks of kHitBlockSize characters; longer ones get their own.
constexpr std::size_t kHitBlockSize = 64 * 1024;
constexpr std::size_t kHitOwnBlock = kHitBlockSize / 4;

std::string_view HitStore::Keep(std::string_view text) {
  if (text.empty()) return {};
  if (text.size() >= kHitOwnBlock) {
    // A block of its own; the shared block in use keeps its free room.
    blocks_.push_back(std::make_unique<char[]>(text.size()));
    std::copy(text.begin(), text.end(), blocks_.back().get());
    return {blocks_.back().get(), text.size()};
  }
  if (blockFree_ < text.size()) {
    blocks_.push_back(std::make_unique<char[]>(kHitBlockSize));
    blockNext_ = blocks_.back().get();
    blockFree_ = kHitBlockSize;
  }
  char* kept = blockNext_;
  std::copy(text.begin(), text.end(), kept);
  blockNext_ += text.size();
  blockFree_ -= text.size();
  return {kept, text.size()};
}

void HitStore::Append(const TResult& hit) {
  Record r(hit);
  // The walk reports the values of one key one after another.
  r.KeyPath = !records_.empty() && records_.back().KeyPath == hit.KeyPath ? records_.back().KeyPath
                                                                          : Keep(hit.KeyPath);
  r.ValueName = Keep(hit.ValueName);
  r.DataText = Keep(hit.DataText);
  r.NamedKeyPath = {};
  if (!hit.NamedKeyPath.empty() && hit.NamedKeyPath != hit.KeyPath) {
    r.NamedKeyPath = !records_.empty() && records_.back().NamedKeyPath == hit.NamedKeyPath
                         ? records_.back().NamedKeyPath
                         : Keep(hit.NamedKeyPath);
  }
  records_.push_back(r);
}

void HitStore::Clear() {
  records_ = {};
  blocks_.clear();
  blocks_.shrink_to_fit();
  blockFree_ = 0;
  blockNext_ = nullptr;
}

TResult ResultList::operator[](std::size_t i) const {
  TResult hit(Record(i));
  hit.NamedKeyPath = NamedKeyPathOf(Record(i));
  return hit;
}

}  // namespace calvorin
