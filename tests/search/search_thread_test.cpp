#include "search/search_thread.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "base/text.h"
#include "support/memory_registry.h"
#include "support/path_parts.h"
#include "support/plain_walk.h"

namespace calvorin {
namespace {

using testing::MemoryRegistry;
using testing::SameTextAscii;
using testing::WalkMode;
using namespace std::string_literals;

const std::string kColonBackslash = ":\\";

// ---------------------------------------------------------------------------------------------
// Matching and display texts

struct NameCase {
  std::string searchText;
  std::string text;
  int expected;
};

TEST(TSearchThreadMatchName, FoldsAsciiLettersOnly) {
  const std::vector<NameCase> cases =
      {
          {":\\", "C:\\Windows", 2}, {":\\", "", 0},      {":\\", "C:/Windows", 0},
          {"ab", "xxAB", 3},         {"AB", "xxab", 3},   {"aB", "Ab", 1},
          {"\xE9", "\xC9", 0},  // no folding beyond ASCII
          {"\xE9", "x\xE9", 2},      {"", "anything", 0}, {":\\", ":\\:\\", 1},  // first occurrence
      };
  for (const auto& c : cases) {
    EXPECT_EQ(TSearchThread::MatchName(c.searchText, c.text), c.expected)
        << "search '" << c.searchText << "' in '" << c.text << "'";
  }
}

std::string Chars(int count, char fill = 'x') {
  return std::string(static_cast<size_t>(count), fill);
}

// A text of `total` characters, numbered so every excerpt is distinct, with ":\" at `at`.
std::string TextWithMatchAt(int total, int at) {
  std::string text;
  for (int i = 0; i < total; ++i) text += static_cast<char>('a' + i % 26);
  text[static_cast<size_t>(at - 1)] = ':';
  text[static_cast<size_t>(at)] = '\\';
  return text;
}

struct ExcerptCase {
  int total;
  int at;
  std::string expectedText;  // built from the source text below
  int expectedPos;
};

TEST(TSearchThreadFormatData, ExcerptsLongTexts) {
  const std::string t300_20 = TextWithMatchAt(300, 20);
  const std::string t300_200 = TextWithMatchAt(300, 200);
  const std::string t300_290 = TextWithMatchAt(300, 290);
  const std::string t101_49 = TextWithMatchAt(101, 49);
  const std::string t101_50 = TextWithMatchAt(101, 50);
  const std::string t100_99 = TextWithMatchAt(100, 99);
  const std::vector<ExcerptCase> cases = {
      {300, 20, Copy(t300_20, 1, 100) + kRightMarker, 20},
      {300, 200, kLeftMarker + Copy(t300_200, 151, 100) + kRightMarker, 52},
      {300, 290, kLeftMarker + Copy(t300_290, 201, 100), 92},
      // The middle of the match at 50 still counts as the head.
      {101, 49, Copy(t101_49, 1, 100) + kRightMarker, 49},
      {101, 50, kLeftMarker + Copy(t101_50, 2, 100), 51},
      // Exactly 100 characters are shown whole.
      {100, 99, t100_99, 99},
  };
  for (const auto& c : cases) {
    const std::string raw = TextWithMatchAt(c.total, c.at);
    const DataMatch m = TSearchThread::FormatData(kColonBackslash, raw, c.at, false,
                                                  static_cast<std::uint32_t>(raw.size()), kRegSz);
    EXPECT_EQ(m.text, c.expectedText) << c.total << "/" << c.at;
    EXPECT_EQ(m.pos, c.expectedPos) << c.total << "/" << c.at;
    EXPECT_EQ(m.len, 2) << c.total << "/" << c.at;
    EXPECT_EQ(Copy(m.text, m.pos, m.len), kColonBackslash) << c.total << "/" << c.at;
  }
}

TEST(TSearchThreadFormatData, ExcerptOfThreeHundredIsAtMostHundredAndFour) {
  const DataMatch m = TSearchThread::FormatData(kColonBackslash, TextWithMatchAt(300, 200), 200,
                                                false, 300, kRegSz);
  EXPECT_EQ(m.text.size(), 104u);
  EXPECT_EQ(m.text.substr(0, 2), "\xAB\x85");
  EXPECT_EQ(m.text.substr(102), "\x85\xBB");
}

struct DwordCase {
  std::uint32_t type;
  std::string bytes;
  std::string expected;
};

TEST(TSearchThreadFormatData, ShowsDwordsAsHexAndUnsignedDecimal) {
  const std::vector<DwordCase> cases = {
      {kRegDword, "\xFF\0\0\0"s, "0x000000FF (255)"},
      {kRegDword, "\xFF\xFF\xFF\xFF"s, "0xFFFFFFFF (4294967295)"},
      {kRegDword, "\x3A\x5C\0\0"s, "0x00005C3A (23610)"},
      {kRegDword, "\xAB\xCD\xEF\x01"s, "0x01EFCDAB (32492971)"},
      {kRegDwordBigEndian, "\0\0\x3A\x5C"s, "0x00003A5C (14940)"},
      {kRegDwordBigEndian, "\x01\xEF\xCD\xAB"s, "0x01EFCDAB (32492971)"},
  };
  for (const auto& c : cases) {
    const DataMatch m = TSearchThread::FormatData(kColonBackslash, c.bytes, 1, false, 4, c.type);
    EXPECT_EQ(m.text, c.expected);
    EXPECT_EQ(m.pos, 0);
    EXPECT_EQ(m.len, 0);
  }
}

struct DataCase {
  const char* what;
  std::uint32_t type;
  std::string bytes;
  bool matches;
  std::string text;
  int pos;
  int len;
};

TEST(TSearchThreadMatchData, NarrowWideAndTypedData) {
  const std::vector<DataCase> cases = {
      {"string", kRegSz, "C:\\x\0"s, true, "C:\\x", 2, 2},
      {"string, letters folded", kRegSz, "c:\\X\0"s, true, "c:\\X", 2, 2},
      {"expand string is not expanded", kRegExpandSz, "%WINDIR%;d:\\\0"s, true, "%WINDIR%;d:\\", 11,
       2},
      {"only one terminator dropped", kRegSz, "x:\\\0\0"s, true, "x:\\.", 2, 2},
      {"multi-string", kRegMultiSz, "a:\\b\0\0"s, true, "a:\\b.", 2, 2},
      {"multi-string, second string", kRegMultiSz, "ab\0c:\\\0\0"s, true, "ab.c:\\.", 5, 2},
      {"binary keeps its zero", kRegBinary, "x:\\\0"s, true, "x:\\.", 2, 2},
      {"wide binary", kRegBinary, "C\0:\0\\\0"s, true, "C.:.\\.", 3, 4},
      {"wide string", kRegSz, "D\0:\0\\\0\0"s, true, "D.:.\\.", 3, 4},
      {"control characters", kRegNone, "\x01\x1F:\\\x7F"s, true, "..:\\\x7F", 3, 2},
      {"narrow wins over wide", kRegBinary, ":\0\\\0:\\"s, true, ":.\\.:\\", 5, 2},
      {"dword", kRegDword, "\x3A\x5C\0\0"s, true, "0x00005C3A (23610)", 0, 0},
      {"dword big-endian", kRegDwordBigEndian, "\0\0\x3A\x5C"s, true, "0x00003A5C (14940)", 0, 0},
      {"dword of five bytes is raw", kRegDword, "\x3A\x5C\0\0\0"s, true, ":\\...", 1, 2},
      {"binary of four bytes is raw", kRegBinary, "\x3A\x5C\0\0"s, true, ":\\..", 1, 2},
      {"no match", kRegSz, "C:/x\0"s, false, "", 0, 0},
      {"split by terminator", kRegSz, ":\0"s, false, "", 0, 0},
      {"empty", kRegSz, ""s, false, "", 0, 0},
  };
  for (const auto& c : cases) {
    DataMatch m;
    const bool matched = TSearchThread::MatchData(
        kColonBackslash, reinterpret_cast<const std::uint8_t*>(c.bytes.data()),
        static_cast<std::uint32_t>(c.bytes.size()), c.type, &m);
    ASSERT_EQ(matched, c.matches) << c.what;
    if (!matched) continue;
    EXPECT_EQ(m.text, c.text) << c.what;
    EXPECT_EQ(m.pos, c.pos) << c.what;
    EXPECT_EQ(m.len, c.len) << c.what;
  }
}

TEST(TSearchThreadMatchData, WideHitInLongDataIsCentredOnTheWideMatch) {
  std::string bytes = Chars(200, 'y') + "E\0:\0\\\0"s + Chars(200, 'z');
  DataMatch m;
  ASSERT_TRUE(TSearchThread::MatchData(kColonBackslash,
                                       reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                       static_cast<std::uint32_t>(bytes.size()), kRegBinary, &m));
  // Match at 203, length 4: centre 205, excerpt from 155.
  EXPECT_EQ(m.text, kLeftMarker + Chars(46, 'y') + "E.:.\\." + Chars(48, 'z') + kRightMarker);
  EXPECT_EQ(m.pos, 51);
  EXPECT_EQ(m.len, 4);
}

// ---------------------------------------------------------------------------------------------
// The walk over an in-memory registry

struct Progress {
  std::int32_t keys;
  std::int32_t matches;
  bool operator==(const Progress&) const = default;
};

class TSearchThreadWalk : public ::testing::Test {
 protected:
  void SetUp() override {
    SkipKeys().clear();
    SetTextCompare(nullptr);
  }
  void TearDown() override { SkipKeys().clear(); }

  std::unique_ptr<TSearchThread> MakeThread(const std::string& searchText = kColonBackslash,
                                            WalkMode mode = WalkMode::kFast) {
    auto thread = testing::MakeSearchThread(
        mode, mem, searchText,
        [this](const TResult& hit) {
          hits.push_back(hit);
          if (onHit) onHit(hits.back());
        },
        [this](std::int32_t keys, std::int32_t matches) {
          progress.push_back({keys, matches});
          if (onProgress) onProgress(keys);
        });
    current = thread.get();
    return thread;
  }

  // Walks with ":\" (or `searchText`) and returns the thread for its counters.
  std::unique_ptr<TSearchThread> Walk(const std::string& searchText = kColonBackslash) {
    auto thread = MakeThread(searchText);
    thread->Execute();
    EXPECT_EQ(mem.OpenHandles(), 0u);
    return thread;
  }

  std::vector<std::string> HitPaths() const {
    std::vector<std::string> out;
    for (const auto& h : hits) out.push_back(h.KeyPath + " | " + h.ValueName);
    return out;
  }

  MemoryRegistry mem;
  std::vector<TResult> hits;
  std::vector<Progress> progress;
  std::function<void(const TResult&)> onHit;
  std::function<void(std::int32_t)> onProgress;
  TSearchThread* current = nullptr;
};

void ExpectHit(const TResult& h, const std::string& keyPath, const std::string& valueName,
               const std::string& dataText, int keyPos, int namePos, int dataPos, int keyLen,
               int nameLen, int dataLen, Hkey root) {
  EXPECT_EQ(h.KeyPath, keyPath);
  EXPECT_EQ(h.ValueName, valueName);
  EXPECT_EQ(h.DataText, dataText);
  EXPECT_EQ(h.KeyPos, keyPos);
  EXPECT_EQ(h.NamePos, namePos);
  EXPECT_EQ(h.DataPos, dataPos);
  EXPECT_EQ(h.KeyLen, keyLen);
  EXPECT_EQ(h.NameLen, nameLen);
  EXPECT_EQ(h.DataLen, dataLen);
  EXPECT_EQ(h.Root, root);
}

TEST_F(TSearchThreadWalk, ConstructorStartsCleared) {
  auto t = MakeThread();
  EXPECT_EQ(t->SearchText, ":\\");
  EXPECT_EQ(t->StopReason, srCreated);
  EXPECT_EQ(t->MaxShown, 100);
  EXPECT_EQ(t->MatchCount, 0);
  EXPECT_EQ(t->KeysSearched, 0);
  EXPECT_EQ(t->Hit.KeyPath, "");
  EXPECT_EQ(t->Hit.ValueName, "");
  EXPECT_EQ(t->Hit.DataText, "");
  EXPECT_FALSE(t->Terminated());
}

TEST_F(TSearchThreadWalk, EmptyRegistryFinishesAfterTheFiveRoots) {
  auto t = Walk();
  EXPECT_EQ(t->StopReason, srFinished);
  EXPECT_EQ(t->KeysSearched, 5);
  EXPECT_EQ(t->MatchCount, 0);
  EXPECT_TRUE(hits.empty());
  EXPECT_TRUE(progress.empty());
}

TEST_F(TSearchThreadWalk, RootValuesAreSearchedUnderTheBareRootName) {
  mem.PutString("HKEY_CURRENT_USER", "Root", "C:\\root.txt");
  mem.PutString("HKEY_CLASSES_ROOT", "", "D:\\default");
  auto t = Walk();
  ASSERT_EQ(hits.size(), 2u);
  ExpectHit(hits[0], "HKEY_CURRENT_USER", "Root", "C:\\root.txt", 0, 0, 2, 0, 0, 2,
            kHkeyCurrentUser);
  ExpectHit(hits[1], "HKEY_CLASSES_ROOT", "", "D:\\default", 0, 0, 2, 0, 0, 2, kHkeyClassesRoot);
  EXPECT_EQ(t->MatchCount, 2);
  EXPECT_EQ(t->StopReason, srFinished);
}

TEST_F(TSearchThreadWalk, PathBelowTheRootIsLowerCasedInAsciiOnly) {
  mem.PutString("HKEY_CURRENT_USER\\Software\\Microsoft", "P", "C:\\x");
  mem.PutString("HKEY_LOCAL_MACHINE\\SOFTWARE\\\xC4Gypt", "P", "C:\\x");
  mem.PutString("HKEY_USERS\\\x83\x7D\x83\x43", "P", "C:\\x");
  SetLeadByteTest([](unsigned char b) { return b >= 0x81 && b <= 0x9F; });  // code page 932's
  Walk();
  SetLeadByteTest(nullptr);
  ASSERT_EQ(hits.size(), 3u);
  EXPECT_EQ(hits[2].KeyPath, "HKEY_USERS\\\x83\x7D\x83\x43");  // a second byte is no capital
  EXPECT_EQ(hits[0].KeyPath, "HKEY_CURRENT_USER\\software\\microsoft");
  EXPECT_EQ(hits[0].Root, kHkeyCurrentUser);
  EXPECT_EQ(hits[1].KeyPath, "HKEY_LOCAL_MACHINE\\software\\\xC4gypt");
  EXPECT_EQ(hits[1].Root, kHkeyLocalMachine);
  EXPECT_EQ(hits[1].NamedKeyPath, "HKEY_LOCAL_MACHINE\\SOFTWARE\\\xC4Gypt");  // its own letters
}

TEST_F(TSearchThreadWalk, RootsAreWalkedInOrderValuesBeforeSubkeysSorted) {
  for (const char* root : {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_CONFIG", "HKEY_USERS",
                           "HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER"}) {
    mem.PutString(root + "\\b"s, "v", "c:\\");
    mem.PutString(root + "\\A"s, "v", "c:\\");
    mem.PutString(root + "\\A\\sub"s, "v", "c:\\");
    mem.PutString(root + "\\A"s, "w", "c:\\");
    mem.PutString(root + "\\A"s, "V2", "c:\\");
  }
  Walk();
  std::vector<std::string> expected;
  for (const char* root : {"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                           "HKEY_CURRENT_CONFIG", "HKEY_CLASSES_ROOT"}) {
    for (const char* tail : {"\\a | v", "\\a | V2", "\\a | w", "\\a\\sub | v", "\\b | v"}) {
      expected.push_back(root + std::string(tail));
    }
  }
  EXPECT_EQ(HitPaths(), expected);
}

TEST_F(TSearchThreadWalk, InstalledComparisonOrdersNames) {
  mem.PutString("HKEY_CURRENT_USER\\K", "a", "c:\\");
  mem.PutString("HKEY_CURRENT_USER\\K", "b", "c:\\");
  SetTextCompare([](const std::string& a, const std::string& b) { return CompareTextAscii(b, a); });
  Walk();
  SetTextCompare(nullptr);
  EXPECT_EQ(HitPaths(),
            (std::vector<std::string>{"HKEY_CURRENT_USER\\k | b", "HKEY_CURRENT_USER\\k | a"}));
}

TEST_F(TSearchThreadWalk, NameAndDataHitIsReportedOnce) {
  mem.PutString("HKEY_CURRENT_USER\\Apps", "Path:\\x", "E:\\tool.exe");
  Walk();
  ASSERT_EQ(hits.size(), 1u);
  ExpectHit(hits[0], "HKEY_CURRENT_USER\\apps", "Path:\\x", "E:\\tool.exe", 0, 5, 2, 0, 2, 2,
            kHkeyCurrentUser);
}

TEST_F(TSearchThreadWalk, ValueWithoutDataMatchCarriesThePlaceholder) {
  mem.PutString("HKEY_CURRENT_USER\\Apps", "a:\\b", "nothing");
  Walk();
  ASSERT_EQ(hits.size(), 1u);
  ExpectHit(hits[0], "HKEY_CURRENT_USER\\apps", "a:\\b", "\x97\x97", 0, 2, 0, 0, 2, 0,
            kHkeyCurrentUser);
}

TEST_F(TSearchThreadWalk, KeyNameHitAloneIsReportedWithPlaceholders) {
  mem.PutString("HKEY_CURRENT_USER\\Software\\FooXqBar", "plain", "nothing");
  auto t = Walk("xq");
  ASSERT_EQ(hits.size(), 1u);
  const std::string path = "HKEY_CURRENT_USER\\software\\fooxqbar";
  ExpectHit(hits[0], path, "\x97\x97", "\x97\x97", static_cast<int>(path.size()) - 8 + 4, 0, 0, 2,
            0, 0, kHkeyCurrentUser);
  EXPECT_EQ(Copy(hits[0].KeyPath, hits[0].KeyPos, hits[0].KeyLen), "xq");
  EXPECT_EQ(t->MatchCount, 1);
}

TEST_F(TSearchThreadWalk, KeyNameMatchOnlyInTheKeysOwnName) {
  // The parent's name matches; its child is reported as a key-name hit only for its own name.
  mem.Key("HKEY_CURRENT_USER\\Xq\\Child");
  mem.Key("HKEY_CURRENT_USER\\Xq\\Xq");
  Walk("xq");
  EXPECT_EQ(HitPaths(), (std::vector<std::string>{"HKEY_CURRENT_USER\\xq | \x97\x97",
                                                  "HKEY_CURRENT_USER\\xq\\xq | \x97\x97"}));
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits[1].KeyPos, 22);
}

TEST_F(TSearchThreadWalk, KeyWithMatchingValuesIsNotReportedOnItsOwn) {
  mem.PutString("HKEY_CURRENT_USER\\AXq", "vXq1", "none");
  mem.PutString("HKEY_CURRENT_USER\\AXq", "plain", "data xq");
  Walk("xq");
  ASSERT_EQ(hits.size(), 2u);
  ExpectHit(hits[0], "HKEY_CURRENT_USER\\axq", "plain", "data xq", 20, 0, 6, 2, 0, 2,
            kHkeyCurrentUser);
  ExpectHit(hits[1], "HKEY_CURRENT_USER\\axq", "vXq1", "\x97\x97", 20, 2, 0, 2, 2, 0,
            kHkeyCurrentUser);
}

struct AnyHitCase {
  const char* what;
  std::function<void(MemoryRegistry&)> setUp;
  std::vector<std::string> expectedHits;
};

TEST_F(TSearchThreadWalk, DwordDataMatchCountsOnlyForTheKeyNameRule) {
  const std::vector<AnyHitCase> cases = {
      {"dword data match without name match: nothing at all",
       [](MemoryRegistry& m) { m.PutDword("HKEY_CURRENT_USER\\Kxq", "n", 0x7178); },
       {}},
      {"dword data match with name match: reported",
       [](MemoryRegistry& m) { m.PutDword("HKEY_CURRENT_USER\\Kxq", "nxq", 0x7178); },
       {"HKEY_CURRENT_USER\\kxq | nxq | 0x00007178 (29048) | 0"}},
      {"no value matches: key-name hit",
       [](MemoryRegistry& m) { m.PutDword("HKEY_CURRENT_USER\\Kxq", "n", 1); },
       {"HKEY_CURRENT_USER\\kxq | \x97\x97 | \x97\x97 | 0"}},
      {"big-endian dword",
       [](MemoryRegistry& m) {
         m.Put("HKEY_CURRENT_USER\\Kxq", "nXQ", kRegDwordBigEndian, "\0\0xq"s);
       },
       {"HKEY_CURRENT_USER\\kxq | nXQ | 0x00007871 (30833) | 0"}},
  };
  for (const auto& c : cases) {
    MemoryRegistry fresh;
    c.setUp(fresh);
    std::vector<std::string> got;
    TSearchThread t(
        fresh, "xq",
        [&](const TResult& h) {
          got.push_back(h.KeyPath + " | " + h.ValueName + " | " + h.DataText + " | " +
                        std::to_string(h.DataPos));
        },
        nullptr);
    t.Execute();
    EXPECT_EQ(got, c.expectedHits) << c.what;
  }
}

TEST_F(TSearchThreadWalk, TerminationDuringValuesFinishesTheValueInHandAndUnwinds) {
  for (const char* name : {"a", "b", "c", "d"}) {
    mem.PutString("HKEY_CURRENT_USER\\Kxq", name, "xq");
  }
  mem.PutString("HKEY_CURRENT_USER\\Kxq\\Sub", "a", "xq");
  mem.PutString("HKEY_CURRENT_USER\\Zzz", "a", "xq");
  mem.PutString("HKEY_LOCAL_MACHINE\\Other", "a", "xq");
  auto t = MakeThread("xq");
  onHit = [this](const TResult&) { current->Terminate(); };
  t->Execute();
  // "a" asked for the stop; "b" was in hand when the request was seen and is still reported.
  EXPECT_EQ(HitPaths(),
            (std::vector<std::string>{"HKEY_CURRENT_USER\\kxq | a", "HKEY_CURRENT_USER\\kxq | b"}));
  EXPECT_EQ(t->StopReason, srStopped);
  EXPECT_TRUE(t->Stopping);
  EXPECT_EQ(t->MatchCount, 2);
  EXPECT_EQ(t->KeysSearched, 2);
  EXPECT_EQ(mem.OpenHandles(), 0u);
}

TEST_F(TSearchThreadWalk, TerminationAfterTheLastValueSuppressesTheKeyNameHit) {
  mem.PutString("HKEY_CURRENT_USER\\Kxq", "a", "zz");
  mem.PutString("HKEY_CURRENT_USER\\Kxq", "b", "zz");
  mem.Key("HKEY_CURRENT_USER\\Kxq\\Sub");
  auto t = MakeThread("xq");
  mem.afterSizeQuery = [this](const std::string& name) {
    if (name == "a") current->Terminate();
  };
  t->Execute();
  EXPECT_TRUE(hits.empty());
  EXPECT_EQ(t->StopReason, srStopped);
  EXPECT_EQ(t->KeysSearched, 2);
}

TEST_F(TSearchThreadWalk, TerminationRequestedBeforeExecuteStopsAtTheFirstKey) {
  mem.PutString("HKEY_CURRENT_USER", "a", "c:\\");
  auto t = MakeThread();
  t->Terminate();
  t->Execute();
  EXPECT_EQ(t->StopReason, srStopped);
  EXPECT_EQ(t->KeysSearched, 1);
  EXPECT_TRUE(hits.empty());
}

TEST_F(TSearchThreadWalk, TerminationAtAKeyStopsTheRemainingRoots) {
  for (int i = 0; i < 150; ++i) mem.Key(Format("HKEY_CURRENT_USER\\k%03d", i));
  mem.PutString("HKEY_LOCAL_MACHINE", "a", "c:\\");
  auto t = MakeThread();
  onProgress = [this](std::int32_t) { current->Terminate(); };
  t->Execute();
  EXPECT_EQ(t->StopReason, srStopped);
  EXPECT_EQ(t->KeysSearched, 100);
  EXPECT_TRUE(hits.empty());
  EXPECT_EQ(progress, (std::vector<Progress>{{100, 0}}));
}

TEST_F(TSearchThreadWalk, SkippedAndUnopenableKeysCountButAreNotEntered) {
  mem.PutString("HKEY_CURRENT_USER\\Software\\Skipped", "a", "c:\\");
  mem.PutString("HKEY_CURRENT_USER\\Software\\Skipped\\Deep", "a", "c:\\");
  mem.PutString("HKEY_CURRENT_USER\\Software\\Locked", "a", "c:\\");
  mem.PutString("HKEY_CURRENT_USER\\Software\\Locked\\Deep", "a", "c:\\");
  mem.PutString("HKEY_CURRENT_USER\\Software\\Open", "a", "c:\\");
  mem.PutString("HKEY_USERS\\Gone", "a", "c:\\");
  mem.Key("HKEY_CURRENT_USER\\Software\\Locked")->grant = 0;
  mem.openFailure = [](const std::string& subKey) {
    return SameTextAscii(subKey, "Gone") ? kErrorFileNotFound : kErrorSuccess;
  };
  SkipKeys() = {"HKEY_CURRENT_USER\\SOFTWARE\\SKIPPED", "HKEY_CURRENT_CONFIG"};
  auto t = Walk();
  EXPECT_EQ(HitPaths(), (std::vector<std::string>{"HKEY_CURRENT_USER\\software\\open | a"}));
  // 5 roots, Software, Skipped, Locked, Open, Gone; the subtrees below are not visited.
  EXPECT_EQ(t->KeysSearched, 10);
  EXPECT_EQ(t->StopReason, srFinished);
}

TEST_F(TSearchThreadWalk, KeyGrantingOnlyQueryValueIsStillSearched) {
  mem.PutString("HKEY_CURRENT_USER\\QueryOnly", "a", "c:\\");
  mem.Key("HKEY_CURRENT_USER\\QueryOnly")->grant = kKeyQueryValue;
  Walk();
  EXPECT_EQ(HitPaths(), (std::vector<std::string>{"HKEY_CURRENT_USER\\queryonly | a"}));
}

struct ProgressCase {
  int totalKeys;  // including the five roots
  std::vector<std::int32_t> expectedAt;
};

TEST_F(TSearchThreadWalk, ProgressAtEveryHundredthKeyAndNeverAtTheEnd) {
  const std::vector<ProgressCase> cases = {
      {5, {}},      {99, {}},          {100, {100}},      {101, {100}},
      {199, {100}}, {200, {100, 200}}, {250, {100, 200}},
  };
  for (const auto& c : cases) {
    MemoryRegistry fresh;
    for (int i = 0; i < c.totalKeys - 5; ++i) fresh.Key(Format("HKEY_CURRENT_USER\\k%04d", i));
    std::vector<std::int32_t> at;
    TSearchThread t(fresh, ":\\", nullptr,
                    [&](std::int32_t keys, std::int32_t) { at.push_back(keys); });
    t.Execute();
    EXPECT_EQ(t.KeysSearched, c.totalKeys);
    EXPECT_EQ(at, c.expectedAt) << c.totalKeys << " keys";
  }
}

TEST_F(TSearchThreadWalk, ProgressCarriesTheMatchCountSoFar) {
  mem.PutString("HKEY_CURRENT_USER", "a", "c:\\");
  mem.PutString("HKEY_CURRENT_USER", "b", "c:\\");
  for (int i = 0; i < 120; ++i) mem.Key(Format("HKEY_CURRENT_USER\\k%03d", i));
  mem.PutString("HKEY_CURRENT_USER\\k110", "c", "c:\\");
  auto t = Walk();
  EXPECT_EQ(progress, (std::vector<Progress>{{100, 2}}));
  EXPECT_EQ(t->MatchCount, 3);
}

TEST_F(TSearchThreadWalk, ValueThatGrowsBetweenTheQueriesIsPassedOver) {
  mem.PutString("HKEY_CURRENT_USER\\Kxq", "axq", "xq");
  mem.PutString("HKEY_CURRENT_USER\\Kxq", "grows", "xq");
  mem.PutString("HKEY_CURRENT_USER\\Kxq", "zz", "xq");
  mem.PutString("HKEY_CURRENT_USER\\Lxq", "growsxq", "none");
  mem.afterSizeQuery = [this](const std::string& name) {
    if (name == "grows") mem.PutString("HKEY_CURRENT_USER\\Kxq", "grows", "xq and more");
    if (name == "growsxq") mem.PutString("HKEY_CURRENT_USER\\Lxq", "growsxq", "none at all");
  };
  Walk("xq");
  // The grown value is not reported even though its name matched; that name match still counts
  // for the key, so Lxq gets no key-name hit either.
  EXPECT_EQ(HitPaths(), (std::vector<std::string>{"HKEY_CURRENT_USER\\kxq | axq",
                                                  "HKEY_CURRENT_USER\\kxq | zz"}));
}

// A name or text whose ANSI form is a look-alike (the registry answers "no Unicode
// translation" for it) would be judged, and repaired, as another value or key than the stored
// one: the walk passes it over in both modes.
TEST_F(TSearchThreadWalk, TextsWithoutAnExactAnsiFormAreNeverReported) {
  mem.PutString("HKEY_CURRENT_USER\\K", "plain", "C:\\a");
  mem.PutString("HKEY_CURRENT_USER\\K", "lookalike", "C:\\b");
  mem.PutString("HKEY_CURRENT_USER\\K", "C:\\name", "x");
  mem.PutString("HKEY_CURRENT_USER\\K\\Sub", "inside", "C:\\c");
  mem.MutableValue("HKEY_CURRENT_USER\\K", "lookalike")->dataInexact = true;
  mem.MutableValue("HKEY_CURRENT_USER\\K", "C:\\name")->nameInexact = true;
  mem.Find("HKEY_CURRENT_USER\\K\\Sub")->nameInexact = true;
  for (const WalkMode mode : {WalkMode::kFast, WalkMode::kPlain}) {
    hits.clear();
    auto thread = MakeThread(kColonBackslash, mode);
    thread->Execute();
    EXPECT_EQ(HitPaths(), (std::vector<std::string>{"HKEY_CURRENT_USER\\k | plain"}));
  }
}

TEST_F(TSearchThreadWalk, MatchCallbackExceptionEndsOnlyThatKey) {
  mem.PutString("HKEY_CURRENT_USER\\A", "1", "c:\\");
  mem.PutString("HKEY_CURRENT_USER\\A", "2", "c:\\");
  mem.PutString("HKEY_CURRENT_USER\\A\\Child", "1", "c:\\");
  mem.PutString("HKEY_CURRENT_USER\\B", "1", "c:\\");
  auto t = MakeThread();
  onHit = [](const TResult& h) {
    if (h.KeyPath == "HKEY_CURRENT_USER\\a") throw std::runtime_error("refused");
  };
  t->Execute();
  EXPECT_EQ(HitPaths(),
            (std::vector<std::string>{"HKEY_CURRENT_USER\\a | 1", "HKEY_CURRENT_USER\\b | 1"}));
  EXPECT_EQ(t->MatchCount, 1);  // the throwing call did not complete
  EXPECT_EQ(t->StopReason, srFinished);
  EXPECT_EQ(t->KeysSearched, 7);
  EXPECT_EQ(mem.OpenHandles(), 0u);
}

TEST_F(TSearchThreadWalk, ProgressExceptionAbandonsTheParentsRemainingSubkeys) {
  // Keys: HKCU (1), P (2), P\k000..P\k149 (3..152): the 100th key is P\k097.
  for (int i = 0; i < 150; ++i)
    mem.PutString(Format("HKEY_CURRENT_USER\\P\\k%03d", i), "v", "c:\\");
  mem.PutString("HKEY_CURRENT_USER\\Q", "v", "c:\\");
  auto t = MakeThread();
  onProgress = [](std::int32_t) { throw std::runtime_error("progress"); };
  t->Execute();
  ASSERT_EQ(hits.size(), 98u);
  EXPECT_EQ(hits[96].KeyPath, "HKEY_CURRENT_USER\\p\\k096");
  EXPECT_EQ(hits[97].KeyPath, "HKEY_CURRENT_USER\\q");
  EXPECT_EQ(t->KeysSearched, 105);
  EXPECT_EQ(t->StopReason, srFinished);
}

TEST_F(TSearchThreadWalk, ExceptionEscapingARootEndsExecuteWhileRunning) {
  // HKCU and 98 subkeys are keys 1..99; HKEY_LOCAL_MACHINE is the 100th.
  for (int i = 0; i < 98; ++i) mem.Key(Format("HKEY_CURRENT_USER\\k%03d", i));
  mem.PutString("HKEY_USERS", "v", "c:\\");
  auto t = MakeThread();
  onProgress = [](std::int32_t) { throw std::runtime_error("progress"); };
  EXPECT_THROW(t->Execute(), std::runtime_error);
  EXPECT_EQ(t->StopReason, srRunning);
  EXPECT_EQ(t->KeysSearched, 100);
  EXPECT_TRUE(hits.empty());
  EXPECT_EQ(mem.OpenHandles(), 0u);
}

TEST_F(TSearchThreadWalk, HitFieldsTrackTheLastHitAndKeyResetsThem) {
  mem.PutString("HKEY_CURRENT_USER\\A", "n:\\", "c:\\x");
  auto t = Walk();
  // After the walk the fields belong to the last key visited (HKEY_CLASSES_ROOT, no hit).
  EXPECT_EQ(t->Hit.KeyPath, "HKEY_CLASSES_ROOT");
  EXPECT_EQ(t->Hit.ValueName, "\x97\x97");
  EXPECT_EQ(t->Hit.DataText, "\x97\x97");
  EXPECT_EQ(t->Hit.KeyPos, 0);
  EXPECT_EQ(t->Hit.Root, kHkeyClassesRoot);
}

class CountingSynchronizer : public Synchronizer {
 public:
  void Synchronize(const std::function<void()>& call) override {
    ++calls;
    inside = true;
    call();
    inside = false;
  }
  int calls = 0;
  bool inside = false;
};

TEST_F(TSearchThreadWalk, CallbacksGoThroughTheSynchronizer) {
  for (int i = 0; i < 100; ++i) mem.Key(Format("HKEY_CURRENT_USER\\k%03d", i));
  mem.PutString("HKEY_CURRENT_USER\\k001", "a", "c:\\");
  mem.PutString("HKEY_CURRENT_USER\\k002", "a", "c:\\");
  CountingSynchronizer sync;
  auto t = MakeThread();
  t->SetSynchronizer(&sync);
  int insideCalls = 0;
  onHit = [&](const TResult&) { insideCalls += sync.inside ? 1 : 0; };
  onProgress = [&](std::int32_t) { insideCalls += sync.inside ? 1 : 0; };
  t->Execute();
  EXPECT_EQ(sync.calls, 3);
  EXPECT_EQ(insideCalls, 3);
}

}  // namespace
}  // namespace calvorin
