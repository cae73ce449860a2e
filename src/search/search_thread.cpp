#include "search/search_thread.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "base/text.h"

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

// 1-based position of `upperNeedle` (ASCII letters already upper case) in `data` with the
// data's ASCII letters folded to upper case; 0 when absent or the needle is empty.
int FindFolded(const char* data, std::size_t size, std::string_view upperNeedle) {
  const std::size_t m = upperNeedle.size();
  if (m == 0 || m > size) return 0;
  const char first = upperNeedle[0];
  const bool letter = first >= 'A' && first <= 'Z';
  const std::size_t last = size - m;
  for (std::size_t i = 0; i <= last; ++i) {
    if (!letter) {
      const void* at = std::memchr(data + i, first, last - i + 1);
      if (at == nullptr) return 0;
      i = static_cast<std::size_t>(static_cast<const char*>(at) - data);
    } else if (UpperAscii(data[i]) != first) {
      continue;
    }
    std::size_t k = 1;
    while (k < m && UpperAscii(data[i + k]) == upperNeedle[k]) ++k;
    if (k == m) return static_cast<int>(i) + 1;
  }
  return 0;
}

constexpr std::uint32_t kReadMasks[] = {kKeyRead, kKeyReadEnumerate, kKeyQueryValue};

// As TRegistry::OpenKeyReadOnly: full read access, then less, then only the values.
long OpenReadOnly(RegistryApi& api, Hkey base, const std::string& subKey, Hkey* key) {
  long rc = kErrorFileNotFound;
  for (const std::uint32_t mask : kReadMasks) {
    rc = api.OpenKey(base, subKey, mask, key);
    if (rc == kErrorSuccess) break;
  }
  return rc;
}

class KeyCloser {
 public:
  KeyCloser(RegistryApi& api, Hkey key) : api_(api), key_(key) {}
  ~KeyCloser() { api_.CloseKey(key_); }
  KeyCloser(const KeyCloser&) = delete;
  KeyCloser& operator=(const KeyCloser&) = delete;

 private:
  RegistryApi& api_;
  Hkey key_;
};

// A key opened relative to its parent is the key that the absolute path names, as long as the
// absolute open would itself succeed the same way. It does not beyond these limits:
// - RegOpenKeyExA converts the path through a buffer of MAX_PATH + 1 characters (Wine's TEB
//   static string), so a longer path fails; relative opens would enter keys the absolute walk
//   never reaches.
// - A registry symbolic link that points at an ancestor makes an endless path; an absolute open
//   stops it through the length limit above (and Windows through its limit on reparse points per
//   open), relative opens would not.
// Past either limit the fast walk opens by absolute path, exactly as the plain walk does.
constexpr std::size_t kRelativePathLimit = 255;
constexpr int kRelativeDepthLimit = 16;

// How many bytes of one key's value data the fast walk holds between enumerating the values and
// searching them in name order.
constexpr std::size_t kHeldDataLimit = 1u << 20;

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
  return FindFolded(text.data(), text.size(), UpperAscii(searchText));
}

bool TSearchThread::MatchData(const std::string& searchText, const std::uint8_t* bytes,
                              std::uint32_t size, std::uint32_t type, DataMatch* match,
                              int maxShown) {
  std::uint32_t length = size;
  // Only the one terminator: a multi-string keeps its separators and its last string's zero.
  if (IsStringType(type) && length > 0 && bytes[length - 1] == 0) --length;
  const char* raw = reinterpret_cast<const char*>(bytes);
  const std::string wanted = UpperAscii(searchText);

  bool wide = false;
  int p = FindFolded(raw, length, wanted);
  if (p == 0) {
    std::string wideText;
    for (char c : wanted) {
      wideText += c;
      wideText += '\0';
    }
    p = FindFolded(raw, length, wideText);
    wide = true;
  }
  if (p == 0) return false;
  *match = FormatData(searchText, std::string(raw, length), p, wide, size, type, maxShown);
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

  ResetHit(full);
  try {
    WalkKeyContents(reg, path, name, full);
  } catch (...) {
    // A failure inside one key costs only that key; the walk goes on with its next sibling.
  }
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

void TSearchThread::WalkKeyContents(TRegistry& reg, const std::string& path,
                                    const std::string& name, const std::string& full) {
  if (!MatchKeyName(name, full)) return;

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

bool TSearchThread::SearchValue(TRegistry& reg, const std::string& name) {
  BeginValue(name);

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

void TSearchThread::ExecuteFast() {
  order_.Learn();
  SortSkipKeys();
  for (const auto& root : kSearchRoots) {
    Root = root.handle;
    rootName_ = root.name;
    path_.clear();
    full_ = rootName_;
    // The root itself: the empty path below its predefined handle.
    WalkFast(root.handle, std::string(), 0);
    if (Stopping) return;  // StopReason is srStopped
  }
  StopReason = srFinished;
}

// path_ and full_ already name this key; the caller restores them.
void TSearchThread::WalkFast(Hkey parent, const std::string& name, int depth) {
  // Outside the guard below: an exception from the progress callback ends the parent's loop.
  ++KeysSearched;
  if (KeysSearched % 100 == 0 && OnProgress) {
    Sync([this] { OnProgress(KeysSearched, MatchCount); });
  }
  CheckTermination();
  if (Stopping) return;
  if (IsSkippedFast(full_)) return;

  Hkey key = 0;
  const bool relative = depth <= kRelativeDepthLimit && path_.size() <= kRelativePathLimit + 1;
  const long rc = relative ? OpenReadOnly(api_, parent, name, &key)
                           : OpenReadOnly(api_, Root, path_.substr(1), &key);
  if (rc != kErrorSuccess) return;
  const KeyCloser closer(api_, key);

  ResetHit(full_);
  try {
    WalkFastContents(key, name, depth);
  } catch (...) {
    // A failure inside one key costs only that key; the walk goes on with its next sibling.
  }
}

void TSearchThread::WalkFastContents(Hkey key, const std::string& name, int depth) {
  if (!MatchKeyName(name, full_)) return;

  // One statistics query serves both lists. (The plain walk asks again before the subkeys; the
  // answers differ only if another process changes the key in between.)
  std::uint32_t subKeyCount = 0, valueCount = 0;
  // Both stay 0 when the query fails: nothing listed.
  api_.QueryKeyCounts(key, &subKeyCount, &valueCount);
  std::size_t values = 0;
  if (valueNames_.size() < valueCount) valueNames_.resize(valueCount);
  if (slots_.size() < valueCount) slots_.resize(valueCount);
  held_.clear();
  for (std::uint32_t i = 0; i < valueCount; ++i) {
    ValueSlot& slot = slots_[values];
    slot.readResult = kErrorSuccess;
    std::uint32_t size = 0;
    if (api_.EnumValueData(key, i, &valueNames_[values], &slot.type, data_, &size,
                           &slot.readResult) != kErrorSuccess) {
      continue;
    }
    slot.size = size;
    slot.offset = held_.size();
    // A key of many large values is not held whole: past the limit a value is read again by
    // name when its turn comes, as it would be without the enumerated data.
    slot.held = slot.readResult != kErrorSuccess || held_.size() + size <= kHeldDataLimit;
    if (slot.readResult == kErrorSuccess && slot.held) {
      held_.insert(held_.end(), data_.begin(), data_.begin() + size);
    }
    ++values;
  }
  const std::vector<std::uint32_t>& sorted = order_.Order(valueNames_, values);
  for (std::size_t k = 0; k < values; ++k) {
    if (Stopping) return;
    const std::uint32_t i = sorted[k];
    if (!SearchValueFast(key, valueNames_[i], slots_[i])) return;
  }

  ValueName = kNoMatchText;
  if (KeyPos > 0 && !anyHit_) ReportHit();
  if (Stopping) return;

  if (subKeys_.size() <= static_cast<std::size_t>(depth)) subKeys_.resize(depth + 1);
  std::vector<std::string>& list = subKeys_[static_cast<std::size_t>(depth)];
  if (list.size() < subKeyCount) list.resize(subKeyCount);
  std::size_t count = 0;
  for (std::uint32_t i = 0; i < subKeyCount; ++i) {
    if (api_.EnumKey(key, i, &list[count]) == kErrorSuccess) ++count;
  }
  order_.Sort(list, count);
  const std::size_t pathSize = path_.size();
  const std::size_t fullSize = full_.size();
  for (std::size_t i = 0; i < count; ++i) {
    if (Stopping) break;
    const std::string& subKey = list[i];
    if (subKey.empty()) continue;
    path_.resize(pathSize);
    full_.resize(fullSize);
    path_ += '\\';
    path_ += subKey;
    full_ += '\\';
    for (const char c : subKey) full_ += LowerAscii(c);
    WalkFast(key, subKey, depth + 1);
  }
  path_.resize(pathSize);
  full_.resize(fullSize);
}

bool TSearchThread::SearchValueFast(Hkey key, const std::string& name, const ValueSlot& slot) {
  BeginValue(name);

  std::uint32_t type = slot.type;
  std::uint32_t size = slot.size;
  const std::uint8_t* data = held_.data() + slot.offset;
  if (!slot.held) {
    if (api_.ReadValue(key, name, &type, data_, &size) != kErrorSuccess) return !Stopping;
    data = data_.data();
  } else if (slot.readResult != kErrorSuccess) {
    // A value that cannot be read (gone, or grown between a size and a data query) is passed
    // over.
    return !Stopping;
  }
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
