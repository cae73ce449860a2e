// What the user chose for each results entry (ticked, always left unchanged) and what the last
// Repair run did to it. Kept beside the results list, entry for entry, until the next scan.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "repair/repair.h"

namespace calvorin {

class ResultMarks {
 public:
  // A scan starts: no entries.
  void Clear();
  // Entry `index` was recorded (after the list was emptied, index 0 starts afresh): ticked,
  // unless it is always left unchanged.
  void Recorded(std::size_t index, bool alwaysLeft);
  std::size_t Size() const { return marks_.size(); }

  bool Ticked(std::size_t i) const { return i < Size() && (marks_[i] & kTicked); }
  bool AlwaysLeft(std::size_t i) const { return i < Size() && (marks_[i] & kAlwaysLeft); }
  // Ticks or unticks entry i; an entry always left unchanged stays unticked (the mark is taken
  // off through its own command). False when nothing changed.
  bool SetTicked(std::size_t i, bool ticked);
  // Ticks or unticks every entry (those always left unchanged stay unticked).
  void SetAll(bool ticked);
  // Marks or unmarks entry i "always leave unchanged": marked, it is unticked; unmarked, ticked.
  void SetAlwaysLeft(std::size_t i, bool left);
  int TickedCount() const { return ticked_; }

  // What the last Repair run did to each entry (RepairCounts::entries); none before a run. A new
  // run or scan replaces them.
  void SetOutcomes(std::vector<EntryResult> outcomes) { outcomes_ = std::move(outcomes); }
  bool HasOutcome(std::size_t i) const { return i < outcomes_.size(); }
  void ClearOutcomes() { outcomes_.clear(); }

  // The entry's state in words, as screen readers and Copy get it: "Ticked", "Not ticked",
  // "Not ticked: always left unchanged", or after a run what it did ("Cleaned", ...).
  std::string StateText(std::size_t i) const;
  // The extra row the list shows under the entry: its label and text ("Run: " and what the run
  // did, "Set: " and "Always left unchanged"), or an empty text when there is none.
  struct Row {
    const char* label;
    std::string text;
  };
  Row ExtraRow(std::size_t i) const;

 private:
  static constexpr std::uint8_t kTicked = 1, kAlwaysLeft = 2;
  std::vector<std::uint8_t> marks_;
  int ticked_ = 0;
  std::vector<EntryResult> outcomes_;
};

}  // namespace calvorin
