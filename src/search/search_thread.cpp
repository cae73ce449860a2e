#include "search/search_thread.h"

#include <utility>

#include "base/text.h"

namespace calvorin {

TSearchThread::TSearchThread(RegistryApi& api, std::string searchText, MatchCallback onMatch,
                             ProgressCallback onProgress)
    : SearchText(std::move(searchText)),
      OnMatch(std::move(onMatch)),
      OnProgress(std::move(onProgress)),
      api_(api) {}

void TSearchThread::Execute() {
  StopReason = srRunning;
  Stopping = false;
  if (mode_ == WalkMode::kFast) {
    ExecuteFast();
    return;
  }
  TRegistry reg(api_);
  for (const auto& root : kSearchRoots) {
    reg.SetRootKey(root.handle);
    Root = root.handle;
    rootName_ = root.name;
    WalkKey(reg, std::string(), std::string());
    if (Stopping) return;  // StopReason is srStopped
  }
  StopReason = srFinished;
}

void TSearchThread::CheckTermination() {
  if (Terminated()) {
    StopReason = srStopped;
    Stopping = true;
  }
}

void TSearchThread::Sync(const std::function<void()>& call) {
  if (sync_ != nullptr) {
    sync_->Synchronize(call);
  } else {
    call();
  }
}

void TSearchThread::ReportHit() {
  if (OnMatch) {
    // The fields are not touched while the main thread runs the callback: the worker waits.
    Sync([this] {
      OnMatch(KeyPath, ValueName, DataText, KeyPos, NamePos, DataPos, KeyLen, NameLen, DataLen,
              Root);
    });
  }
  ++MatchCount;
}

void TSearchThread::ResetHit(const std::string& full) {
  KeyPath = full;
  KeyPos = 0;
  KeyLen = 0;
  ValueName.clear();
  NamePos = 0;
  NameLen = 0;
  DataText = kNoMatchText;
  DataPos = 0;
  DataLen = 0;
  anyHit_ = false;
}

// False when the walk must unwind.
bool TSearchThread::MatchKeyName(const std::string& name, const std::string& full) {
  if (const int p = MatchName(SearchText, name); p > 0) {
    KeyPos = static_cast<std::int32_t>(full.size() - name.size()) + p;
    KeyLen = static_cast<std::int32_t>(SearchText.size());
    if (Stopping) return false;
  }
  return true;
}

// Steps shared by both walks before a value's data is read: the name test and the reset hit.
void TSearchThread::BeginValue(const std::string& name) {
  ValueName = name;
  NamePos = 0;
  NameLen = 0;
  // The value in hand is still finished after a termination request.
  CheckTermination();
  if (const int p = MatchName(SearchText, name); p > 0) {
    NamePos = p;
    NameLen = static_cast<std::int32_t>(SearchText.size());
    anyHit_ = true;
  }
  DataText = kNoMatchText;
  DataPos = 0;
  DataLen = 0;
}

bool TSearchThread::EndValue(const std::uint8_t* data, std::uint32_t size, std::uint32_t type) {
  DataMatch match;
  if (MatchData(SearchText, data, size, type, &match, MaxShown)) {
    DataText = std::move(match.text);
    DataPos = match.pos;
    DataLen = match.len;
    anyHit_ = true;
  }
  if (NamePos > 0 || DataPos > 0) ReportHit();
  return !Stopping;
}

}  // namespace calvorin
