#include "scan/result_marks.h"

namespace calvorin {

void ResultMarks::Clear() {
  marks_.clear();
  ticked_ = 0;
  outcomes_.clear();
}

void ResultMarks::Recorded(std::size_t index, bool alwaysLeft) {
  if (index < Size()) Clear();
  marks_.push_back(alwaysLeft ? kAlwaysLeft : kTicked);
  if (!alwaysLeft) ++ticked_;
}

bool ResultMarks::SetTicked(std::size_t i, bool ticked) {
  if (i >= Size() || AlwaysLeft(i) || Ticked(i) == ticked) return false;
  marks_[i] = ticked ? kTicked : 0;
  ticked_ += ticked ? 1 : -1;
  return true;
}

void ResultMarks::SetAll(bool ticked) {
  for (std::size_t i = 0; i < Size(); ++i) SetTicked(i, ticked);
}

void ResultMarks::SetAlwaysLeft(std::size_t i, bool left) {
  if (i >= Size() || AlwaysLeft(i) == left) return;
  if (left) {
    SetTicked(i, false);
    marks_[i] = kAlwaysLeft;
  } else {
    marks_[i] = 0;
    SetTicked(i, true);
  }
}

std::string ResultMarks::StateText(std::size_t i) const {
  if (HasOutcome(i)) return EntryOutcomeText(outcomes_[i]);
  if (AlwaysLeft(i)) return "Not ticked: always left unchanged";
  return Ticked(i) ? "Ticked" : "Not ticked";
}

ResultMarks::Row ResultMarks::ExtraRow(std::size_t i) const {
  if (HasOutcome(i)) return {"Run: ", EntryOutcomeText(outcomes_[i])};
  if (AlwaysLeft(i)) return {"Set: ", "Always left unchanged"};
  return {"", {}};
}

}  // namespace calvorin
