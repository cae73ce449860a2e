#include "repair/backup.h"

#include <gtest/gtest.h>

#include "repair/backup_rotation.h"
#include "support/memory_registry.h"

namespace calvorin {
namespace {

using Bytes = std::string;

struct LineCase {
  const char* what;
  std::string name;
  std::uint32_t type;
  Bytes data;
  std::string line;
};

class BackupValueLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(BackupValueLineTest, WritesTheFormTheImportRecreates) {
  const LineCase& c = GetParam();
  EXPECT_EQ(BackupValueLine({"HKEY_CURRENT_USER\\software\\x", c.name, c.type, c.data}), c.line)
      << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    EveryType, BackupValueLineTest,
    ::testing::Values(
        LineCase{"plain string", "Exe", kRegSz, Bytes("C:\\Apps\\app.exe\0", 16),
                 "\"Exe\"=\"C:\\\\Apps\\\\app.exe\""},
        LineCase{"quote in data", "Cmd", kRegSz, Bytes("\"C:\\a b\\x.exe\" /s\0", 18),
                 "\"Cmd\"=\"\\\"C:\\\\a b\\\\x.exe\\\" /s\""},
        LineCase{"escaped name", "a\\b\"c", kRegSz, Bytes("v\0", 2), "\"a\\\\b\\\"c\"=\"v\""},
        LineCase{"default value", "", kRegSz, Bytes("d\0", 2), "\"\"=\"d\""},
        LineCase{"empty string", "E", kRegSz, Bytes("\0", 1), "\"E\"=\"\""},
        LineCase{"zero-length string", "Z", kRegSz, Bytes(), "\"Z\"=hex(1):"},
        LineCase{"unterminated string", "U", kRegSz, Bytes("ab"), "\"U\"=hex(1):61,62"},
        LineCase{"two zero bytes", "T", kRegSz, Bytes("a\0\0", 3), "\"T\"=hex(1):61,00,00"},
        LineCase{"line break", "L", kRegSz, Bytes("a\r\nb\0", 5), "\"L\"=hex(1):61,0d,0a,62,00"},
        LineCase{"Latin-1 string", "N", kRegSz, Bytes("caf\xe9\0", 5), "\"N\"=\"caf\xe9\""},
        LineCase{"expand string", "P", kRegExpandSz, Bytes("%a%\0", 4), "\"P\"=hex(2):25,61,25,00"},
        LineCase{"multi string", "M", kRegMultiSz, Bytes("a\0b\0\0", 5),
                 "\"M\"=hex(7):61,00,62,00,00"},
        LineCase{"binary", "B", kRegBinary, Bytes("\x01\xff", 2), "\"B\"=hex:01,ff"},
        LineCase{"none", "0", kRegNone, Bytes("\x10", 1), "\"0\"=hex(0):10"},
        LineCase{"dword", "D", kRegDword, Bytes("\x78\x56\x34\x12", 4), "\"D\"=dword:12345678"},
        LineCase{"short dword", "S", kRegDword, Bytes("\x01\x02", 2), "\"S\"=hex(4):01,02"},
        LineCase{"big-endian dword", "E", kRegDwordBigEndian, Bytes("\x12\x34\x56\x78", 4),
                 "\"E\"=hex(5):12,34,56,78"},
        LineCase{"qword", "Q", 11, Bytes("\x01\0\0\0\0\0\0\x80", 8),
                 "\"Q\"=hex(b):01,00,00,00,00,00,00,80"},
        LineCase{"odd type", "O", 0x20001, Bytes("\xab", 1), "\"O\"=hex(20001):ab"}));

TEST(BackupValueLineTest, WrapsLongHexDataLikeTheRegistryEditor) {
  const std::string line = BackupValueLine({"k", "Big", kRegBinary, Bytes(100, '\x5a')});
  // Every piece but the last ends in ",\" and the next is indented by two spaces.
  std::vector<std::string> pieces;
  size_t start = 0;
  for (size_t at; (at = line.find("\r\n", start)) != std::string::npos; start = at + 2) {
    pieces.push_back(line.substr(start, at - start));
  }
  pieces.push_back(line.substr(start));
  ASSERT_GT(pieces.size(), 1u);
  std::string joined;
  for (size_t i = 0; i < pieces.size(); ++i) {
    EXPECT_LE(pieces[i].size(), 80u);
    if (i + 1 < pieces.size()) {
      ASSERT_GE(pieces[i].size(), 2u);
      EXPECT_EQ(pieces[i].substr(pieces[i].size() - 2), ",\\");
      joined += pieces[i].substr(0, pieces[i].size() - 1);
    } else {
      joined += pieces[i];
    }
    if (i > 0) {
      EXPECT_EQ(pieces[i].substr(0, 2), "  ");
    }
  }
  std::string expected = "\"Big\"=hex:";
  for (int i = 0; i < 100; ++i) expected += i ? ",5a" : "5a";
  std::string unindented;
  for (size_t i = 0; i < joined.size(); ++i) {
    if (joined[i] == ' ' && i + 1 < joined.size() && joined[i + 1] == ' ') {
      ++i;
      continue;
    }
    unindented += joined[i];
  }
  EXPECT_EQ(unindented, expected);
}

// Code page 932: bytes 81-9F and E0-FC begin a two-byte character whose second byte may be
// 5C, the backslash's byte ("表" is 95 5C).
bool Cp932Lead(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

TEST(BackupCanCarryTest, OnlyWhatTheTwoLinesBringBackExactly) {
  const std::string keyPath = "HKEY_CURRENT_USER\\software\\x";
  const auto carries = [&](const std::string& key, const std::string& name,
                           LeadByteTest lead = nullptr) {
    return BackupCanCarry({key, name, kRegSz, Bytes("v\0", 2)}, lead);
  };
  EXPECT_TRUE(carries(keyPath, ""));
  EXPECT_TRUE(carries(keyPath, "a\\b \"c\" caf\xe9"));
  EXPECT_TRUE(carries(keyPath + "\\\x95\x5C", "\x95\x5C", Cp932Lead));
  // A name that spells out lines of its own: on import it would set the root's default value.
  EXPECT_FALSE(carries(keyPath, "dw\r\n[HKEY_CURRENT_USER]\r\n@=dword:00000007\r\n;"));
  EXPECT_FALSE(carries(keyPath, "line\nbreak"));
  EXPECT_FALSE(carries(keyPath, "tab\there"));
  EXPECT_FALSE(carries(keyPath + "\\bad\rkey", "v"));
  EXPECT_FALSE(carries("", "v"));
  // A last byte that begins a character takes the closing quote or bracket as its second.
  EXPECT_FALSE(carries(keyPath, "x\x95", Cp932Lead));
  EXPECT_FALSE(carries(keyPath + "\\\x95", "v", Cp932Lead));
  EXPECT_TRUE(carries(keyPath, "x\x95"));  // a single-byte code page has no such bytes
  // Other data is carried: what the quoted form cannot hold goes in the hex form.
  EXPECT_TRUE(BackupCanCarry({keyPath, "v", kRegSz, Bytes("a\r\nb\0", 5)}));
  EXPECT_TRUE(BackupCanCarry({keyPath, "v", kRegSz, Bytes()}));
  EXPECT_TRUE(BackupCanCarry({keyPath, "v", kRegBinary, Bytes("ab")}));
  for (const std::uint32_t type : {kRegSz, kRegExpandSz, kRegMultiSz}) {
    EXPECT_FALSE(BackupCanCarry({keyPath, "v", type, Bytes("ab")})) << "unterminated " << type;
  }
}

TEST(BackupValueLineTest, EscapesCharactersNotBytesInDoubleByteCodePages) {
  EXPECT_EQ(EscapeRegText("C:\\\x95\x5C\\a\"", Cp932Lead), "C:\\\\\x95\x5C\\\\a\\\"");
  EXPECT_EQ(EscapeRegText("\x95\x5C"), "\x95\\\x5C");  // single-byte: two characters
  EXPECT_EQ(BackupValueLine({"k", "\x95\x5C", kRegSz, Bytes("C:\\\x95\x5C\0", 6)}, Cp932Lead),
            "\"\x95\x5C\"=\"C:\\\\\x95\x5C\"");
  // Text ending inside a character is no quotable string: the hex form carries its bytes.
  EXPECT_EQ(BackupValueLine({"k", "v", kRegSz, Bytes("a\x95\0", 3)}, Cp932Lead),
            "\"v\"=hex(1):61,95,00");
}

TEST(BackupTextTest, EmptyRunIsThreeLines) {
  EXPECT_EQ(BackupText({}), "REGEDIT4\r\n \r\n \r\n");
}

TEST(BackupTextTest, KeyLineRepeatedPerEntryAndCrLfEverywhere) {
  const std::string text = BackupText(
      {{"HKEY_CURRENT_USER\\software\\example\\app", "Exe", kRegSz,
        Bytes("C:\\Apps\\app.exe\0", 16)},
       {"HKEY_CURRENT_USER\\software\\example\\app", "", kRegDword, Bytes("\1\0\0\0", 4)}});
  EXPECT_EQ(text,
            "REGEDIT4\r\n \r\n"
            "[HKEY_CURRENT_USER\\software\\example\\app]\r\n"
            "\"Exe\"=\"C:\\\\Apps\\\\app.exe\"\r\n"
            "[HKEY_CURRENT_USER\\software\\example\\app]\r\n"
            "\"\"=dword:00000001\r\n \r\n");
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      EXPECT_EQ(text[i - 1], '\r') << "at " << i;
    }
    if (text[i] == '\r') {
      EXPECT_EQ(text[i + 1], '\n') << "at " << i;
    }
  }
}

TEST(BackupTextTest, WrappedHexKeepsCrLf) {
  const std::string text = BackupText({{"HKEY_CURRENT_USER\\k", "B", 3, Bytes(300, '\1')}});
  size_t breaks = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++breaks;
      EXPECT_EQ(text[i - 1], '\r');
    }
  }
  EXPECT_GT(breaks, 5u);
}

TEST(BackupPathTest, JoinsTheExecutableFolder) {
  EXPECT_EQ(BackupPath("C:\\Program Files\\Calvorin"),
            "C:\\Program Files\\Calvorin\\deletedkeys.reg");
  EXPECT_EQ(BackupPath("C:\\"), "C:\\deletedkeys.reg");
}

TEST(ReadBackupValueTest, ReadsExactTypeAndBytesAndFailsForMissingValues) {
  testing::MemoryRegistry mem;
  mem.Put("HKEY_CURRENT_USER\\Software\\A", "Bin", kRegBinary, Bytes("\0\1\2", 3));
  mem.Put("HKEY_CURRENT_USER\\Software\\A", "", 0x20001, Bytes("xy"));
  TRegistry reg(mem);
  ASSERT_TRUE(reg.OpenKey("Software\\A", false));
  BackupEntry e;
  ASSERT_EQ(ReadBackupValue(reg, "bin", &e), kErrorSuccess);
  EXPECT_EQ(e.type, kRegBinary);
  EXPECT_EQ(e.data, Bytes("\0\1\2", 3));
  ASSERT_EQ(ReadBackupValue(reg, "", &e), kErrorSuccess);
  EXPECT_EQ(e.type, 0x20001u);
  EXPECT_EQ(e.data, "xy");
  EXPECT_EQ(ReadBackupValue(reg, "missing", &e), kErrorFileNotFound);
}

TEST(ReadBackupValueTest, ValueThatGrowsBetweenQueriesIsReadWhole) {
  testing::MemoryRegistry mem;
  mem.Put("HKEY_CURRENT_USER\\Software\\A", "V", kRegBinary, Bytes("ab"));
  bool grown = false;
  mem.afterSizeQuery = [&](const std::string&) {
    if (grown) return;
    grown = true;
    mem.Put("HKEY_CURRENT_USER\\Software\\A", "V", kRegBinary, Bytes(5000, 'g'));
  };
  TRegistry reg(mem);
  ASSERT_TRUE(reg.OpenKey("Software\\A", false));
  BackupEntry e;
  ASSERT_EQ(ReadBackupValue(reg, "V", &e), kErrorSuccess);
  EXPECT_EQ(e.data, Bytes(5000, 'g'));
}

}  // namespace
}  // namespace calvorin
