#include "core/search_thread.h"

#include <algorithm>
#include <utility>

#include "core/text.h"

namespace calvorin {

namespace {

void SortNames(std::vector<std::string>& names) {
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
}

bool IsSkipped(const std::string& full) {
  for (const auto& entry : SkipKeys()) {
    if (CompareText(full, entry) == 0) return true;
  }
  return false;
}

bool IsStringType(std::uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

}  // namespace

std::vector<std::string>& SkipKeys() {
  static std::vector<std::string> keys;
  return keys;
}

TSearchThread::TSearchThread(RegistryApi& api, std::string searchText, MatchCallback onMatch,
                             ProgressCallback onProgress)
    : SearchText(std::move(searchText)),
      OnMatch(std::move(onMatch)),
      OnProgress(std::move(onProgress)),
      api_(api) {}

int TSearchThread::MatchName(const std::string& searchText, const std::string& text) {
  if (text.empty()) return 0;
  return Pos(UpperAscii(searchText), UpperAscii(text));
}

bool TSearchThread::MatchData(const std::string& searchText, const std::uint8_t* bytes,
                              std::uint32_t size, std::uint32_t type, DataMatch* match,
                              int maxShown) {
  std::uint32_t length = size;
  // Only the one terminator: a multi-string keeps its separators and its last string's zero.
  if (IsStringType(type) && length > 0 && bytes[length - 1] == 0) --length;
  const std::string raw =
      length > 0 ? std::string(reinterpret_cast<const char*>(bytes), length) : std::string();
  const std::string folded = UpperAscii(raw);
  const std::string wanted = UpperAscii(searchText);

  bool wide = false;
  int p = Pos(wanted, folded);
  if (p == 0) {
    std::string wideText;
    for (char c : wanted) {
      wideText += c;
      wideText += '\0';
    }
    p = Pos(wideText, folded);
    wide = true;
  }
  if (p == 0) return false;
  *match = FormatData(searchText, raw, p, wide, size, type, maxShown);
  return true;
}

DataMatch TSearchThread::FormatData(const std::string& searchText, const std::string& raw, int p,
                                    bool wide, std::uint32_t size, std::uint32_t type,
                                    int maxShown) {
  DataMatch result;
  if (size == 4 && (type == kRegDword || type == kRegDwordBigEndian) && raw.size() >= 4) {
    const auto* b = reinterpret_cast<const unsigned char*>(raw.data());
    std::uint32_t dw = static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
                       static_cast<std::uint32_t>(b[2]) << 16 |
                       static_cast<std::uint32_t>(b[3]) << 24;
    if (type == kRegDwordBigEndian) {
      dw = (dw >> 24) | ((dw >> 8) & 0xFF00u) | ((dw << 8) & 0xFF0000u) | (dw << 24);
    }
    // Position and length stay 0: the number is shown, not the matching bytes.
    result.text = Format("0x%.8X (%u)", static_cast<unsigned>(dw), static_cast<unsigned>(dw));
    return result;
  }

  std::string text = raw;
  int pos = p;
  const int len = static_cast<int>(searchText.size()) * (wide ? 2 : 1);
  const int total = static_cast<int>(raw.size());
  if (total > maxShown) {
    const int center = p + len / 2;
    const int half = maxShown / 2;
    if (center <= half) {
      text = Copy(raw, 1, maxShown) + kRightMarker;
    } else if (total > center + half) {
      const int start = center - half;
      text = kLeftMarker + Copy(raw, start, maxShown) + kRightMarker;
      pos = p - start + 3;
    } else {
      text = kLeftMarker + Copy(raw, total - maxShown + 1, maxShown);
      pos = p - (total - maxShown) + 2;
    }
  }
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20) c = '\x2E';
  }
  result.text = std::move(text);
  result.pos = pos;
  result.len = len;
  return result;
}

void TSearchThread::Execute() {
  StopReason = srRunning;
  Stopping = false;
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

// `path` is "" for the root, otherwise "\name\name..." below it; `name` is the key's own name.
void TSearchThread::WalkKey(TRegistry& reg, const std::string& path, const std::string& name) {
  // Outside the guard below: an exception from the progress callback ends the parent's loop.
  ++KeysSearched;
  if (KeysSearched % 100 == 0 && OnProgress) {
    Sync([this] { OnProgress(KeysSearched, MatchCount); });
  }
  CheckTermination();
  if (Stopping) return;

  const std::string full = rootName_ + LowerAscii(path);
  if (IsSkipped(full)) return;
  // By absolute path; for the root, no key is open at this point, so "" names the root itself.
  if (!reg.OpenKeyReadOnly(path)) return;

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
  try {
    WalkKeyContents(reg, path, name, full);
  } catch (...) {
    // A failure inside one key costs only that key; the walk goes on with its next sibling.
  }
}

void TSearchThread::WalkKeyContents(TRegistry& reg, const std::string& path,
                                    const std::string& name, const std::string& full) {
  if (const int p = MatchName(SearchText, name); p > 0) {
    KeyPos = static_cast<std::int32_t>(full.size() - name.size()) + p;
    KeyLen = static_cast<std::int32_t>(SearchText.size());
    if (Stopping) return;
  }

  std::vector<std::string> names;
  reg.GetValueNames(names);
  SortNames(names);
  for (const auto& valueName : names) {
    if (Stopping) return;
    if (!SearchValue(reg, valueName)) return;
  }

  ValueName = kNoMatchText;
  if (KeyPos > 0 && !anyHit_) ReportHit();
  if (Stopping) return;

  reg.GetKeyNames(names);
  SortNames(names);
  for (const auto& subKey : names) {
    if (Stopping) return;
    if (!subKey.empty()) WalkKey(reg, path + '\\' + subKey, subKey);
  }
}

bool TSearchThread::SearchValue(TRegistry& reg, const std::string& name) {
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

  std::uint32_t type = 0;
  std::uint32_t size = 0;
  RegistryApi& api = reg.Api();
  if (api.QueryValue(reg.CurrentKey(), name, &type, nullptr, &size) != kErrorSuccess) {
    return !Stopping;
  }
  {
    std::vector<std::uint8_t> data(size);
    // A value that grew since the size query fails here (more data) and is passed over.
    if (api.QueryValue(reg.CurrentKey(), name, &type, data.data(), &size) != kErrorSuccess) {
      return !Stopping;
    }
    // The second query reports what it copied, which can be less than the first said (a value
    // that shrank; RegQueryValueExA sizing ANSI string data generously).
    if (size > data.size()) size = static_cast<std::uint32_t>(data.size());
    DataMatch match;
    if (MatchData(SearchText, data.data(), size, type, &match, MaxShown)) {
      DataText = std::move(match.text);
      DataPos = match.pos;
      DataLen = match.len;
      anyHit_ = true;
    }
  }
  if (NamePos > 0 || DataPos > 0) ReportHit();
  return !Stopping;
}

}  // namespace calvorin
