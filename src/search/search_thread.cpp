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
  Walk();
}

void TSearchThread::BeginRoot(const RootKey& root) {
  Hit.Root = root.handle;
  rootName_ = root.name;
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
  // Built only for a hit: most keys report none.
  Hit.NamedKeyPath.assign(rootName_);
  if (named_ != nullptr) Hit.NamedKeyPath.append(*named_, 0, namedSize_);
  if (OnMatch) {
    // Hit is not touched while the main thread runs the callback: the worker waits.
    Sync([this] { OnMatch(Hit); });
  }
  ++MatchCount;
}

void TSearchThread::ResetHit(const std::string& full, const std::string& path) {
  Hit.KeyPath = full;
  named_ = &path;
  namedSize_ = path.size();
  Hit.KeyPos = 0;
  Hit.KeyLen = 0;
  Hit.ValueName.clear();
  Hit.NamePos = 0;
  Hit.NameLen = 0;
  Hit.DataText = kNoMatchText;
  Hit.DataPos = 0;
  Hit.DataLen = 0;
  Hit.Type = kRegNone;
  anyHit_ = false;
}

bool TSearchThread::BeginKey() {
  ++KeysSearched;
  if (KeysSearched % 100 == 0 && OnProgress) {
    Sync([this] { OnProgress(KeysSearched, MatchCount); });
  }
  CheckTermination();
  return !Stopping;
}

// False when the walk must unwind.
bool TSearchThread::MatchKeyName(const std::string& name, const std::string& full) {
  if (const int p = MatchName(SearchText, name); p > 0) {
    Hit.KeyPos = static_cast<std::int32_t>(full.size() - name.size()) + p;
    Hit.KeyLen = static_cast<std::int32_t>(SearchText.size());
    if (Stopping) return false;
  }
  return true;
}

void TSearchThread::BeginValue(const std::string& name) {
  Hit.ValueName = name;
  Hit.NamePos = 0;
  Hit.NameLen = 0;
  // The value in hand is still finished after a termination request.
  CheckTermination();
  if (const int p = MatchName(SearchText, name); p > 0) {
    Hit.NamePos = p;
    Hit.NameLen = static_cast<std::int32_t>(SearchText.size());
    anyHit_ = true;
  }
  Hit.DataText = kNoMatchText;
  Hit.DataPos = 0;
  Hit.DataLen = 0;
}

bool TSearchThread::EndValue(const std::uint8_t* data, std::uint32_t size, std::uint32_t type) {
  Hit.Type = type;
  DataMatch match;
  if (MatchData(SearchText, data, size, type, &match, MaxShown)) {
    Hit.DataText = std::move(match.text);
    Hit.DataPos = match.pos;
    Hit.DataLen = match.len;
    anyHit_ = true;
  }
  if (Hit.NamePos > 0 || Hit.DataPos > 0) ReportHit();
  return !Stopping;
}

bool TSearchThread::EndValues() {
  Hit.ValueName = kNoMatchText;
  Hit.Type = kRegNone;
  if (Hit.KeyPos > 0 && !anyHit_) ReportHit();
  return !Stopping;
}

}  // namespace calvorin
