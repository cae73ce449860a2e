// The plain walk: the registry walk as first written, the reference the program's walk is held
// to. Every key opened by its absolute path through one TRegistry, every value's data read by
// name with a size query first, names sorted by pairwise comparison. It must give the same hits,
// counts, progress and order as TSearchThread's own walk.
#pragma once

#include <memory>
#include <string>

#include "registry/registry.h"
#include "search/result.h"
#include "search/search_thread.h"

namespace calvorin::testing {

class PlainSearchThread : public TSearchThread {
 public:
  using TSearchThread::TSearchThread;

 protected:
  void Walk() override;

 private:
  void WalkKey(TRegistry& reg, const std::string& path, const std::string& name);
  void WalkKeyContents(TRegistry& reg, const std::string& path, const std::string& name,
                       const std::string& full);
  bool SearchValue(TRegistry& reg, const std::string& name);
};

// Which walk a test or benchmark runs: the program's (kFast) or the plain one.
enum class WalkMode { kPlain, kFast };

std::unique_ptr<TSearchThread> MakeSearchThread(WalkMode mode, RegistryApi& api,
                                                std::string searchText, MatchCallback onMatch,
                                                ProgressCallback onProgress);

}  // namespace calvorin::testing
