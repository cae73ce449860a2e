// TSearchThread: the registry walk. It visits the five searched roots depth first and reports
// every value whose name or data contains the search text, and every key whose own name does.
// The walk itself is portable; the platform supplies the thread, the synchronous call onto the
// main thread (Synchronizer) and the registry (RegistryApi).
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "base/text.h"
#include "registry/registry.h"
#include "search/name_order.h"
#include "search/result.h"

namespace calvorin {

// Why a walk ended (TSearchThread::StopReason).
constexpr std::uint8_t srCreated = 0;
constexpr std::uint8_t srRunning = 1;
constexpr std::uint8_t srStopped = 2;
constexpr std::uint8_t srFinished = 4;

// The 0x97 pair: value name of a key-name hit, data text of a value whose data did not match.
inline const std::string kNoMatchText = "\x97\x97";
// Truncation marks around a data excerpt.
inline const std::string kLeftMarker = "\xAB\x85";
inline const std::string kRightMarker = "\x85\xBB";
// The characters of data a hit shows at most, cut marks aside.
constexpr std::int32_t kDataWindow = 100;

// Full key path texts the walk does not enter. Filled once at start-up, read-only afterwards.
std::vector<std::string>& SkipKeys();

// Runs a call on the main thread and blocks until it has run there; an exception thrown by the
// call is re-raised in the calling thread.
class Synchronizer {
 public:
  virtual ~Synchronizer() = default;
  virtual void Synchronize(const std::function<void()>& call) = 0;
};

// A data match as shown to the user: display text and the match inside it (1-based, 0 = none).
struct DataMatch {
  std::string text;
  std::int32_t pos = 0;
  std::int32_t len = 0;
};

class TSearchThread {
 public:
  TSearchThread(RegistryApi& api, std::string searchText, MatchCallback onMatch,
                ProgressCallback onProgress);
  virtual ~TSearchThread() = default;
  TSearchThread(const TSearchThread&) = delete;
  TSearchThread& operator=(const TSearchThread&) = delete;

  // Callbacks go through `sync` (nullptr: they are called directly on the walking thread).
  void SetSynchronizer(Synchronizer* sync) { sync_ = sync; }

  // The termination request; any thread may make it at any time.
  void Terminate() { terminated_.store(true); }
  bool Terminated() const { return terminated_.load(); }

  // The walk. An exception that escapes a root's walk leaves it with StopReason srRunning.
  void Execute();

  // 1-based position of `searchText` in `text`, ASCII letters folded; 0 when absent or empty.
  static int MatchName(const std::string& searchText, const std::string& text);
  // Tests value data (narrow, then UTF-16LE) and formats the display text of a match.
  static bool MatchData(const std::string& searchText, const std::uint8_t* bytes,
                        std::uint32_t size, std::uint32_t type, DataMatch* match,
                        int maxShown = 100);
  // Display text of matched data: `raw` with the match at `p` (1-based), a wide hit or not.
  static DataMatch FormatData(const std::string& searchText, const std::string& raw, int p,
                              bool wide, std::uint32_t size, std::uint32_t type,
                              int maxShown = 100);

  const std::string SearchText;
  std::uint8_t StopReason = srCreated;
  // The current hit, filled in place as the walk goes and handed to OnMatch by reference.
  TResult Hit;

  MatchCallback OnMatch;
  ProgressCallback OnProgress;
  std::int32_t MatchCount = 0;
  std::int32_t KeysSearched = 0;
  bool Stopping = false;
  const std::int32_t MaxShown = kDataWindow;

 protected:
  // The walk over the searched roots, started by Execute: keys opened relative to their open
  // parent, buffers reused from key to key, names sorted by a precomputed key that the locale
  // comparison confirms. Another walk (a reference for tests) overrides it and builds on the
  // steps below; it must give the same hits, counts and order. Ends with StopReason srFinished,
  // or srStopped on a termination request.
  virtual void Walk();

  RegistryApi& Api() const { return api_; }
  // A root's first step: Hit.Root and the root's name that every key path starts with.
  void BeginRoot(const RootKey& root);
  const std::string& RootName() const { return rootName_; }
  // A key's first steps: the count, the progress report every hundred keys and the termination
  // check. False when the walk must unwind.
  bool BeginKey();
  // Once the key is open: Hit reset to the key `full` (its lowered full path); `path` names it
  // below the root in its own letters ("" for the root, "\\name\\name..." below it) and must
  // keep those characters first while the key's hits are reported.
  void ResetHit(const std::string& full, const std::string& path);
  // The test of the key's own name; false when the walk must unwind.
  bool MatchKeyName(const std::string& name, const std::string& full);
  // A value's first steps, before its data is read: the name test and the reset hit.
  void BeginValue(const std::string& name);
  // A value's last steps once its data was read: the data test and the report of a name or
  // data hit. False when the walk must unwind.
  bool EndValue(const std::uint8_t* data, std::uint32_t size, std::uint32_t type);
  // After the key's values: the report of a key-name hit that no value reported. False when the
  // walk must unwind.
  bool EndValues();
  void CheckTermination();

 private:
  void Sync(const std::function<void()>& call);
  void ReportHit();

  // The fast walk's steps: path_ and full_ hold the key in hand, the open parent is passed down.
  void SortSkipKeys();
  bool IsSkippedFast(const std::string& full) const;
  void WalkFast(Hkey parent, const std::string& name, int depth);
  void WalkFastContents(Hkey key, const std::string& name, int depth);
  // A value as the fast walk enumerated it: its data, when held, is held_[offset, offset+size).
  struct ValueSlot {
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    std::size_t offset = 0;
    long readResult = 0;
    bool held = false;  // false: read again by name when searched
  };
  bool SearchValueFast(Hkey key, const std::string& name, const ValueSlot& slot);

  RegistryApi& api_;
  Synchronizer* sync_ = nullptr;
  std::atomic<bool> terminated_{false};
  std::string rootName_;
  bool anyHit_ = false;
  const std::string* named_ = nullptr;  // the key in hand below the root, in its own letters
  std::size_t namedSize_ = 0;
  // Walk state, reused from key to key.
  std::string path_;                 // a backslash before each name as enumerated; "" for the root
  std::string full_;                 // rootName_ and path_ with ASCII capitals lowered
  LeadByteTest leadByte_ = nullptr;  // the code page's, for lowering full_
  std::deque<std::vector<std::string>> subKeys_;  // one list per depth
  std::vector<std::string> valueNames_;
  std::vector<std::uint8_t> data_;
  std::vector<ValueSlot> slots_;    // per enumerated value, by enumeration order
  std::vector<std::uint8_t> held_;  // the enumerated values' data, one after the other
  NameOrder order_;
  std::vector<const std::string*> skipOrder_;  // SkipKeys in the comparison's order
  bool skipSorted_ = false;                    // false: look up linearly
};

}  // namespace calvorin
