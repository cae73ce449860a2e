#include "savedsearch/saved_search.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <random>
#include <set>

#include "base/platform.h"
#include "support/memory_source.h"
#include "support/recording_saved_search_host.h"

namespace calvorin {
namespace {

using testing::AsciiConverter;
using testing::MemorySource;

// Builders for tagged values.
std::string I8(int v) {
  return {char(kTagInt8), char(v)};
}
std::string I16(int v) {
  return {char(kTagInt16), char(v & 0xFF), char((v >> 8) & 0xFF)};
}
std::string Le32(std::uint32_t v) {
  return {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char((v >> 24) & 0xFF)};
}
std::string I32(std::int32_t v) {
  return char(kTagInt32) + Le32(static_cast<std::uint32_t>(v));
}
std::string S6(const std::string& t) {
  return std::string{char(kTagString), char(t.size())} + t;
}
std::string S12(const std::string& t) {
  return char(kTagLongString) + Le32(static_cast<std::uint32_t>(t.size())) + t;
}
std::string S18(const std::u16string& t) {
  std::string out = char(kTagWideString) + Le32(static_cast<std::uint32_t>(t.size()));
  for (char16_t u : t) out += {char(u & 0xFF), char(u >> 8)};
  return out;
}
std::string S20(const std::string& utf8) {
  return char(kTagUtf8String) + Le32(static_cast<std::uint32_t>(utf8.size())) + utf8;
}

const std::string kHead = S6("MQT") + I8(0);
const std::string kNoLists = I8(0) + I8(0) + I8(0);

class RecordingSettings : public SavedSearchSettings {
 public:
  void SetPerPage(std::int32_t v) override { perPage = v; }
  void SetMaxRslt(std::int32_t v) override { maxRslt = v; }
  std::optional<std::int32_t> perPage;
  std::optional<std::int32_t> maxRslt;
};

// Hands out its bytes a few at a time, as a slow file might.
class ChunkedSource : public ByteSource {
 public:
  ChunkedSource(std::string bytes, std::size_t chunk) : bytes_(std::move(bytes)), chunk_(chunk) {}
  std::size_t Read(void* buffer, std::size_t size) override {
    const std::size_t n = std::min({size, chunk_, bytes_.size() - pos_});
    std::copy_n(bytes_.data() + pos_, n, static_cast<char*>(buffer));
    pos_ += n;
    return n;
  }

 private:
  std::string bytes_;
  std::size_t chunk_;
  std::size_t pos_ = 0;
};

// "" when the parse succeeds, else the message.
std::string Parse(const std::string& bytes, RecordingSettings& settings) {
  MemorySource source(bytes);
  AsciiConverter converter;
  try {
    ParseSavedSearch(source, settings, converter);
  } catch (const ESavedSearchError& e) {
    return e.what();
  }
  return "";
}

struct ParseCase {
  const char* name;
  std::string bytes;
  std::string error;  // "" for success
  std::optional<std::int32_t> perPage = std::nullopt;
  std::optional<std::int32_t> maxRslt = std::nullopt;
};

TEST(SavedSearchParse, LayoutRules) {
  const std::string ok = kHead + I8(9) + I8(-5);
  const std::vector<ParseCase> cases = {
      {"shortest valid file", ok + kNoLists, "", 9, -5},
      {"begins with 6, 3 and the magic",
       std::string("\x06\x03MQT", 5) + I8(0) + I8(1) + I8(2) + kNoLists, "", 1, 2},
      {"magic as long string", S12("MQT") + I8(0) + I8(1) + I8(2) + kNoLists, "", 1, 2},
      {"magic as UTF-16", S18(u"MQT") + I8(0) + I8(1) + I8(2) + kNoLists, "", 1, 2},
      {"magic as UTF-8", S20("MQT") + I8(0) + I8(1) + I8(2) + kNoLists, "", 1, 2},
      {"magic in lower case", S6("mqt") + I8(0) + I8(1) + I8(2) + kNoLists, kMqtCorrupted},
      {"magic too long", S6("MQTX") + I8(0) + I8(1) + I8(2) + kNoLists, kMqtCorrupted},
      {"magic too short", S6("MQ") + I8(0) + I8(1) + I8(2) + kNoLists, kMqtCorrupted},
      {"magic empty", S6("") + I8(0) + I8(1) + I8(2) + kNoLists, kMqtCorrupted},
      {"magic as an integer", I8(3) + I8(0) + I8(1) + I8(2) + kNoLists, kInvalidPropertyValue},
      {"unknown tag for the magic", "\x07\x03MQT", kInvalidPropertyValue},
      {"selection 31 accepted", S6("MQT") + I8(31) + I8(1) + I8(2) + kNoLists, "", 1, 2},
      {"selection 31 as 32 bits", S6("MQT") + I32(31) + I8(1) + I8(2) + kNoLists, "", 1, 2},
      {"selection 32 rejected", S6("MQT") + I8(32) + I8(1) + I8(2) + kNoLists, kMqtCorrupted},
      {"selection -1 rejected", S6("MQT") + I8(-1) + I8(1) + I8(2) + kNoLists, kMqtCorrupted},
      {"selection 256 rejected", S6("MQT") + I16(256) + I8(1) + I8(2) + kNoLists, kMqtCorrupted},
      {"selection as a string", S6("MQT") + S6("0") + I8(1), kInvalidPropertyValue},
      {"selection missing", S6("MQT"), kStreamReadError},
      {"empty file", "", kStreamReadError},
      {"only a tag", "\x06", kStreamReadError},
      {"magic cut short", std::string("\x06\x05MQT", 5), kStreamReadError},
      {"PerPage missing", kHead, kStreamReadError},
      {"PerPage as a string", kHead + S6("9"), kInvalidPropertyValue},
      {"MaxRslt missing keeps PerPage", kHead + I8(9), kStreamReadError, 9},
      {"MaxRslt of unknown tag keeps PerPage", kHead + I8(9) + "\x05", kInvalidPropertyValue, 9},
      {"8-bit 255 is -1", kHead + "\x02\xFF" + I8(0) + kNoLists, "", -1, 0},
      {"16-bit 255, 127 is 32767", kHead + "\x03\xFF\x7F" + I8(0) + kNoLists, "", 32767, 0},
      {"16-bit 0, 128 is -32768", kHead + std::string("\x03\x00\x80", 3) + I8(0) + kNoLists, "",
       -32768, 0},
      {"32-bit extremes", kHead + I32(INT32_MIN) + I32(INT32_MAX) + kNoLists, "", INT32_MIN,
       INT32_MAX},
      {"16-bit cut short", kHead + "\x03\xFF", kStreamReadError},
      {"32-bit cut short", kHead + I8(1) + "\x04\x01\x02\x03", kStreamReadError, 1},
      {"file ends after the third count", ok + I8(0) + I8(0) + I8(0), "", 9, -5},
      {"extra bytes ignored", ok + kNoLists + "\x99garbage", "", 9, -5},
      {"first list missing", ok, kStreamReadError, 9, -5},
      {"third count missing", ok + I8(0) + I8(0), kStreamReadError, 9, -5},
      {"negative counts mean no pairs", ok + I8(-1) + I16(-300) + I32(INT32_MIN), "", 9, -5},
      {"lists with every string tag",
       ok + I8(2) + I8(1) + S6("a") + I16(2) + S12("bb") + I8(1) + I32(3) + S18(u"c\u00e9") +
           I8(3) + I8(0) + S20("d\xc3\xa9") + I8(4) + I32(7) + I8(9) + S6(""),
       "", 9, -5},
      {"first-list pair without its string", ok + I8(1) + I8(1), kStreamReadError, 9, -5},
      {"first-list pair with two integers", ok + I8(1) + I8(1) + I8(2), kInvalidPropertyValue, 9,
       -5},
      {"first-list pair led by a string", ok + I8(1) + S6("x") + S6("y"), kInvalidPropertyValue, 9,
       -5},
      {"third-list kind 4 with a string", ok + I8(0) + I8(0) + I8(1) + I8(4) + S6("x"),
       kInvalidPropertyValue, 9, -5},
      {"third-list kind 1 with an integer", ok + I8(0) + I8(0) + I8(1) + I8(1) + I8(5),
       kInvalidPropertyValue, 9, -5},
      {"third-list kind 4 as 32 bits with an integer", ok + I8(0) + I8(0) + I8(1) + I32(4) + I16(5),
       "", 9, -5},
      {"count larger than the entries", ok + I8(0) + I8(0) + I32(INT32_MAX) + I8(4) + I8(1),
       kStreamReadError, 9, -5},
      {"huge 8-bit length", ok + I8(1) + I8(0) + char(kTagLongString) + Le32(0xFFFFFFFF) + "ab",
       kStreamReadError, 9, -5},
      {"huge UTF-16 length", ok + I8(1) + I8(0) + char(kTagWideString) + Le32(0x80000000) + "ab",
       kStreamReadError, 9, -5},
      {"huge UTF-16 magic", char(kTagWideString) + Le32(0xFFFFFFFF) + "M\0", kStreamReadError},
      {"huge UTF-8 magic", char(kTagUtf8String) + Le32(0x7FFFFFFF) + "MQT", kStreamReadError},
      {"odd UTF-16 byte count", ok + I8(1) + I8(0) + char(kTagWideString) + Le32(2) + "abc",
       kStreamReadError, 9, -5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingSettings settings;
    EXPECT_EQ(Parse(c.bytes, settings), c.error);
    EXPECT_EQ(settings.perPage, c.perPage);
    EXPECT_EQ(settings.maxRslt, c.maxRslt);
  }
}

TEST(SavedSearchParse, ValuesAcrossTheReadBufferAndShortReads) {
  // Strings longer than the 4096-byte buffer, read from sources that hand out a few bytes a time.
  std::string file = kHead + I16(25) + I16(1000) + I8(3);
  for (int i = 0; i < 3; ++i) file += I8(i) + S12(std::string(5000 + i, 'x'));
  file += I8(0) + I8(2) + I8(4) + I32(1) + I8(0) + S18(std::u16string(3000, u'y'));
  for (const std::size_t chunk :
       {std::size_t{1}, std::size_t{7}, std::size_t{4096}, std::size_t{1} << 20}) {
    SCOPED_TRACE(chunk);
    ChunkedSource source(file, chunk);
    RecordingSettings settings;
    AsciiConverter converter;
    ParseSavedSearch(source, settings, converter);
    EXPECT_EQ(settings.perPage, 25);
    EXPECT_EQ(settings.maxRslt, 1000);
  }
}

TEST(SavedSearchParse, ReaderTurnsUnicodeIntoTheCodePage) {
  AsciiConverter converter;
  const std::string bytes = S18(u"Ab\u00e9\U0001F600z") + S20("Ab\xc3\xa9\xf0\x9f\x98\x80z") +
                            S20("\x80\xc3") + S6("\xe9t\xe9") + S12(std::string("a\0b", 3));
  MemorySource source(bytes);
  TaggedReader reader(source, converter);
  EXPECT_EQ(reader.ReadString(), "Ab??z");
  EXPECT_EQ(reader.ReadString(), "Ab??z");
  EXPECT_EQ(reader.ReadString(), "??");         // stray continuation byte, cut-off lead byte
  EXPECT_EQ(reader.ReadString(), "\xe9t\xe9");  // 8-bit text is taken as it is
  EXPECT_EQ(reader.ReadString(), std::string("a\0b", 3));
  EXPECT_THROW(reader.ReadString(), ESavedSearchError);
}

// The window and the files, as ReadSavedSearch sees them.
class FakeFiles : public SavedSearchFiles {
 public:
  class File : public ByteSource {
   public:
    File(FakeFiles& owner, const std::string& bytes) : owner_(owner), source_(bytes) {
      ++owner_.openFiles;
    }
    ~File() override {
      --owner_.openFiles;
      owner_.log->push_back("close");
    }
    std::size_t Read(void* buffer, std::size_t size) override { return source_.Read(buffer, size); }

   private:
    FakeFiles& owner_;
    MemorySource source_;
  };

  bool FileExists(const std::string& path) override {
    ++existsCalls;
    return files.count(path) != 0 && folders.count(path) == 0;
  }
  std::unique_ptr<ByteSource> OpenExclusive(const std::string& path, std::string* fullPath,
                                            std::string* errorText) override {
    log->push_back("open " + path);
    if (locked.count(path)) {
      *fullPath = "C:\\work\\" + path;
      *errorText = "The process cannot access the file because it is being used by another process";
      return nullptr;
    }
    return std::make_unique<File>(*this, files.at(path));
  }

  std::map<std::string, std::string> files;
  std::set<std::string> folders;
  std::set<std::string> locked;
  std::vector<std::string>* log = nullptr;
  int existsCalls = 0;
  int openFiles = 0;
};

using FakeHost = testing::RecordingSavedSearchHost;

class ReadSavedSearchTest : public ::testing::Test {
 protected:
  ReadSavedSearchTest() {
    files.log = &host.log;
    files.files["good.mqt"] = kHead + I8(9) + I8(-5) + kNoLists;
    files.files["lower.mqt"] = S6("mqt") + I8(0) + I8(1) + I8(2) + kNoLists;
    files.files["bad-after-perpage.mqt"] = kHead + I8(4) + S6("x");
    files.files["empty.mqt"] = "";
    files.files["locked.mqt"] = kHead + I8(9) + I8(-5) + kNoLists;
    files.locked.insert("locked.mqt");
    files.files["folder"] = "";
    files.folders.insert("folder");
  }
  // The message of the failure, "" when none.
  std::string Read(const std::string& name) {
    try {
      ReadSavedSearch(name, files, host, converter);
    } catch (const ESavedSearchError& e) {
      EXPECT_EQ(files.openFiles, 0) << "the file must be closed before the failure is shown";
      return e.what();
    } catch (const EFileError& e) {
      return std::string("file: ") + e.what();
    }
    return "";
  }
  FakeFiles files;
  FakeHost host;
  AsciiConverter converter;
};

TEST_F(ReadSavedSearchTest, NoNameNoFileOrAFolderChangeNothing) {
  EXPECT_EQ(Read(""), "");
  EXPECT_EQ(files.existsCalls, 0);
  EXPECT_EQ(Read("missing.mqt"), "");
  EXPECT_EQ(Read("folder"), "");
  EXPECT_EQ(host.log, std::vector<std::string>{});
}

TEST_F(ReadSavedSearchTest, AGoodFileSetsBothPreferencesAndClearsTheResults) {
  EXPECT_EQ(Read("good.mqt"), "");
  EXPECT_EQ(host.log, (std::vector<std::string>{"page 1", "open good.mqt", "PerPage 9",
                                                "MaxRslt -5", "clear", "close"}));
  EXPECT_EQ(files.openFiles, 0);
}

TEST_F(ReadSavedSearchTest, FailuresClearTheResultsAndCloseTheFileFirst) {
  struct Case {
    const char* file;
    const char* message;
    std::vector<std::string> log;
  };
  const std::vector<Case> cases = {
      {"lower.mqt", kMqtCorrupted, {"page 1", "open lower.mqt", "clear", "close"}},
      {"empty.mqt", kStreamReadError, {"page 1", "open empty.mqt", "clear", "close"}},
      {"bad-after-perpage.mqt",
       kInvalidPropertyValue,
       {"page 1", "open bad-after-perpage.mqt", "PerPage 4", "clear", "close"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    host.log.clear();
    EXPECT_EQ(Read(c.file), c.message);
    EXPECT_EQ(host.log, c.log);
  }
}

TEST_F(ReadSavedSearchTest, AFileThatWillNotOpenKeepsTheResults) {
  EXPECT_EQ(Read("locked.mqt"),
            "file: Cannot open file \"C:\\work\\locked.mqt\". The process cannot access the file "
            "because it is being used by another process");
  EXPECT_EQ(host.log, (std::vector<std::string>{"page 1", "open locked.mqt"}));
}

// A random but well-formed file, with every tag used somewhere.
std::string RandomValidFile(std::mt19937& rng) {
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  auto integer = [&](int v) {
    switch (pick(3)) {
      case 0:
        return (v >= -128 && v <= 127) ? I8(v) : I32(v);
      case 1:
        return (v >= -32768 && v <= 32767) ? I16(v) : I32(v);
      default:
        return I32(v);
    }
  };
  auto text = [&]() {
    std::string t(static_cast<std::size_t>(pick(12)), 'a');
    for (auto& ch : t) ch = static_cast<char>(rng());
    switch (pick(4)) {
      case 0:
        return S6(t);
      case 1:
        return S12(t);
      case 2:
        return S18(std::u16string(t.size(), static_cast<char16_t>(rng())));
      default:
        return S20(t);
    }
  };
  std::string file;
  switch (pick(4)) {
    case 0:
      file = S6("MQT");
      break;
    case 1:
      file = S12("MQT");
      break;
    case 2:
      file = S18(u"MQT");
      break;
    default:
      file = S20("MQT");
  }
  file += integer(pick(32)) + integer(static_cast<int>(rng())) + integer(pick(300) - 150);
  for (int list = 0; list < 2; ++list) {
    const int count = pick(5);
    file += integer(count);
    for (int i = 0; i < count; ++i) file += integer(static_cast<int>(rng())) + text();
  }
  const int count = pick(5);
  file += integer(count);
  for (int i = 0; i < count; ++i) {
    const int kind = pick(6);
    file += integer(kind) + (kind == 4 ? integer(static_cast<int>(rng())) : text());
  }
  return file;
}

// Tens of thousands of malformed inputs: each ends in success or in one of the three messages,
// never in a crash or a read past the end (the sanitizer build checks the latter).
TEST(SavedSearchRobustness, RandomTruncatedAndMutatedInputs) {
  std::mt19937 rng(20261207);
  const std::set<std::string> allowed = {"", kMqtCorrupted, kInvalidPropertyValue,
                                         kStreamReadError};
  int runs = 0;
  int failures = 0;
  for (int f = 0; f < 200; ++f) {
    const std::string valid = RandomValidFile(rng);
    RecordingSettings settings;
    ASSERT_EQ(Parse(valid, settings), "");
    // Every strict prefix ends inside a value or before a required one.
    for (std::size_t len = 0; len < valid.size(); ++len) {
      RecordingSettings s;
      ASSERT_EQ(Parse(valid.substr(0, len), s), kStreamReadError) << f << " " << len;
      ++runs;
    }
    for (int m = 0; m < 60; ++m) {
      std::string bytes = valid;
      const std::size_t at = rng() % bytes.size();
      switch (rng() % 5) {
        case 0:
          bytes[at] = static_cast<char>(rng());
          break;
        case 1:
          bytes.erase(at, 1 + rng() % 4);
          break;
        case 2:
          bytes.insert(at, 1 + rng() % 4, static_cast<char>(rng()));
          break;
        case 3:  // a huge length or count where four bytes happen to stand
          bytes.replace(at, 4, Le32(0x7FFFFFFF + static_cast<std::uint32_t>(rng() % 2)));
          break;
        default:
          bytes = bytes.substr(0, at) + std::string(1 + rng() % 8, static_cast<char>(rng()));
      }
      RecordingSettings s;
      const std::string message = Parse(bytes, s);
      EXPECT_TRUE(allowed.count(message)) << message;
      failures += message.empty() ? 0 : 1;
      ++runs;
    }
  }
  // Pure noise as well.
  for (int i = 0; i < 4000; ++i) {
    std::string bytes(rng() % 64, '\0');
    for (auto& ch : bytes) ch = static_cast<char>(rng() % 24);
    RecordingSettings s;
    EXPECT_TRUE(allowed.count(Parse(bytes, s)));
    ++runs;
  }
  EXPECT_GE(runs, 20000);
  EXPECT_GT(failures, 0);
}

}  // namespace
}  // namespace calvorin
