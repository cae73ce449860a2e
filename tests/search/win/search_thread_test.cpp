// The registry walk on a real Win32 worker thread against Wine's registry, with the callbacks
// and the termination handler run on this (UI) thread while it pumps messages.
#include "search/search_thread.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "base/win/code_page.h"
#include "base/win/unique_handle.h"
#include "registry/win/win_registry.h"
#include "search/win/locale_compare.h"
#include "search/win/search_thread_host.h"
#include "support/forwarding_registry.h"
#include "support/memory_registry.h"
#include "support/root_keys.h"
#include "support/win/search_thread_host_access.h"
#include "support/win/wine_test_support.h"

namespace calvorin::win32 {
namespace {

using namespace std::string_literals;
using testing::RootKeyName;
constexpr auto Finished = testing::SearchThreadHostAccess::Finished;
constexpr auto FatalException = testing::SearchThreadHostAccess::FatalException;

constexpr const char* kTestKey = "Software\\CalvorinTests\\Search";
const std::string kTestPath = "HKEY_CURRENT_USER\\software\\calvorintests\\search";
const std::vector<std::string> kAllButCurrentUser = {"HKEY_LOCAL_MACHINE", "HKEY_USERS",
                                                     "HKEY_CURRENT_CONFIG", "HKEY_CLASSES_ROOT"};

// Dispatches sent and posted messages until `done` holds. The deadline only keeps a broken
// build from hanging the suite; nothing is measured.
void PumpUntil(const std::function<bool()>& done) {
  if (!testing::PumpMessagesUntil(done)) ADD_FAILURE() << "the walk did not end";
}

std::string Describe(const TResult& h) {
  return Format("%s | %s | %s | %d %d %d | %d %d %d", h.KeyPath.c_str(), h.ValueName.c_str(),
                h.DataText.c_str(), h.KeyPos, h.NamePos, h.DataPos, h.KeyLen, h.NameLen, h.DataLen);
}

// One scan as the main window runs it: callbacks record, the handler notes the end.
struct Scan {
  explicit Scan(const std::string& searchText, RegistryApi& api = SystemRegistry()) {
    auto token = this->token;  // released with the thread object
    host = std::make_unique<SearchThreadHost>(
        searchText,
        [this, token](const TResult& hit) {
          CheckThread();
          hits.push_back(hit);
          if (onHit) onHit(hits.back());
        },
        [this, token](std::int32_t keys, std::int32_t matches) {
          CheckThread();
          progress.push_back(keys);
          EXPECT_EQ(matches, static_cast<std::int32_t>(hits.size()));
          if (onProgress) onProgress(keys);
        },
        api);
    host->SetOnTerminate([this] {
      CheckThread();
      ended = true;
      stopReason = host->Thread().StopReason;
      keysSearched = host->Thread().KeysSearched;
      matchCount = host->Thread().MatchCount;
    });
  }

  void CheckThread() {
    if (::GetCurrentThreadId() != uiThread) ++offThreadCalls;
  }

  void Run() {
    host->Resume();
    PumpUntil([this] { return ended; });
  }

  std::vector<std::string> HitsUnder(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& h : hits) {
      if (h.KeyPath.compare(0, prefix.size(), prefix) == 0) out.push_back(Describe(h));
    }
    return out;
  }

  std::shared_ptr<int> token = std::make_shared<int>(0);
  std::unique_ptr<SearchThreadHost> host;
  std::vector<TResult> hits;
  std::vector<std::int32_t> progress;
  std::function<void(const TResult&)> onHit;
  std::function<void(std::int32_t)> onProgress;
  DWORD uiThread = ::GetCurrentThreadId();
  int offThreadCalls = 0;
  bool ended = false;
  int stopReason = -1;
  int keysSearched = -1;
  int matchCount = -1;
};

void SetValue(HKEY key, const char* name, DWORD type, const std::string& bytes) {
  ASSERT_EQ(::RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS)
      << name;
}

UniqueRegKey CreateKey(const std::string& path) {
  UniqueRegKey key;
  EXPECT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, key.put(), nullptr),
            ERROR_SUCCESS)
      << path;
  return key;
}

std::string LongText() {
  std::string text;
  for (int i = 0; i < 300; ++i) text += static_cast<char>('a' + i % 26);
  text[199] = ':';
  text[200] = '\\';
  return text;
}

class SearchThreadWine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InstallLocaleCompare(); }
  static void TearDownTestSuite() { SetTextCompare(nullptr); }

  void SetUp() override {
    Cleanup();
    SkipKeys().clear();
    const std::string data = std::string(kTestKey) + "\\Data";
    UniqueRegKey key = CreateKey(data);
    HKEY k = key.get();
    SetValue(k, "", REG_SZ, "C:\\default\\file.txt\0"s);
    SetValue(k, "Abig:\\", REG_DWORD_BIG_ENDIAN, "\0\0\x3A\x5C"s);
    SetValue(k, "Bdword", REG_DWORD, "\x3A\x5C\0\0"s);
    SetValue(k, "Cdword:\\", REG_DWORD, "\x3A\x5C\0\0"s);
    SetValue(k, "Dboth:\\", REG_SZ, "e:\\x\0"s);
    SetValue(k, "Eexpand", REG_EXPAND_SZ, "%SystemRoot%;c:\\y\0"s);
    SetValue(k, "Flong", REG_SZ, LongText() + '\0');
    SetValue(k, "Gwide", REG_BINARY, "C\0:\0\\\0"s);
    SetValue(k, "Hmulti", REG_MULTI_SZ, "a:\\b\0\0"s);
    SetValue(k, "Inone", REG_NONE, "x:\\y"s);
    SetValue(k, "Jnohit", REG_SZ, "nothing\0"s);
    SetValue(k, "Kresource", REG_RESOURCE_LIST, "\x01q:\\"s);
    SetValue(k, "Llink", REG_LINK, "l:\\k"s);
    SetValue(k, "Mcontrol", REG_SZ, "\tz:\\\t\0"s);
    SetValue(k, "Nqword", REG_QWORD, "\x3A\x5C\0\0\0\0\0\0"s);
    SetValue(k, "Ofull", REG_FULL_RESOURCE_DESCRIPTOR, "o:\\"s);
    SetValue(k, "Preq", REG_RESOURCE_REQUIREMENTS_LIST, "p:\\"s);
    SetValue(CreateKey(data + "\\SubKey").get(), "Path", REG_SZ, "q:\\r\0"s);
    SetValue(CreateKey(std::string(kTestKey) + "\\Later").get(), "v", REG_SZ, "r:\\s\0"s);
    // The walk does not follow a registry link: Data's values are met once, under Data's path.
    ASSERT_TRUE(testing::MakeRegistryLink(std::string(kTestKey) + "\\Link", data));
  }

  void TearDown() override {
    SkipKeys().clear();
    Cleanup();
  }

  // The shared parent goes too once no suite has keys left under it.
  static void Cleanup() {
    testing::RemoveRegistryLink(std::string(kTestKey) + "\\Link");
    testing::ScopedTestKey::Remove(kTestKey);
  }

  static std::vector<std::string> ExpectedHits() {
    const std::string data = kTestPath + "\\data";
    const std::string longExcerpt = "\xAB\x85" + LongText().substr(150, 100) + "\x85\xBB";
    return {
        data + " |  | C:\\default\\file.txt | 0 0 2 | 0 0 2",
        data + " | Abig:\\ | 0x00003A5C (14940) | 0 5 0 | 0 2 0",
        data + " | Cdword:\\ | 0x00005C3A (23610) | 0 7 0 | 0 2 0",
        data + " | Dboth:\\ | e:\\x | 0 6 2 | 0 2 2",
        data + " | Eexpand | %SystemRoot%;c:\\y | 0 0 15 | 0 0 2",
        data + " | Flong | " + longExcerpt + " | 0 0 52 | 0 0 2",
        data + " | Gwide | C.:.\\. | 0 0 3 | 0 0 4",
        data + " | Hmulti | a:\\b. | 0 0 2 | 0 0 2",
        data + " | Inone | x:\\y | 0 0 2 | 0 0 2",
        data + " | Kresource | .q:\\ | 0 0 3 | 0 0 2",
        data + " | Llink | l:\\k | 0 0 2 | 0 0 2",
        data + " | Mcontrol | .z:\\. | 0 0 3 | 0 0 2",
        data + " | Nqword | :\\...... | 0 0 1 | 0 0 2",
        data + " | Ofull | o:\\ | 0 0 2 | 0 0 2",
        data + " | Preq | p:\\ | 0 0 2 | 0 0 2",
        data + "\\subkey | Path | q:\\r | 0 0 2 | 0 0 2",
        kTestPath + "\\later | v | r:\\s | 0 0 2 | 0 0 2",
    };
  }
};

// Run once more under code page 932 (CMakeLists.txt): the second byte of 83 43 is no capital.
TEST_F(SearchThreadWine, DoubleByteCodePageKeyPath) {
  if (GetACP() != 932) GTEST_SKIP() << "needs code page 932";
  SetValue(CreateKey(std::string(kTestKey) + "\\\x83\x7D\x83\x43").get(), "v", REG_SZ, "C:\\k\0"s);
  InstallAnsiLeadBytes();
  SkipKeys() = kAllButCurrentUser;
  Scan scan(":\\");
  scan.Run();
  SetLeadByteTest(nullptr);
  EXPECT_EQ(scan.HitsUnder(kTestPath + "\\\x83\x7D\x83"),
            std::vector<std::string>{kTestPath + "\\\x83\x7D\x83\x43 | v | C:\\k | 0 0 2 | 0 0 2"});
}

TEST_F(SearchThreadWine, FindsEveryKindOfValueInTheTestSubtree) {
  SkipKeys() = kAllButCurrentUser;
  Scan scan(":\\");
  scan.Run();
  ASSERT_TRUE(scan.ended);
  EXPECT_EQ(scan.stopReason, srFinished);
  EXPECT_EQ(scan.offThreadCalls, 0);
  EXPECT_EQ(scan.HitsUnder(kTestPath), ExpectedHits());
  EXPECT_EQ(scan.matchCount, static_cast<int>(scan.hits.size()));
  for (const auto& h : scan.hits) EXPECT_EQ(h.Root, kHkeyCurrentUser) << h.KeyPath;
  // Every progress report came at a multiple of 100 below the total.
  for (size_t i = 0; i < scan.progress.size(); ++i) {
    EXPECT_EQ(scan.progress[i], static_cast<std::int32_t>(100 * (i + 1)));
  }
  EXPECT_EQ(scan.progress.size(), static_cast<size_t>(scan.keysSearched / 100));
  EXPECT_FALSE(FatalException(*scan.host));
}

TEST_F(SearchThreadWine, ReportsAKeyWhoseOwnNameMatches) {
  testing::RemoveRegistryLink(std::string(kTestKey) + "\\Link");  // its data names the key too
  SkipKeys() = kAllButCurrentUser;
  Scan scan("ORINtests");
  scan.Run();
  const std::string key = "HKEY_CURRENT_USER\\software\\calvorintests";
  const int keyPos = static_cast<int>(key.size()) - 13 + 5;
  EXPECT_EQ(scan.HitsUnder(key),
            (std::vector<std::string>{
                Format("%s | \x97\x97 | \x97\x97 | %d 0 0 | 9 0 0", key.c_str(), keyPos)}));
  EXPECT_EQ(scan.stopReason, srFinished);
}

TEST_F(SearchThreadWine, ExceptionFromTheMatchCallbackEndsOnlyThatKey) {
  SkipKeys() = kAllButCurrentUser;
  Scan scan(":\\");
  int thrown = 0;
  scan.onHit = [&](const TResult& h) {
    if (h.KeyPath == kTestPath + "\\data") {
      ++thrown;
      throw std::runtime_error("refused on the UI thread");
    }
  };
  scan.Run();
  const std::string data = kTestPath + "\\data";
  // The first value's call threw in the worker: Data's other values and its subkey are left,
  // the sibling is still walked and the walk finishes.
  EXPECT_EQ(thrown, 1);
  EXPECT_EQ(scan.HitsUnder(kTestPath),
            (std::vector<std::string>{data + " |  | C:\\default\\file.txt | 0 0 2 | 0 0 2",
                                      kTestPath + "\\later | v | r:\\s | 0 0 2 | 0 0 2"}));
  EXPECT_EQ(scan.stopReason, srFinished);
  EXPECT_EQ(scan.matchCount, static_cast<int>(scan.hits.size()) - 1);
}

TEST_F(SearchThreadWine, TerminationMidWalkStopsBeforeTheNextRoot) {
  Scan scan(":\\");
  scan.onProgress = [&](std::int32_t) { scan.host->Terminate(); };
  scan.Run();
  ASSERT_TRUE(scan.ended);
  EXPECT_EQ(scan.stopReason, srStopped);
  EXPECT_EQ(scan.keysSearched, 100);
  EXPECT_EQ(scan.progress, (std::vector<std::int32_t>{100}));
  for (const auto& h : scan.hits) EXPECT_EQ(h.Root, kHkeyCurrentUser) << h.KeyPath;
  EXPECT_EQ(scan.offThreadCalls, 0);
}

TEST_F(SearchThreadWine, TerminationBeforeTheStartSkipsTheWalkButEnds) {
  Scan scan(":\\");
  scan.host->Terminate();
  scan.Run();
  ASSERT_TRUE(scan.ended);
  EXPECT_EQ(scan.stopReason, srCreated);
  EXPECT_EQ(scan.keysSearched, 0);
  EXPECT_TRUE(scan.hits.empty());
  EXPECT_TRUE(Finished(*scan.host));
}

TEST_F(SearchThreadWine, OwnerGoneMidWalkGetsNoMoreCallsAndTheThreadIsReleased) {
  SkipKeys() = kAllButCurrentUser;
  Scan scan(":\\");
  std::weak_ptr<int> alive = scan.token;
  scan.token.reset();
  int callsAfterDetach = 0;
  bool detached = false;
  scan.onHit = [&](const TResult& h) {
    if (detached) {
      ++callsAfterDetach;
    } else if (h.KeyPath == kTestPath + "\\data") {
      // The window closes inside a callback; the value in hand is still finished by the worker
      // and its synchronous call arrives after the owner is gone.
      detached = true;
      scan.host.reset();
    }
  };
  auto* host = scan.host.get();
  host->Resume();
  PumpUntil([&] { return alive.expired(); });
  EXPECT_TRUE(detached);
  EXPECT_EQ(callsAfterDetach, 0);
  EXPECT_FALSE(scan.ended);  // no termination handler for a detached owner
}

TEST_F(SearchThreadWine, OwnerGoneBeforeResumeReleasesTheThread) {
  Scan scan(":\\");
  std::weak_ptr<int> alive = scan.token;
  scan.token.reset();
  scan.host.reset();
  PumpUntil([&] { return alive.expired(); });
  EXPECT_TRUE(scan.hits.empty());
  EXPECT_FALSE(scan.ended);
}

TEST_F(SearchThreadWine, TerminationHandlerMayReleaseTheThreadObject) {
  SkipKeys() = kAllButCurrentUser;
  Scan scan(":\\");
  std::weak_ptr<int> alive = scan.token;
  scan.token.reset();
  std::uint8_t reason = 255;
  scan.host->SetOnTerminate([&] {
    reason = scan.host->Thread().StopReason;
    scan.host.reset();
    scan.ended = true;
  });
  scan.Run();
  PumpUntil([&] { return alive.expired(); });
  EXPECT_EQ(reason, srFinished);
  EXPECT_FALSE(scan.host);
}

TEST_F(SearchThreadWine, ExceptionEscapingARootStillRunsTheHandler) {
  // HKEY_CURRENT_USER and 98 subkeys are keys 1 to 99; the progress call of the 100th key, the
  // root HKEY_LOCAL_MACHINE, throws on this thread outside any key's guard.
  calvorin::testing::MemoryRegistry mem;
  for (int i = 0; i < 98; ++i) mem.Key(Format("HKEY_CURRENT_USER\\k%03d", i));
  mem.PutString("HKEY_USERS", "v", "c:\\");
  Scan scan(":\\", mem);
  scan.onProgress = [](std::int32_t) { throw std::runtime_error("progress refused"); };
  scan.Run();
  ASSERT_TRUE(scan.ended);
  EXPECT_EQ(scan.stopReason, srRunning);
  EXPECT_EQ(scan.keysSearched, 100);
  EXPECT_TRUE(scan.hits.empty());
  ASSERT_TRUE(FatalException(*scan.host));
  try {
    std::rethrow_exception(FatalException(*scan.host));
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "progress refused");
  }
  EXPECT_EQ(mem.OpenHandles(), 0u);
}

// Forwards to the real registry and notes every call that fails on a key the walk opened.
class ObservingApi : public testing::ForwardingRegistry {
 public:
  ObservingApi() : ForwardingRegistry(SystemRegistry()) {}
  long OpenKeyItself(Hkey parent, const std::string& subKey, std::uint32_t access,
                     Hkey* result) override {
    const long rc = inner_.OpenKeyItself(parent, subKey, access, result);
    const std::string path = std::string(RootKeyName(parent)) + "\\" + subKey;
    if (rc == kErrorSuccess) {
      paths[*result] = path;
    } else if (access == kKeyQueryValue) {  // the last of the read-only attempts
      Note(path, "open", rc);
    }
    return rc;
  }
  long CreateKey(Hkey, const std::string&, std::uint32_t, Hkey*) override { return 5; }
  long CloseKey(Hkey key) override {
    paths.erase(key);
    return inner_.CloseKey(key);
  }
  long EnumKey(Hkey key, std::uint32_t index, std::string* name) override {
    const long rc = inner_.EnumKey(key, index, name);
    if (rc != kErrorSuccess) Note(paths[key], Format("EnumKey[%u]", index), rc);
    if (rc == kErrorSuccess && name->empty()) Note(paths[key], "empty subkey name", 0);
    return rc;
  }
  long EnumValue(Hkey key, std::uint32_t index, std::string* name) override {
    const long rc = inner_.EnumValue(key, index, name);
    if (rc != kErrorSuccess) Note(paths[key], Format("EnumValue[%u]", index), rc);
    return rc;
  }
  long QueryInfoKey(Hkey key, KeyInfo* info) override {
    const long rc = inner_.QueryInfoKey(key, info);
    if (rc != kErrorSuccess) Note(paths[key], "QueryInfoKey", rc);
    return rc;
  }
  long QueryValue(Hkey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                  std::uint32_t* size) override {
    const long rc = inner_.QueryValue(key, name, type, data, size);
    ++valueQueries;
    if (rc != kErrorSuccess) Note(paths[key] + " [" + name + "]", "QueryValue", rc);
    return rc;
  }
  long SetValue(Hkey, const std::string&, std::uint32_t, const std::uint8_t*,
                std::uint32_t) override {
    return 5;
  }
  long DeleteValue(Hkey, const std::string&) override { return 5; }
  long DeleteKey(Hkey, const std::string&) override { return 5; }

  void Note(const std::string& where, const std::string& what, long rc) {
    odd.push_back(Format("%s: %s -> %ld", where.c_str(), what.c_str(), rc));
  }

  std::map<Hkey, std::string> paths;
  std::vector<std::string> odd;
  long valueQueries = 0;
};

TEST_F(SearchThreadWine, WalkOfEveryRootOfTheStockPrefixFinishes) {
  ObservingApi api;
  Scan scan(":\\", api);
  const ULONGLONG start = ::GetTickCount64();
  scan.Run();
  const ULONGLONG elapsed = ::GetTickCount64() - start;
  ASSERT_TRUE(scan.ended);
  EXPECT_EQ(scan.stopReason, srFinished);
  EXPECT_FALSE(FatalException(*scan.host));
  EXPECT_EQ(scan.offThreadCalls, 0);
  EXPECT_TRUE(api.paths.empty()) << "keys left open";

  std::map<Hkey, int> perRoot;
  for (const auto& h : scan.hits) ++perRoot[h.Root];
  // The subtree of this suite is seen under HKEY_CURRENT_USER and again through HKEY_USERS.
  EXPECT_EQ(scan.HitsUnder(kTestPath), ExpectedHits());
  std::printf("[ walk     ] %d keys, %d hits, %ld value queries, %llu ms\n", scan.keysSearched,
              scan.matchCount, api.valueQueries, static_cast<unsigned long long>(elapsed));
  for (const auto& root : kSearchRoots) {
    std::printf("[ walk     ] %-20s %d hits\n", root.name, perRoot[root.handle]);
  }
  std::printf("[ walk     ] %zu failed calls\n", api.odd.size());
  for (size_t i = 0; i < api.odd.size() && i < 40; ++i) {
    std::printf("[ walk     ]   %s\n", api.odd[i].c_str());
  }
}

// The calls come back to back: the UI thread serves them in turns and must still paint, run its
// timers, answer messages sent from other threads, handle posted messages and take input while
// the walk goes on, as a thread that only pumps messages would.
struct Flood {
  static constexpr int kValues = 3000;

  Flood() : scan(":\\", mem) {
    for (int i = 0; i < kValues; ++i) {
      mem.PutString("HKEY_CURRENT_USER\\Flood", Format("v%05d", i), Format("c:\\f%d", i));
    }
  }

  // Each hit takes a while on this thread, so that the flood lasts long enough for the window's
  // messages to have to come in between; nothing here is measured.
  static void Busy() {
    LARGE_INTEGER now, frequency;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    const LONGLONG until = now.QuadPart + frequency.QuadPart / 2000;  // half a millisecond
    do {
      ::QueryPerformanceCounter(&now);
    } while (now.QuadPart < until);
  }

  calvorin::testing::MemoryRegistry mem;
  Scan scan;
};

struct Seen {
  int paint = -1, timer = -1, posted = -1, sent = -1, key = -1;
};
Seen* g_seen = nullptr;
const int* g_hitsSoFar = nullptr;

LRESULT CALLBACK FloodWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto note = [](int& when) {
    if (when < 0) when = *g_hitsSoFar;
  };
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      ::BeginPaint(hwnd, &ps);
      ::EndPaint(hwnd, &ps);
      note(g_seen->paint);
      return 0;
    }
    case WM_TIMER:
      ::KillTimer(hwnd, wParam);
      note(g_seen->timer);
      return 0;
    case WM_APP:
      note(g_seen->posted);
      return 0;
    case WM_APP + 1:
      note(g_seen->sent);
      return 42;
    case WM_KEYDOWN:
      if (wParam == VK_F7) note(g_seen->key);
      return 0;
  }
  return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

DWORD WINAPI SendFromOtherThread(void* param) {
  auto* target = static_cast<std::pair<HWND, LRESULT*>*>(param);
  *target->second = ::SendMessageA(target->first, WM_APP + 1, 0, 0);
  return 0;
}

TEST_F(SearchThreadWine, WindowStaysResponsiveWhileCallsComeBackToBack) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = &FloodWindowProc;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.lpszClassName = "CalvorinFloodTest";
  ::RegisterClassA(&wc);
  HWND window = ::CreateWindowExA(0, wc.lpszClassName, "flood", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                  10, 10, 200, 100, nullptr, nullptr, wc.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  ::SetForegroundWindow(window);
  ::SetFocus(window);
  ::UpdateWindow(window);
  PumpUntil([] { return true; });

  Flood flood;
  Seen seen;
  int hitsSoFar = 0;
  g_seen = &seen;
  g_hitsSoFar = &hitsSoFar;
  LRESULT answer = 0;
  std::pair<HWND, LRESULT*> target(window, &answer);
  HANDLE sender = nullptr;
  const int start = 100;
  flood.scan.onHit = [&](const TResult&) {
    hitsSoFar = static_cast<int>(flood.scan.hits.size());
    if (hitsSoFar == start) {
      ::InvalidateRect(window, nullptr, TRUE);
      ::SetTimer(window, 7, 20, nullptr);
      ::PostMessageA(window, WM_APP, 0, 0);
      sender = ::CreateThread(nullptr, 0, &SendFromOtherThread, &target, 0, nullptr);
      INPUT key[2] = {};
      key[0].type = key[1].type = INPUT_KEYBOARD;
      key[0].ki.wVk = key[1].ki.wVk = VK_F7;
      key[1].ki.dwFlags = KEYEVENTF_KEYUP;
      ::SendInput(2, key, sizeof(INPUT));
    }
    Flood::Busy();
  };
  flood.scan.Run();
  if (sender != nullptr) {
    ::WaitForSingleObject(sender, 10000);
    ::CloseHandle(sender);
  }
  g_seen = nullptr;
  ::DestroyWindow(window);

  ASSERT_EQ(static_cast<int>(flood.scan.hits.size()), Flood::kValues);
  EXPECT_EQ(flood.scan.offThreadCalls, 0);
  EXPECT_EQ(flood.scan.stopReason, srFinished);
  EXPECT_EQ(answer, 42);
  // Each came in while hits were still arriving, not after the walk.
  for (auto [what, when] : {std::pair{"paint", seen.paint}, std::pair{"timer", seen.timer},
                            std::pair{"posted", seen.posted}, std::pair{"sent", seen.sent},
                            std::pair{"input", seen.key}}) {
    EXPECT_GE(when, start) << what;
    EXPECT_LT(when, Flood::kValues / 2) << what;
  }
  // In the walk's order: the values sorted by name.
  for (int i = 0; i < Flood::kValues; i += 997) {
    EXPECT_EQ(flood.scan.hits[static_cast<size_t>(i)].ValueName, Format("v%05d", i));
  }
}

}  // namespace
}  // namespace calvorin::win32
