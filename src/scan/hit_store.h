// The hit table: the recorded values stored compactly, and the results list that reads them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "registry/registry.h"
#include "search/result.h"

namespace calvorin {

// Rows of the hit table.
constexpr int kHitTableRows = 100000;

// The recorded values, stored compactly: one fixed-size record per value, its texts in
// append-only blocks of characters that never move (a key path equal to the previous record's
// is stored once), so that 100,000 rows cost little more than their characters and growing the
// store never copies what it holds.
class HitStore {
 public:
  // A hit as the table keeps it: its texts view the table's blocks; NamedKeyPath is "" where
  // it equals KeyPath.
  using Record = HitFields<std::string_view>;

  // Keeps a copy of the hit's texts.
  void Append(const TResult& hit);
  // Forgets every record and gives the characters' memory back.
  void Clear();
  std::size_t Size() const { return records_.size(); }
  const Record& operator[](std::size_t i) const { return records_[i]; }

 private:
  std::string_view Keep(std::string_view text);

  std::deque<Record> records_;
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t blockFree_ = 0;  // unused characters at the end of blocks_.back()
  char* blockNext_ = nullptr;
};

// The record's key path in the key's own letters.
inline std::string_view NamedKeyPathOf(const HitStore::Record& r) {
  return r.NamedKeyPath.empty() ? r.KeyPath : r.NamedKeyPath;
}

// The results list as its readers see it: entry i of the results list, as a TResult whose texts
// are copies, or its stored record.
class ResultList {
 public:
  ResultList(const HitStore& store, std::size_t first) : store_(&store), first_(first) {}
  std::size_t size() const { return store_->Size() - first_; }
  bool empty() const { return size() == 0; }
  // The stored record of entry i (its texts stay valid until the next scan starts).
  const HitStore::Record& Record(std::size_t i) const { return (*store_)[first_ + i]; }
  TResult operator[](std::size_t i) const;
  TResult back() const { return (*this)[size() - 1]; }

 private:
  const HitStore* store_;
  std::size_t first_;
};

}  // namespace calvorin
