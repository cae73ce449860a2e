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
  Record r;
  // The walk reports the values of one key one after another.
  r.keyPath = !records_.empty() && records_.back().keyPath == hit.KeyPath ? records_.back().keyPath
                                                                          : Keep(hit.KeyPath);
  r.valueName = Keep(hit.ValueName);
  r.dataText = Keep(hit.DataText);
  r.keyPos = hit.KeyPos;
  r.namePos = hit.NamePos;
  r.dataPos = hit.DataPos;
  r.keyLen = hit.KeyLen;
  r.nameLen = hit.NameLen;
  r.dataLen = hit.DataLen;
  r.root = hit.Root;
  r.type = hit.Type;
  if (!hit.NamedKeyPath.empty() && hit.NamedKeyPath != hit.KeyPath) {
    r.namedKeyPath = !records_.empty() && records_.back().namedKeyPath == hit.NamedKeyPath
                         ? records_.back().namedKeyPath
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
  const HitStore::Record& r = Record(i);
  TResult hit(std::string(r.keyPath), std::string(r.valueName), std::string(r.dataText), r.keyPos,
              r.namePos, r.dataPos, r.keyLen, r.nameLen, r.dataLen, r.root);
  hit.Type = r.type;
  hit.NamedKeyPath = r.namedKeyPath.empty() ? hit.KeyPath : std::string(r.namedKeyPath);
  return hit;
}

}  // namespace calvorin
