// The fast walk (TSearchThread::Walk): keys opened relative to their open parent, buffers reused
// from key to key, names sorted by a precomputed key.
#include <algorithm>
#include <cstring>
#include <utility>

#include "base/scope_exit.h"
#include "base/text.h"
#include "search/search_thread.h"

namespace calvorin {

namespace {

constexpr std::uint32_t kReadMasks[] = {kKeyRead, kKeyReadEnumerate, kKeyQueryValue};

// As TRegistry::OpenKeyReadOnly: full read access, then less, then only the values. A registry
// link opens as itself and so is not followed: the key it points at is walked where it lies.
long OpenReadOnly(RegistryApi& api, Hkey base, const std::string& subKey, Hkey* key) {
  long rc = kErrorFileNotFound;
  for (const std::uint32_t mask : kReadMasks) {
    rc = api.OpenKeyItself(base, subKey, mask, key);
    if (rc == kErrorSuccess) break;
  }
  return rc;
}

// A key opened relative to its parent is the key that the absolute path names, as long as the
// absolute open would itself succeed the same way (no link is followed on either way). It does
// not beyond this limit: RegOpenKeyExA converts the path through a buffer of MAX_PATH + 1
// characters (Wine's TEB static string), so a longer path fails; relative opens would enter keys
// the absolute walk never reaches. Past it the fast walk opens by absolute path, exactly as the
// plain walk does.
constexpr std::size_t kRelativePathLimit = 255;

// How many bytes of one key's value data the fast walk holds between enumerating the values and
// searching them in name order.
constexpr std::size_t kHeldDataLimit = 1u << 20;

}  // namespace

void TSearchThread::Walk() {
  order_.Learn();
  SortSkipKeys();
  leadByte_ = CurrentLeadByteTest();
  for (const auto& root : kSearchRoots) {
    BeginRoot(root);
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
  if (!BeginKey()) return;
  if (IsSkippedFast(full_)) return;

  Hkey key = 0;
  const bool relative = path_.size() <= kRelativePathLimit + 1;
  const long rc = relative ? OpenReadOnly(api_, parent, name, &key)
                           : OpenReadOnly(api_, Hit.Root, path_.substr(1), &key);
  if (rc != kErrorSuccess) return;
  const ScopeExit closeKey([this, key] { api_.CloseKey(key); });

  ResetHit(full_, path_);
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

  if (!EndValues()) return;

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
    AppendLowerAsciiChars(full_, subKey, leadByte_);
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
  return EndValue(data, size, type);
}

}  // namespace calvorin
