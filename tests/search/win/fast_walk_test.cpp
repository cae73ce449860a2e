// The fast walk against the plain walk on Wine's real registry: the whole stock prefix plus a
// subtree of awkward keys (paths past MAX_PATH, a name with no ANSI form, names that word
// sorting orders unlike their characters), walked both ways on the Win32 host.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/text.h"
#include "base/win/unique_handle.h"
#include "registry/win/win_registry.h"
#include "search/search_thread.h"
#include "search/win/locale_compare.h"
#include "search/win/search_thread_host.h"
#include "search/win/startup.h"
#include "support/plain_walk.h"
#include "support/win/wine_test_support.h"

namespace calvorin::win32 {
namespace {

constexpr const char* kTestKey = "Software\\CalvorinTests\\FastWalk";
const std::string kTestPath = "HKEY_CURRENT_USER\\software\\calvorintests\\fastwalk";

struct Trace {
  std::vector<std::string> events;
  int keysSearched = -1;
  int matchCount = -1;
  int stopReason = -1;
};

void Pump(const bool& done) {
  testing::PumpMessagesUntil([&done] { return done; });
}

// The registry as the fast walk read it before values came with their data: the name from
// RegEnumValueA, then the data by that name from RegQueryValueExA.
class TwoCallRegistry : public WinRegistryApi {
 public:
  long EnumValueData(Hkey key, std::uint32_t index, std::string* name, std::uint32_t* type,
                     std::vector<std::uint8_t>& buffer, std::uint32_t* size,
                     long* readResult) override {
    return RegistryApi::EnumValueData(key, index, name, type, buffer, size, readResult);
  }
};

using testing::WalkMode;

Trace Walk(WalkMode mode, RegistryApi& api = SystemRegistry()) {
  Trace trace;
  bool ended = false;
  SearchThreadHost host(testing::MakeSearchThread(
      mode, api, ":\\",
      [&](const TResult& h) {
        trace.events.push_back(Format("%s | %s | %s | %d %d %d | %d %d %d | %lx", h.KeyPath.c_str(),
                                      h.ValueName.c_str(), h.DataText.c_str(), h.KeyPos, h.NamePos,
                                      h.DataPos, h.KeyLen, h.NameLen, h.DataLen,
                                      static_cast<unsigned long>(h.Root)));
      },
      [&](std::int32_t keys, std::int32_t matches) {
        trace.events.push_back(Format("progress %d %d", keys, matches));
      }));
  host.SetOnTerminate([&] {
    trace.keysSearched = host.Thread().KeysSearched;
    trace.matchCount = host.Thread().MatchCount;
    trace.stopReason = host.Thread().StopReason;
    ended = true;
  });
  host.Resume();
  Pump(ended);
  EXPECT_TRUE(ended);
  return trace;
}

UniqueRegKey Create(HKEY parent, const std::string& name) {
  UniqueRegKey key;
  EXPECT_EQ(::RegCreateKeyExA(parent, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              key.put(), nullptr),
            ERROR_SUCCESS)
      << name;
  return key;
}

void PutPath(HKEY key, const std::string& data) {
  const std::string bytes = data + '\0';
  ASSERT_EQ(::RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS);
}

class FastWalkWine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InstallLocaleCompare(); }
  static void TearDownTestSuite() { SetTextCompare(nullptr); }

  void SetUp() override {
    SkipKeys().clear();
    Cleanup();
    UniqueRegKey top = Create(HKEY_CURRENT_USER, kTestKey);
    // A chain whose absolute paths pass MAX_PATH characters part-way down.
    UniqueRegKey level = Create(top.get(), "Deep");
    for (int i = 0; i < 12; ++i) {
      level = Create(level.get(), Format("Level%02d_%s", i, std::string(24, 'n').c_str()));
      PutPath(level.get(), Format("C:\\deep\\%d", i));
    }
    // Names whose locale order is not their characters' order, so the quick order is caught.
    for (const char* name : {"a-b", "ab", "a'c", "_x", "{1-2}", "Zeta", "zeta2", "\xC4gypt",
                             "co-op", "coop", "~tilde", "9lives"}) {
      PutPath(Create(top.get(), std::string("Sort\\") + name).get(), "C:\\sort");
    }
    // A name with no ANSI form: enumerated as question marks, which open nothing.
    UniqueRegKey wide;
    ASSERT_EQ(::RegCreateKeyExW(top.get(), L"\x4E2D\x6587\x540D", 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, wide.put(), nullptr),
              ERROR_SUCCESS);
    PutPath(wide.get(), "C:\\unreachable");
    // Values whose names or data the ANSI calls render inexactly, next to the values their
    // renderings name, and string data in shapes that are not plain terminated text.
    UniqueRegKey values = Create(top.get(), "Values");
    const auto put = [&](const std::wstring& name, DWORD type, const std::wstring& text,
                         size_t bytes) {
      std::wstring data = text;
      data.resize((bytes + 1) / sizeof(wchar_t), L'\0');
      ASSERT_EQ(
          ::RegSetValueExW(values.get(), name.c_str(), 0, type,
                           reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(bytes)),
          ERROR_SUCCESS);
    };
    const auto putZ = [&](const std::wstring& name, DWORD type, const std::wstring& text) {
      put(name, type, text, (text.size() + 1) * sizeof(wchar_t));
    };
    putZ(L"Abc", REG_SZ, L"C:\\real abc");
    putZ(L"\u0100bc", REG_SZ, L"C:\\a with macron");
    putZ(L"\u0100xy C:\\", REG_SZ, L"C:\\unreadable, name hit hidden");
    putZ(L"???", REG_EXPAND_SZ, L"C:\\real question marks");
    putZ(L"\x4E2D\x6587\x540D", REG_SZ, L"C:\\cjk name");
    putZ(L"\x041F\x0443 C:\\", REG_SZ, L"no drive");
    putZ(L"caf\x00E9 C:\\", REG_SZ, L"latin1 name");
    putZ(L"emoji \xD83D\xDE00", REG_SZ, L"C:\\emoji");
    putZ(L"data cyrillic", REG_SZ, L"C:\\\x041F\x0443\x0442\x044C");
    putZ(L"data best fit", REG_SZ, L"\x0100:\\\x2013");
    put(L"unterminated", REG_SZ, L"C:\\unterminated", 30);
    put(L"odd length", REG_EXPAND_SZ, L"C:\\odd", 11);
    put(L"embedded", REG_SZ, std::wstring(L"x\0C:\\after nul", 14), 32);
    put(L"multi", REG_MULTI_SZ, std::wstring(L"one\0C:\\two\0\0", 12), 24);
    put(L"wide binary", REG_BINARY, L"C:\\wide", 16);
    putZ(L"large", REG_SZ, std::wstring(40000, L'q') + L"C:\\large");
    putZ(L"", REG_SZ, L"C:\\default");
  }

  void TearDown() override { Cleanup(); }

  // The whole tree, its key without an ANSI name too (which no ANSI call can name).
  static void Cleanup() { testing::ScopedTestKey::Remove(kTestKey); }
};

void ExpectSameWalk(const Trace& got, const Trace& expected, const char* what) {
  EXPECT_EQ(got.stopReason, expected.stopReason) << what;
  EXPECT_EQ(got.keysSearched, expected.keysSearched) << what;
  EXPECT_EQ(got.matchCount, expected.matchCount) << what;
  ASSERT_EQ(got.events.size(), expected.events.size()) << what;
  for (size_t i = 0; i < expected.events.size(); ++i) {
    ASSERT_EQ(got.events[i], expected.events[i]) << what << ", event " << i;
  }
}

TEST_F(FastWalkWine, StockPrefixWalkedBothWaysGivesTheSameWalk) {
  const Trace plain = Walk(WalkMode::kPlain);
  const Trace fast = Walk(WalkMode::kFast);
  TwoCallRegistry twoCalls;
  const Trace fastTwoCalls = Walk(WalkMode::kFast, twoCalls);
  EXPECT_EQ(plain.stopReason, srFinished);
  ExpectSameWalk(fast, plain, "fast walk");
  ExpectSameWalk(fastTwoCalls, plain, "fast walk, two calls per value");

  // The awkward values: what the ANSI calls make of them, shown the same by every walk.
  std::vector<std::string> valueHits;
  for (const auto& e : plain.events) {
    if (e.rfind(kTestPath + "\\values |", 0) == 0) valueHits.push_back(e.substr(kTestPath.size()));
  }
  for (const char* expected :
       {"\\values | Abc | C:\\real abc |", "\\values | ??? | C:\\real question marks |",
        "\\values | caf\xE9 C:\\ | \x97\x97 |", "\\values | large | \xAB\x85",
        "\\values | embedded | x.C:\\after nul. |", "\\values | multi | one.C:\\two. |",
        "\\values | odd length | C:\\od |", "\\values | unterminated | C:\\unterminated |",
        "\\values | wide binary | C.:.\\.w.i.d.e... |", "\\values |  | C:\\default |"}) {
    EXPECT_NE(std::find_if(valueHits.begin(), valueHits.end(),
                           [&](const std::string& h) { return h.rfind(expected, 0) == 0; }),
              valueHits.end())
        << expected;
  }
  for (const auto& h : valueHits) {
    EXPECT_EQ(h.find("unreadable"), std::string::npos) << h;
    EXPECT_EQ(h.find("macron"), std::string::npos) << h;
    // Names with no ANSI form that name no value: their data is never read, so no hit.
    EXPECT_NE(h.rfind("\\values | ?? C:\\", 0), 0u) << h;
    EXPECT_NE(h.rfind("\\values | emoji", 0), 0u) << h;
    // Data with no exact ANSI form is never shown as its look-alike.
    EXPECT_NE(h.rfind("\\values | data", 0), 0u) << h;
  }
  // Each value whose name and data have exact ANSI forms gives one hit; the look-alike names
  // ("Abc" for U+0100 "bc", "???" for the CJK name) no longer read the values they resemble.
  EXPECT_EQ(valueHits.size(), 10u);

  // The subtree shows what both walks do with the awkward keys.
  std::vector<std::string> deep;
  int sorted = 0;
  for (const auto& e : plain.events) {
    if (e.rfind(kTestPath + "\\deep", 0) == 0) deep.push_back(e);
    if (e.rfind(kTestPath + "\\sort\\", 0) == 0) ++sorted;
    EXPECT_EQ(e.find("unreachable"), std::string::npos) << e;
  }
  EXPECT_EQ(sorted, 12);
  // Wine's RegOpenKeyExA cannot open paths past MAX_PATH, so the chain is cut part-way.
  EXPECT_GT(deep.size(), 3u);
  EXPECT_LT(deep.size(), 12u);
  std::printf("[ fastwalk ] %d keys, %d hits, %zu of 12 deep levels reached\n", plain.keysSearched,
              plain.matchCount, deep.size());
}

// The fast walk looks keys up in the skip list by bisection over the list in the locale's order;
// the plain walk compares with every entry. The program's own list (the aliased roots) plus
// entries in other cases, entries that word sorting places apart from their characters, a whole
// subtree of the stock prefix, one that names nothing and a duplicate.
TEST_F(FastWalkWine, SkipListUnderTheLocaleComparisonSkipsTheSameKeys) {
  BuildSkipKeys();
  const std::size_t aliases = SkipKeys().size();
  std::string level3 = UpperAscii(kTestPath) + "\\DEEP";
  for (int i = 0; i <= 3; ++i) level3 += Format("\\LEVEL%02d_%s", i, std::string(24, 'N').c_str());
  for (const std::string& entry :
       {UpperAscii(kTestPath) + "\\SORT\\CO-OP", kTestPath + "\\Sort\\_x", level3,
        std::string("HKEY_CLASSES_ROOT\\CLSID"), std::string("hkey_classes_root\\clsid"),
        std::string("HKEY_LOCAL_MACHINE\\Software\\CalvorinNoSuchKey")}) {
    SkipKeys().push_back(entry);
  }
  const Trace plain = Walk(WalkMode::kPlain);
  const Trace fast = Walk(WalkMode::kFast);
  EXPECT_EQ(plain.stopReason, srFinished);
  ExpectSameWalk(fast, plain, "fast walk with a skip list");

  int sorted = 0;
  int deep = 0;
  for (const auto& e : plain.events) {
    if (e.rfind(kTestPath + "\\sort\\", 0) == 0) ++sorted;
    if (e.rfind(kTestPath + "\\deep", 0) == 0) ++deep;
    EXPECT_NE(e.rfind(kTestPath + "\\sort\\co-op |", 0), 0u) << e;
    EXPECT_NE(e.rfind(kTestPath + "\\sort\\_x |", 0), 0u) << e;
    EXPECT_NE(e.rfind("HKEY_CLASSES_ROOT\\clsid\\", 0), 0u) << e;
  }
  // Only the two skipped names are gone; the deep chain stops at the skipped level.
  EXPECT_EQ(sorted, 10);
  EXPECT_EQ(deep, 3);
  std::printf("[ fastwalk ] %zu aliased roots skipped, %d keys walked\n", aliases,
              plain.keysSearched);
}

}  // namespace
}  // namespace calvorin::win32
