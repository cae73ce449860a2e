#include "support/plain_walk.h"

#include <algorithm>
#include <utility>

#include "base/text.h"
#include "search/skip_list.h"
#include "support/forwarding_registry.h"

namespace calvorin::testing {

namespace {

// Keys open as the program's walk opens them: a registry link as itself, not followed.
struct LinksNotFollowed : ForwardingRegistry {
  using ForwardingRegistry::ForwardingRegistry;
  long OpenKey(Hkey parent, const std::string& sub, std::uint32_t access, Hkey* key) override {
    return inner_.OpenKeyItself(parent, sub, access, key);
  }
  long QueryKeyCounts(Hkey key, std::uint32_t* subKeys, std::uint32_t* values) override {
    return inner_.QueryKeyCounts(key, subKeys, values);
  }
};

void SortNames(std::vector<std::string>& names) {
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
}

}  // namespace

std::unique_ptr<TSearchThread> MakeSearchThread(WalkMode mode, RegistryApi& api,
                                                std::string searchText, MatchCallback onMatch,
                                                ProgressCallback onProgress) {
  if (mode == WalkMode::kPlain) {
    return std::make_unique<PlainSearchThread>(api, std::move(searchText), std::move(onMatch),
                                               std::move(onProgress));
  }
  return std::make_unique<TSearchThread>(api, std::move(searchText), std::move(onMatch),
                                         std::move(onProgress));
}

void PlainSearchThread::Walk() {
  LinksNotFollowed api(Api());
  TRegistry reg(api);
  for (const auto& root : kSearchRoots) {
    reg.SetRootKey(root.handle);
    BeginRoot(root);
    WalkKey(reg, std::string(), std::string());
    if (Stopping) return;  // StopReason is srStopped
  }
  StopReason = srFinished;
}

// `path` is "" for the root, otherwise "\name\name..." below it; `name` is the key's own name.
void PlainSearchThread::WalkKey(TRegistry& reg, const std::string& path, const std::string& name) {
  // Outside the guard below: an exception from the progress callback ends the parent's loop.
  if (!BeginKey()) return;

  std::string full = RootName();
  AppendLowerAsciiChars(full, path, CurrentLeadByteTest());
  if (IsSkipped(full)) return;
  // By absolute path; for the root, no key is open at this point, so "" names the root itself.
  if (!reg.OpenKeyReadOnly(path)) return;

  ResetHit(full, path);
  try {
    WalkKeyContents(reg, path, name, full);
  } catch (...) {
    // A failure inside one key costs only that key; the walk goes on with its next sibling.
  }
}

void PlainSearchThread::WalkKeyContents(TRegistry& reg, const std::string& path,
                                        const std::string& name, const std::string& full) {
  if (!MatchKeyName(name, full)) return;

  std::vector<std::string> names;
  reg.GetValueNames(names);
  SortNames(names);
  for (const auto& valueName : names) {
    if (Stopping) return;
    if (!SearchValue(reg, valueName)) return;
  }

  if (!EndValues()) return;

  reg.GetKeyNames(names);
  SortNames(names);
  for (const auto& subKey : names) {
    if (Stopping) return;
    if (!subKey.empty()) WalkKey(reg, path + '\\' + subKey, subKey);
  }
}

bool PlainSearchThread::SearchValue(TRegistry& reg, const std::string& name) {
  BeginValue(name);

  std::uint32_t type = 0;
  std::uint32_t size = 0;
  RegistryApi& api = reg.Api();
  if (api.QueryValue(reg.CurrentKey(), name, &type, nullptr, &size) != kErrorSuccess) {
    return !Stopping;
  }
  std::vector<std::uint8_t> data(size);
  // A value that grew since the size query fails here (more data) and is passed over.
  if (api.QueryValue(reg.CurrentKey(), name, &type, data.data(), &size) != kErrorSuccess) {
    return !Stopping;
  }
  // The second query reports what it copied, which can be less than the first said (a value
  // that shrank; RegQueryValueExA sizing ANSI string data generously).
  if (size > data.size()) size = static_cast<std::uint32_t>(data.size());
  return EndValue(data.data(), size, type);
}

}  // namespace calvorin::testing
