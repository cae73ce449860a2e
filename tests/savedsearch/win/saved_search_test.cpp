// Reading a saved search from real files under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>

#include "base/platform.h"
#include "base/win/unique_handle.h"
#include "savedsearch/win/win_saved_search.h"
#include "support/recording_saved_search_host.h"
#include "support/win/wine_test_support.h"

namespace calvorin::win32 {
namespace {

using Host = testing::RecordingSavedSearchHost;

class WinSavedSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string temp = testing::TempFolder();
    ASSERT_FALSE(temp.empty());
    dir_ = temp + "\\CalvorinSavedSearch";
    CreateDirectoryA(dir_.c_str(), nullptr);
    CreateDirectoryA((dir_ + "\\folder.mqt").c_str(), nullptr);
    ASSERT_TRUE(SetCurrentDirectoryA(dir_.c_str()));
  }
  void TearDown() override {
    SetCurrentDirectoryA("C:\\");
    for (const char* f : {"good.mqt", "bad.mqt", "locked.mqt"})
      DeleteFileA((dir_ + "\\" + f).c_str());
    RemoveDirectoryA((dir_ + "\\folder.mqt").c_str());
    RemoveDirectoryA(dir_.c_str());
  }
  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ + "\\" + name, std::ios::binary) << bytes;
  }
  // "" on success, else the failure's message.
  std::string Read(const std::string& name) {
    try {
      ReadSavedSearch(name, files, host, converter);
    } catch (const std::exception& e) {
      return e.what();
    }
    return "";
  }

  std::string dir_;
  WinSavedSearchFiles files;
  WinAnsiConverter converter;
  Host host;
};

// MQT, selection 0, PerPage 9, MaxRslt -5, three empty lists.
const std::string kGood("\x06\x03MQT\x02\x00\x02\x09\x02\xFB\x02\x00\x02\x00\x02\x00", 17);

TEST_F(WinSavedSearchTest, ReadsAFileByRelativeName) {
  Write("good.mqt", kGood);
  EXPECT_EQ(Read("good.mqt"), "");
  EXPECT_EQ(host.log, (std::vector<std::string>{"page 1", "PerPage 9", "MaxRslt -5", "clear"}));
  // Closed again: the file can be deleted at once.
  EXPECT_TRUE(DeleteFileA("good.mqt"));
}

TEST_F(WinSavedSearchTest, MissingFilesFoldersAndEmptyNamesAreIgnored) {
  EXPECT_EQ(Read(""), "");
  EXPECT_EQ(Read("missing.mqt"), "");
  EXPECT_EQ(Read("folder.mqt"), "");
  EXPECT_EQ(Read(dir_ + "\\folder.mqt"), "");
  EXPECT_TRUE(host.log.empty());
}

TEST_F(WinSavedSearchTest, AMalformedFileIsClosedBeforeItsFailureIsShown) {
  Write("bad.mqt", std::string("\x06\x03mqt\x02\x00", 7));
  EXPECT_EQ(Read("bad.mqt"), "MQT file corrupted (1)");
  EXPECT_EQ(host.log, (std::vector<std::string>{"page 1", "clear"}));
  EXPECT_TRUE(DeleteFileA("bad.mqt"));
}

TEST_F(WinSavedSearchTest, AFileOpenElsewhereCannotBeOpenedAndNamesItsFullPath) {
  Write("locked.mqt", kGood);
  // Another program has it open, even only for shared reading: an unshared open must fail.
  UniqueFile other(CreateFileA("locked.mqt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(other);
  const std::string message = Read("locked.mqt");
  EXPECT_EQ(message, "Cannot open file \"" + dir_ + "\\locked.mqt\". " +
                         SystemErrorText(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(SystemErrorText(ERROR_SHARING_VIOLATION).empty());
  EXPECT_NE(message.back(), '.');
  EXPECT_EQ(host.log, (std::vector<std::string>{"page 1"}));
}

TEST_F(WinSavedSearchTest, WhileReadNobodyElseMayOpenTheFile) {
  Write("locked.mqt", kGood);
  std::string full, error;
  auto source = files.OpenExclusive("locked.mqt", &full, &error);
  ASSERT_NE(source, nullptr);
  UniqueFile other(CreateFileA("locked.mqt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(other);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  source.reset();
  other.reset(CreateFileA("locked.mqt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_TRUE(other);
}

TEST_F(WinSavedSearchTest, UnicodeTextBecomesTheAnsiCodePage) {
  const std::string utf16("A\0b\0\xe9\0", 6);
  const std::string utf8("Ab\xc3\xa9");
  std::cout << "ANSI code page: " << GetACP() << "\n";
  const std::string a = converter.FromUtf16(utf16);
  const std::string b = converter.FromUtf8(utf8);
  ASSERT_EQ(a.size(), 3u);
  EXPECT_EQ(a.substr(0, 2), "Ab");
  EXPECT_EQ(b, a);
  if (GetACP() == 1252) {
    EXPECT_EQ(a[2], '\xe9');
  }
  EXPECT_EQ(converter.FromUtf8(""), "");
  EXPECT_EQ(converter.FromUtf16(""), "");
}

}  // namespace
}  // namespace calvorin::win32
