// The fast walk against the plain walk on Wine's real registry: the whole stock prefix plus a
// subtree of awkward keys (paths past MAX_PATH, a name with no ANSI form, names that word
// sorting orders unlike their characters), walked both ways on the Win32 host.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "core/search_thread.h"
#include "core/text.h"
#include "win32/locale_compare.h"
#include "win32/search_thread_host.h"
#include "win32/unique_handle.h"
#include "win32/win_registry.h"

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
  const ULONGLONG giveUp = ::GetTickCount64() + 300000;
  while (!done && ::GetTickCount64() < giveUp) {
    ::MsgWaitForMultipleObjectsEx(0, nullptr, 1000, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
  }
}

Trace Walk(WalkMode mode) {
  Trace trace;
  bool ended = false;
  SearchThreadHost host(
      ":\\",
      [&](const std::string& keyPath, const std::string& valueName, const std::string& dataText,
          std::int32_t keyPos, std::int32_t namePos, std::int32_t dataPos, std::int32_t keyLen,
          std::int32_t nameLen, std::int32_t dataLen, Hkey root) {
        trace.events.push_back(Format("%s | %s | %s | %d %d %d | %d %d %d | %lx", keyPath.c_str(),
                                      valueName.c_str(), dataText.c_str(), keyPos, namePos, dataPos,
                                      keyLen, nameLen, dataLen, static_cast<unsigned long>(root)));
      },
      [&](std::int32_t keys, std::int32_t matches) {
        trace.events.push_back(Format("progress %d %d", keys, matches));
      });
  host.SetWalkMode(mode);
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
  }

  void TearDown() override { Cleanup(); }

  static void Cleanup() {
    TRegistry reg(SystemRegistry());
    reg.DeleteKey(std::string("\\") + kTestKey);
    ::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\CalvorinTests");
  }
};

TEST_F(FastWalkWine, StockPrefixWalkedBothWaysGivesTheSameWalk) {
  const Trace plain = Walk(WalkMode::kPlain);
  const Trace fast = Walk(WalkMode::kFast);
  EXPECT_EQ(plain.stopReason, srFinished);
  EXPECT_EQ(fast.stopReason, plain.stopReason);
  EXPECT_EQ(fast.keysSearched, plain.keysSearched);
  EXPECT_EQ(fast.matchCount, plain.matchCount);
  ASSERT_EQ(fast.events.size(), plain.events.size());
  for (size_t i = 0; i < plain.events.size(); ++i) {
    ASSERT_EQ(fast.events[i], plain.events[i]) << "event " << i;
  }

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

}  // namespace
}  // namespace calvorin::win32
