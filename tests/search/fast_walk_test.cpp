// The fast walk against the plain walk on the same in-memory registries: every hit with all its
// fields, the counters, the progress points and the stop reason must come out identical, also
// when the walk is stopped or a callback throws part-way.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/text.h"
#include "search/name_order.h"
#include "search/search_thread.h"
#include "support/memory_registry.h"
#include "support/name_order_access.h"
#include "support/plain_walk.h"

namespace calvorin {
namespace {

using testing::MemoryRegistry;
using testing::WalkMode;
using namespace std::string_literals;

// What a walk shows its owner.
struct Trace {
  std::vector<std::string> events;  // hits and progress calls, in order
  std::int32_t keysSearched = 0;
  std::int32_t matchCount = 0;
  int stopReason = -1;
  bool escaped = false;
  bool operator==(const Trace&) const = default;
};

// How the owner behaves: stop or throw at the n-th hit or progress call (0 = never).
struct Owner {
  int terminateAtHit = 0;
  int throwAtHit = 0;
  int terminateAtProgress = 0;
  int throwAtProgress = 0;
};

Trace Walk(MemoryRegistry& mem, WalkMode mode, const std::string& searchText, const Owner& owner) {
  Trace trace;
  TSearchThread* self = nullptr;
  int hitsSeen = 0;
  int progressSeen = 0;
  const auto thread = testing::MakeSearchThread(
      mode, mem, searchText,
      [&](const TResult& h) {
        ++hitsSeen;
        trace.events.push_back(Format("hit %s|%s|%s|%d %d %d|%d %d %d|%lx", h.KeyPath.c_str(),
                                      h.ValueName.c_str(), h.DataText.c_str(), h.KeyPos, h.NamePos,
                                      h.DataPos, h.KeyLen, h.NameLen, h.DataLen,
                                      static_cast<unsigned long>(h.Root)));
        if (hitsSeen == owner.terminateAtHit) self->Terminate();
        if (hitsSeen == owner.throwAtHit) throw std::runtime_error("hit");
      },
      [&](std::int32_t keys, std::int32_t matches) {
        ++progressSeen;
        trace.events.push_back(Format("progress %d %d", keys, matches));
        if (progressSeen == owner.terminateAtProgress) self->Terminate();
        if (progressSeen == owner.throwAtProgress) throw std::runtime_error("progress");
      });
  self = thread.get();
  try {
    thread->Execute();
  } catch (const std::runtime_error&) {
    trace.escaped = true;
  }
  trace.keysSearched = thread->KeysSearched;
  trace.matchCount = thread->MatchCount;
  trace.stopReason = thread->StopReason;
  EXPECT_EQ(mem.OpenHandles(), 0u) << "keys left open";
  return trace;
}

// Names that exercise the sort: mixed case, digits, punctuation that word sorting treats
// specially, bytes above 0x7F, and now and then the search texts.
std::string RandomName(std::mt19937& rng, bool forKey) {
  static const std::string pieces[] = {"a",  "B",  "c",         "Z",     "z",        "0",  "9",
                                       "1",  "-",  "_",         ".",     "'",        " ",  "{",
                                       "}",  "~",  "\xC4",      "\xE9",  "\xFF",     "xq", "XQ",
                                       "ab", "AB", "Microsoft", "CLSID", "{0000-11}"};
  std::string name;
  const int parts = 1 + static_cast<int>(rng() % 5);
  for (int i = 0; i < parts; ++i) name += pieces[rng() % std::size(pieces)];
  if (!forKey && rng() % 20 == 0) name += ":\\x";
  return name;
}

std::string RandomData(std::mt19937& rng) {
  static const std::string data[] = {"C:\\Windows\\x.exe\0"s,
                                     "nothing\0"s,
                                     "c:\\\0"s,
                                     "W\0:\0\\\0"s,
                                     "\x3A\x5C\0\0"s,
                                     ""s,
                                     "a:\\b\0\0"s,
                                     "xq here\0"s,
                                     "\x01\x02:\\\x7F"s,
                                     std::string(150, 'y') + "D:\\z\0"s,
                                     std::string(300, 'q') + "E:\\"s + std::string(20, 'r')};
  return data[rng() % std::size(data)];
}

void Populate(MemoryRegistry& mem, std::mt19937& rng, const std::string& path, int depth) {
  const int values = static_cast<int>(rng() % 5);
  static const std::uint32_t types[] = {kRegSz,    kRegExpandSz, kRegMultiSz,       kRegBinary,
                                        kRegDword, kRegNone,     kRegDwordBigEndian};
  auto node = mem.Key(path);
  for (int i = 0; i < values; ++i) {
    const std::string name = (i == 0 && rng() % 4 == 0) ? std::string() : RandomName(rng, false);
    const std::uint32_t type = types[rng() % std::size(types)];
    std::string bytes = RandomData(rng);
    if ((type == kRegDword || type == kRegDwordBigEndian) && rng() % 2 == 0) bytes.resize(4, 'x');
    mem.Put(path, name, type, bytes);
  }
  switch (rng() % 25) {
    case 0:
      node->grant = 0;
      break;  // cannot be opened
    case 1:
      node->grant = kKeyQueryValue;
      break;  // values only
    case 2:
      node->failEnumeration = true;
      break;  // statistics fail
    default:
      break;
  }
  if (depth >= 5) return;
  const int children = static_cast<int>(rng() % (depth == 0 ? 8 : 5));
  for (int i = 0; i < children; ++i)
    Populate(mem, rng, path + "\\" + RandomName(rng, true), depth + 1);
}

// A word-sort-like comparison: hyphens and apostrophes count only when all else is equal, so
// the fast order guessed from single characters is sometimes wrong and must be caught.
int WordSortCompare(const std::string& a, const std::string& b) {
  auto strip = [](const std::string& s) {
    std::string out;
    for (char c : s) {
      if (c != '-' && c != '\'') out += UpperAscii(c);
    }
    return out;
  };
  const int first = CompareTextAscii(strip(a), strip(b));
  return first != 0 ? first : CompareTextAscii(a, b);
}

int ReversedCompare(const std::string& a, const std::string& b) {
  return CompareTextAscii(b, a);
}

class FastWalk : public ::testing::Test {
 protected:
  void SetUp() override {
    SkipKeys().clear();
    SetTextCompare(nullptr);
  }
  void TearDown() override {
    SkipKeys().clear();
    SetTextCompare(nullptr);
  }

  static void ExpectSameWalk(MemoryRegistry& mem, const std::string& searchText, const Owner& owner,
                             const std::string& what) {
    const Trace plain = Walk(mem, WalkMode::kPlain, searchText, owner);
    const Trace fast = Walk(mem, WalkMode::kFast, searchText, owner);
    EXPECT_EQ(fast.events, plain.events) << what;
    EXPECT_EQ(fast.keysSearched, plain.keysSearched) << what;
    EXPECT_EQ(fast.matchCount, plain.matchCount) << what;
    EXPECT_EQ(fast.stopReason, plain.stopReason) << what;
    EXPECT_EQ(fast.escaped, plain.escaped) << what;
  }
};

TEST_F(FastWalk, RandomRegistriesGiveTheSameWalk) {
  const TextCompareFn compares[] = {nullptr, &WordSortCompare, &ReversedCompare};
  int hitsSeen = 0;
  for (unsigned seed = 1; seed <= 60; ++seed) {
    std::mt19937 rng(seed);
    MemoryRegistry mem;
    for (const char* root : {"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                             "HKEY_CURRENT_CONFIG", "HKEY_CLASSES_ROOT"}) {
      Populate(mem, rng, root, 0);
    }
    if (seed % 3 == 0) {
      // HKEY_USERS\<user> is HKEY_CURRENT_USER again, and the program leaves it out.
      mem.Alias(kHkeyCurrentUser, "HKEY_USERS\\S-1-5-21-0-0-0-1000");
      SkipKeys() = {"HKEY_USERS\\S-1-5-21-0-0-0-1000", "HKEY_CLASSES_ROOT\\XQ"};
    } else {
      SkipKeys().clear();
    }
    SetTextCompare(compares[seed % 3]);
    const std::string searchText = seed % 4 == 0 ? "xq" : ":\\";
    const std::string what = Format("seed %u", seed);
    const Trace full = Walk(mem, WalkMode::kPlain, searchText, Owner{});
    hitsSeen += static_cast<int>(full.matchCount);
    ExpectSameWalk(mem, searchText, Owner{}, what);
    // Stopped or failing part-way, at points spread over the walk.
    const int hits = full.matchCount > 0 ? full.matchCount : 1;
    ExpectSameWalk(mem, searchText, Owner{.terminateAtHit = 1 + static_cast<int>(seed) % hits},
                   what + " terminate at hit");
    ExpectSameWalk(mem, searchText, Owner{.throwAtHit = 1 + static_cast<int>(seed * 7) % hits},
                   what + " throw at hit");
    ExpectSameWalk(mem, searchText, Owner{.terminateAtProgress = 1 + static_cast<int>(seed) % 2},
                   what + " terminate at progress");
    ExpectSameWalk(mem, searchText, Owner{.throwAtProgress = 1 + static_cast<int>(seed) % 3},
                   what + " throw at progress");
  }
  EXPECT_GT(hitsSeen, 500) << "the random registries should give plenty of hits";
}

// Every key path below `node`, as the walk spells it ("ROOT\\Name\\Name").
void CollectPaths(const MemoryRegistry::Node& node, const std::string& path,
                  std::vector<std::string>* out) {
  for (const auto& child : node.subKeys) {
    const std::string below = path + "\\" + child->name;
    out->push_back(below);
    CollectPaths(*child, below, out);
  }
}

// The fast walk looks its keys up in the skip list by bisection over the list sorted with the
// installed comparison; the plain walk compares with every entry. Lists of every size, entries
// spelt in other cases (as the program stores them: upper case), entries equal to each other,
// entries that name no key and keys below skipped ones, under every comparison.
TEST_F(FastWalk, SkipListsOfEverySizeSkipTheSameKeys) {
  const TextCompareFn compares[] = {nullptr, &WordSortCompare, &ReversedCompare};
  int keysSkipped = 0;
  for (unsigned seed = 1; seed <= 36; ++seed) {
    std::mt19937 rng(seed * 977);
    MemoryRegistry mem;
    std::vector<std::string> paths;
    for (const auto& root : kSearchRoots) {
      Populate(mem, rng, root.name, 1);
      CollectPaths(*mem.Find(root.name), root.name, &paths);
    }
    ASSERT_FALSE(paths.empty());
    SetTextCompare(compares[seed % 3]);
    const std::size_t size = seed % 9;
    std::vector<std::string> skip;
    for (std::size_t i = 0; i < size; ++i) {
      switch (rng() % 4) {
        case 0:
          skip.push_back(paths[rng() % paths.size()]);
          break;
        case 1:
          skip.push_back(UpperAscii(paths[rng() % paths.size()]));
          break;
        case 2:
          skip.push_back(Format("%s\\NoSuchKey%u", kSearchRoots[rng() % 5].name,
                                static_cast<unsigned>(rng() % 100)));
          break;
        default:
          skip.push_back(skip.empty() ? std::string("HKEY_USERS") : LowerAscii(skip.back()));
          break;
      }
    }
    SkipKeys().clear();
    const Trace unskipped = Walk(mem, WalkMode::kPlain, ":\\", Owner{});
    SkipKeys() = skip;
    const std::string what = Format("seed %u, %zu entries", seed, size);
    const Trace plain = Walk(mem, WalkMode::kPlain, ":\\", Owner{});
    keysSkipped += unskipped.keysSearched - plain.keysSearched;
    ExpectSameWalk(mem, ":\\", Owner{}, what);
    ExpectSameWalk(mem, ":\\", Owner{.terminateAtProgress = 1}, what + " terminate at progress");
  }
  EXPECT_GT(keysSkipped, 200) << "the skip lists should leave out whole subtrees";
}

// RegOpenKeyExA in Wine fails for paths longer than MAX_PATH (its conversion buffer), and an
// absolute open is what ends a symbolic-link cycle. The fast walk must stop at the same keys.
TEST_F(FastWalk, LongPathsAndLinkCyclesEndWhereAbsoluteOpensFail) {
  MemoryRegistry mem;
  std::string deep = "HKEY_CURRENT_USER\\Software";
  for (int i = 0; i < 40; ++i) {
    deep += Format("\\Level%02d_%s", i, std::string(static_cast<size_t>(i % 7), 'n').c_str());
    mem.PutString(deep, "v", Format("C:\\deep%d", i));
  }
  for (int i = 0; i < 30; ++i) mem.Key(Format("HKEY_CURRENT_USER\\Wide\\k%02d", i));
  auto cycle = mem.Key("HKEY_LOCAL_MACHINE\\Cycle");
  mem.PutString("HKEY_LOCAL_MACHINE\\Cycle", "Path", "C:\\cycle");
  cycle->subKeys.push_back(cycle);  // Cycle\Cycle\Cycle... is the same key
  mem.openFailure = [](const std::string& subKey) {
    return subKey.size() > 260 ? kErrorMoreData : kErrorSuccess;
  };
  const Trace plain = Walk(mem, WalkMode::kPlain, ":\\", Owner{});
  const Trace fast = Walk(mem, WalkMode::kFast, ":\\", Owner{});
  cycle->subKeys.clear();
  EXPECT_EQ(fast, plain);
  // The limit did bite: not every deep level and not an endless cycle.
  EXPECT_LT(plain.matchCount, 40 + 100);
  EXPECT_GT(plain.matchCount, 20);
}

TEST_F(FastWalk, KeysThatFailAreHandledAlike) {
  MemoryRegistry mem;
  mem.PutString("HKEY_LOCAL_MACHINE\\Perflib\\009", "Counter", "C:\\counter");
  mem.PutString("HKEY_LOCAL_MACHINE\\Perflib\\009\\Below", "v", "C:\\below");
  mem.Key("HKEY_LOCAL_MACHINE\\Perflib\\009")->failEnumeration = true;
  mem.PutString("HKEY_CURRENT_USER\\Control Panel\\International\\??????", "v", "C:\\x");
  mem.PutString("HKEY_CURRENT_USER\\Control Panel\\International", "sLongDate", "C:\\y");
  mem.openFailure = [](const std::string& subKey) {
    return subKey.find('?') != std::string::npos ? kErrorFileNotFound : kErrorSuccess;
  };
  const Trace plain = Walk(mem, WalkMode::kPlain, ":\\", Owner{});
  const Trace fast = Walk(mem, WalkMode::kFast, ":\\", Owner{});
  EXPECT_EQ(fast, plain);
  EXPECT_EQ(plain.matchCount, 1);  // only sLongDate: Perflib\009 lists nothing, ?????? won't open
}

// Values are enumerated with their data before they are searched in name order; a key whose
// values hold more data than the walk keeps at once has the rest read again by name. Either way
// the hits are those of the plain walk, also when a name-matching value cannot be read.
TEST_F(FastWalk, KeysWithMoreValueDataThanIsHeldGiveTheSameWalk) {
  MemoryRegistry mem;
  const std::string big = "HKEY_CURRENT_USER\\Big";
  for (int i = 0; i < 12; ++i) {
    std::string data(300000, static_cast<char>('a' + i));
    if (i % 3 == 0) data.replace(static_cast<size_t>(1000 * i), 3, "C:\\");
    // Names out of their sorted order, so held and re-read values interleave in the search.
    mem.Put(big, Format("v%02d", (i * 7) % 12), kRegBinary, data);
  }
  mem.PutString(big, "small C:\\", "D:\\small");
  mem.PutString("HKEY_CURRENT_USER\\Big\\Below", "after", "E:\\after");
  // A name match whose data read fails: it hides the key-name hit and reports nothing itself.
  mem.PutString("HKEY_CURRENT_USER\\Gone C:\\", "vanishing C:\\", "F:\\x");
  mem.afterSizeQuery = [&](const std::string& name) {
    if (name == "vanishing C:\\")
      mem.Put("HKEY_CURRENT_USER\\Gone C:\\", name, kRegSz, std::string(64, 'g'));
  };
  const Trace plain = Walk(mem, WalkMode::kPlain, ":\\", Owner{});
  mem.PutString("HKEY_CURRENT_USER\\Gone C:\\", "vanishing C:\\", "F:\\x");
  const Trace fast = Walk(mem, WalkMode::kFast, ":\\", Owner{});
  EXPECT_EQ(fast, plain);
  EXPECT_EQ(plain.matchCount, 4 + 2);  // v00 v03 v06 v09, the small value, Below's value
  for (int stopAt = 1; stopAt <= plain.matchCount; ++stopAt) {
    mem.PutString("HKEY_CURRENT_USER\\Gone C:\\", "vanishing C:\\", "F:\\x");
    const Trace plainStopped = Walk(mem, WalkMode::kPlain, ":\\", Owner{.terminateAtHit = stopAt});
    mem.PutString("HKEY_CURRENT_USER\\Gone C:\\", "vanishing C:\\", "F:\\x");
    const Trace fastStopped = Walk(mem, WalkMode::kFast, ":\\", Owner{.terminateAtHit = stopAt});
    EXPECT_EQ(fastStopped, plainStopped) << "stopped at hit " << stopAt;
  }
}

// ---------------------------------------------------------------------------------------------
// NameOrder gives exactly the order of the pairwise sort.

TEST(NameOrderSort, MatchesThePairwiseSortUnderEveryComparison) {
  const TextCompareFn compares[] = {nullptr, &WordSortCompare, &ReversedCompare};
  for (const TextCompareFn compare : compares) {
    SetTextCompare(compare);
    NameOrder order;
    order.Learn();
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
      std::vector<std::string> names;
      const int n = static_cast<int>(rng() % 40);
      for (int i = 0; i < n; ++i) names.push_back(RandomName(rng, true));
      std::vector<std::string> expected = names;
      std::sort(expected.begin(), expected.end(),
                [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
      std::vector<std::string> got = names;
      order.Sort(got);
      ASSERT_EQ(got, expected) << "round " << round;
    }
    // Both ways were taken: the guess confirmed, and caught when it was wrong.
    EXPECT_GT(testing::NameOrderAccess::Confirmed(order), 0u);
    if (compare == &WordSortCompare) {
      EXPECT_GT(testing::NameOrderAccess::Fallbacks(order), 0u);
    }
  }
  SetTextCompare(nullptr);
}

// Hyphens and apostrophes do not count at all: different names compare equal, so only the very
// same steps of std::sort put them in the same order.
int TiedCompare(const std::string& a, const std::string& b) {
  auto strip = [](const std::string& s) {
    std::string out;
    for (char c : s) {
      if (c != '-' && c != '\'') out += UpperAscii(c);
    }
    return out;
  };
  return CompareTextAscii(strip(a), strip(b));
}

TEST(NameOrderSort, OrderIsThePermutationSortApplies) {
  const TextCompareFn compares[] = {nullptr, &WordSortCompare, &ReversedCompare, &TiedCompare};
  for (const TextCompareFn compare : compares) {
    SetTextCompare(compare);
    NameOrder order;
    order.Learn();
    std::mt19937 rng(11);
    int ties = 0;
    for (int round = 0; round < 400; ++round) {
      std::vector<std::string> names;
      const int n = static_cast<int>(rng() % 60);
      for (int i = 0; i < n; ++i) {
        // Now and then a name again with a hyphen or apostrophe inserted.
        if (i > 0 && rng() % 4 == 0) {
          std::string twin = names[rng() % names.size()];
          twin.insert(rng() % (twin.size() + 1), 1, rng() % 2 ? '-' : '\'');
          names.push_back(twin);
        } else {
          names.push_back(RandomName(rng, true));
        }
      }
      // Padding past the count must be left out.
      names.push_back("~~padding");
      const auto count = static_cast<std::size_t>(n);
      std::vector<std::string> sorted = names;
      order.Sort(sorted, count);
      const std::vector<std::uint32_t>& positions = order.Order(names, count);
      ASSERT_EQ(positions.size(), count);
      for (std::size_t k = 0; k < count; ++k) {
        ASSERT_EQ(names[positions[k]], sorted[k]) << "round " << round << " place " << k;
        if (k > 0 && CompareText(sorted[k - 1], sorted[k]) == 0 && sorted[k - 1] != sorted[k]) {
          ++ties;
        }
      }
    }
    if (compare == &TiedCompare) {
      EXPECT_GT(ties, 100) << "names that compare equal but differ should meet";
    }
  }
  SetTextCompare(nullptr);
}

TEST(NameOrderSort, SortsOnlyTheCountedPrefix) {
  SetTextCompare(nullptr);
  NameOrder order;
  std::vector<std::string> names = {"b", "C", "a", "untouched", "zz"};
  order.Sort(names, 3);
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "C", "untouched", "zz"}));
}

}  // namespace
}  // namespace calvorin
