// The backup file through Wine's real regedit: values of every type are read as backup
// entries, deleted, merged back with "regedit /S" and compared with the originals.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <set>

#include "base/text.h"
#include "base/win/unique_handle.h"
#include "registry/win/win_registry.h"
#include "repair/backup.h"
#include "repair/win/win_backup_files.h"
#include "support/win/wine_test_support.h"

namespace calvorin::win32 {
namespace {

constexpr const char* kKey = "Software\\CalvorinTests\\Backup";
// As the scan records it: the part below the root in lower case.
constexpr const char* kKeyPath = "HKEY_CURRENT_USER\\software\\calvorintests\\backup";

struct Original {
  std::string name;
  DWORD type;
  std::string data;
};

std::vector<Original> Originals() {
  using S = std::string;
  return {
      {"Sz", REG_SZ, S("C:\\Program Files\\Acme\\acme.exe\0", 32)},
      {"Expand", REG_EXPAND_SZ, S("%SystemRoot%\\x.dll\0", 19)},
      {"Multi", REG_MULTI_SZ, S("C:\\a.exe\0D:\\b\\c.txt\0\0", 21)},
      {"Binary", REG_BINARY, S("\x00\x01\x7f\x80\xff\x0d\x0a", 7)},
      {"None", REG_NONE, S("\x43\x00\x3a\x00", 4)},
      {"Dword", REG_DWORD, S("\x78\x56\x34\x12", 4)},
      {"DwordBig", REG_DWORD_BIG_ENDIAN, S("\x12\x34\x56\x78", 4)},
      {"Qword", 11, S("\x01\x02\x03\x04\x05\x06\x07\x88", 8)},
      {"Odd", 0x20001, S("C:\\odd\\type.bin\0", 16)},
      {"Long", REG_SZ, S(5000, 'L') + S("\0", 1)},
      {"LongBinary", REG_BINARY, S(3000, '\xa5')},
      {"Unterminated", REG_SZ, S("C:\\no\\nul.exe")},
      {"Empty", REG_SZ, S("\0", 1)},
      {"ZeroLength", REG_SZ, S()},
      {"Lines", REG_SZ, S("C:\\a\r\nb.exe\0", 12)},
      {"Quoted", REG_SZ, S("\"C:\\a b\\x.exe\" /s\0", 18)},
      {"back\\slash \"quote\"", REG_SZ, S("v\0", 2)},
      {"", REG_SZ, S("C:\\default.exe\0", 15)},
      {"Latin1", REG_SZ, S("C:\\Caf\xe9\\na\xefve \xc5ngstr\xf6m.exe\0", 28)},
      {"ShortDword", REG_DWORD, S("\x01\x02", 2)},
  };
}

bool RunningOnWine() {
  return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

DWORD RunAndWait(std::string commandLine) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &si, &pi)) {
    return GetLastError() | 0x80000000u;
  }
  UniqueKernelHandle process(pi.hProcess);
  UniqueKernelHandle thread(pi.hThread);
  WaitForSingleObject(process.get(), 60000);
  DWORD code = 0;
  GetExitCodeProcess(process.get(), &code);
  return code;
}

class BackupRoundTripTest : public ::testing::Test {
 protected:
  void SetUp() override { Cleanup(); }
  void TearDown() override { Cleanup(); }
  static void Cleanup() { testing::ScopedTestKey::Remove(kKey); }
  static UniqueRegKey OpenTestKey() {
    UniqueRegKey key;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              key.put(), nullptr),
              ERROR_SUCCESS);
    return key;
  }
  static bool ReadWide(HKEY key, const std::string& name, DWORD* type, std::string* data) {
    std::wstring wname(name.size() + 1, L'\0');
    const int n = MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, wname.data(),
                                      static_cast<int>(wname.size()));
    wname.resize(n > 0 ? n - 1 : 0);
    DWORD size = 0;
    if (RegQueryValueExW(key, wname.c_str(), nullptr, type, nullptr, &size) != ERROR_SUCCESS) {
      return false;
    }
    data->assign(size, '\0');
    if (RegQueryValueExW(key, wname.c_str(), nullptr, type, reinterpret_cast<BYTE*>(data->data()),
                         &size) != ERROR_SUCCESS) {
      return false;
    }
    data->resize(size);
    return true;
  }
  static bool Read(HKEY key, const std::string& name, DWORD* type, std::string* data) {
    DWORD size = 0;
    if (RegQueryValueExA(key, name.c_str(), nullptr, type, nullptr, &size) != ERROR_SUCCESS) {
      return false;
    }
    data->assign(size + 16, '\0');
    DWORD got = static_cast<DWORD>(data->size());
    if (RegQueryValueExA(key, name.c_str(), nullptr, type, reinterpret_cast<BYTE*>(data->data()),
                         &got) != ERROR_SUCCESS) {
      return false;
    }
    data->resize(got);
    return true;
  }
};

TEST_F(BackupRoundTripTest, EveryTypeComesBackThroughRegedit) {
  const auto originals = Originals();
  {
    UniqueRegKey key = OpenTestKey();
    for (const auto& o : originals) {
      // RegSetValueEx counts a terminator the caller left out when one follows the data
      // (Windows does this too); a byte after the data keeps every value as given.
      const std::string buffer = o.data + "X";
      ASSERT_EQ(RegSetValueExA(key.get(), o.name.c_str(), 0, o.type,
                               reinterpret_cast<const BYTE*>(buffer.data()),
                               static_cast<DWORD>(o.data.size())),
                ERROR_SUCCESS)
          << o.name;
    }
  }

  // Read them back the way Repair does, by the scan's key path.
  std::vector<BackupEntry> entries;
  std::vector<std::string> storedBefore;
  {
    TRegistry reg(SystemRegistry());
    ASSERT_TRUE(reg.OpenKey(std::string(kKeyPath).substr(Pos("\\", kKeyPath)), false));
    for (const auto& o : originals) {
      BackupEntry e;
      e.keyPath = kKeyPath;
      ASSERT_EQ(ReadBackupValue(reg, o.name, &e), kErrorSuccess) << o.name;
      EXPECT_EQ(e.type, o.type) << o.name;
      storedBefore.push_back(e.data);
      entries.push_back(e);
    }
  }
  // What the registry really holds, in UTF-16, to compare below the ANSI view as well.
  std::vector<std::string> wideBefore;
  {
    UniqueRegKey key = OpenTestKey();
    for (const auto& o : originals) {
      DWORD type = 0;
      std::string data;
      ASSERT_TRUE(ReadWide(key.get(), o.name, &type, &data)) << o.name;
      wideBefore.push_back(data);
    }
  }
  if (GetACP() == 1252) {
    // "\xe9" is stored as U+00E9: the registry holds the Latin-1 text, not its bytes.
    EXPECT_EQ(wideBefore[18].substr(12, 2), std::string("\xe9\0", 2));
  }
  // A value stored without its terminator reads back without one.
  EXPECT_EQ(storedBefore[11], "C:\\no\\nul.exe");
  EXPECT_EQ(wideBefore[11].size(), 26u);

  const std::string path = testing::TempFolder() + "\\calvorin backup roundtrip.reg";
  WinBackupFiles files;
  files.WriteAtomically(path, BackupText(entries));
  {
    UniqueRegKey key = OpenTestKey();
    for (const auto& o : originals) {
      ASSERT_EQ(RegDeleteValueA(key.get(), o.name.c_str()), ERROR_SUCCESS) << o.name;
    }
    DWORD values = 99;
    ASSERT_EQ(RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               &values, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(values, 0u);
  }

  ASSERT_EQ(RunAndWait("regedit.exe /S \"" + path + "\""), 0u);
  DeleteFileA(path.c_str());

  UniqueRegKey key = OpenTestKey();
  std::set<DWORD> types;
  for (const auto& o : originals) types.insert(o.type);
  int identical = 0;
  int identicalWide = 0;
  for (size_t i = 0; i < originals.size(); ++i) {
    const auto& o = originals[i];
    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(Read(key.get(), o.name, &type, &data)) << "not restored: " << o.name;
    EXPECT_EQ(type, o.type) << o.name;
    // Wine's regedit appends a terminator to string-typed hex data that has none; the
    // value comes back one zero byte longer (one zero WCHAR as stored).
    const bool wineAddsTerminator = o.name == "Unterminated" && RunningOnWine();
    EXPECT_EQ(data, storedBefore[i] + (wineAddsTerminator ? std::string(1, '\0') : "")) << o.name;
    if (type == o.type && data == storedBefore[i]) ++identical;
    std::string wide;
    ASSERT_TRUE(ReadWide(key.get(), o.name, &type, &wide)) << o.name;
    std::string expectedWide = wideBefore[i];
    if (wineAddsTerminator) expectedWide += std::string(2, '\0');
    EXPECT_EQ(wide, expectedWide) << o.name;
    if (wide == wideBefore[i]) ++identicalWide;
  }
  std::printf(
      "round trip: %zu values of %d types; %d identical through the ANSI API, "
      "%d identical as stored\n",
      originals.size(), static_cast<int>(types.size()), identical, identicalWide);
}

TEST_F(BackupRoundTripTest, DefaultValueLineWithEmptyQuotedNameIsReadAsTheDefault) {
  const std::string path = testing::TempFolder() + "\\calvorin default.reg";
  WinBackupFiles files;
  files.WriteAtomically(
      path, std::string("REGEDIT4\r\n \r\n[") + kKeyPath + "]\r\n\"\"=\"default text\"\r\n \r\n");
  ASSERT_EQ(RunAndWait("regedit.exe /S \"" + path + "\""), 0u);
  DeleteFileA(path.c_str());
  UniqueRegKey key = OpenTestKey();
  DWORD type = 0;
  std::string data;
  ASSERT_TRUE(Read(key.get(), "", &type, &data));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(data, std::string("default text\0", 13));
  DWORD values = 0;
  RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                   nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(values, 1u);
}

TEST_F(BackupRoundTripTest, UnterminatedStringInHexFormGetsATerminatorFromWineRegedit) {
  const std::string path = testing::TempFolder() + "\\calvorin hex1.reg";
  WinBackupFiles files;
  files.WriteAtomically(path, std::string("REGEDIT4\r\n \r\n[") + kKeyPath +
                                  "]\r\n\"U\"=hex(1):61,62\r\n\"Z\"=hex(1):\r\n \r\n");
  ASSERT_EQ(RunAndWait("regedit.exe /S \"" + path + "\""), 0u);
  DeleteFileA(path.c_str());
  UniqueRegKey key = OpenTestKey();
  DWORD type = 0;
  std::string wide;
  ASSERT_TRUE(ReadWide(key.get(), "U", &type, &wide));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  if (RunningOnWine()) {
    EXPECT_EQ(wide, std::string("a\0b\0\0\0", 6));
  } else {
    EXPECT_EQ(wide, std::string("a\0b\0", 4));
  }
  ASSERT_TRUE(ReadWide(key.get(), "Z", &type, &wide));
  EXPECT_EQ(wide, "");  // a zero-length string stays zero-length
}

// Under a Japanese locale (code page 932) "表" is 95 5C: its second byte is the backslash's.
// The backup escapes characters, not bytes, so the registry editor reads the name and the text
// back as they were. The suite runs this once more in such a process (see CMakeLists.txt).
TEST_F(BackupRoundTripTest, DoubleByteCodePageRoundTrip) {
  const char* locale = std::getenv("LC_ALL");
  if (GetACP() != 932) {
    // Started for this test under the Japanese locale, it must have got its code page.
    ASSERT_EQ(std::string(locale ? locale : "").find("ja_JP"), std::string::npos)
        << "LC_ALL=" << locale << " gave code page " << GetACP();
    GTEST_SKIP() << "needs code page 932; this process has " << GetACP();
  }
  const std::wstring name = L"\u8868\u793a";                        // 95 5C 8E A6
  const std::wstring text = L"C:\\\u8868\\\u30bd\u30d5\u30c8.exe";  // 表 and ソフト (83 5C ...)
  {
    UniqueRegKey key = OpenTestKey();
    const std::wstring data = text + L'\0';
    ASSERT_EQ(RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size() * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }
  const LeadByteTest lead = [](unsigned char c) { return IsDBCSLeadByte(c) != FALSE; };
  BackupEntry e;
  e.keyPath = kKeyPath;
  TRegistry reg(SystemRegistry());
  ASSERT_TRUE(reg.OpenKey(std::string(kKeyPath).substr(Pos("\\", kKeyPath)), false));
  std::vector<std::string> names;
  reg.GetValueNames(names);
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0], "\x95\x5C\x8E\xA6");
  ASSERT_EQ(ReadBackupValue(reg, names[0], &e), kErrorSuccess);
  EXPECT_EQ(SystemRegistry().CheckAnsiForm(reg.CurrentKey(), names[0], e.type, e.data),
            kErrorSuccess);
  EXPECT_TRUE(BackupCanCarry(e, lead));
  const std::string line = BackupValueLine(e, lead);
  EXPECT_EQ(line.substr(0, 7), "\"\x95\x5C\x8E\xA6\"=");
  reg.CloseKey();

  DWORD type = 0;
  std::string before;
  {
    UniqueRegKey key = OpenTestKey();
    ASSERT_TRUE(ReadWide(key.get(), names[0], &type, &before));
    ASSERT_EQ(RegDeleteValueW(key.get(), name.c_str()), ERROR_SUCCESS);
  }
  const std::string path = testing::TempFolder() + "\\calvorin cp932.reg";
  WinBackupFiles files;
  files.WriteAtomically(path, BackupText({e}, lead));
  ASSERT_EQ(RunAndWait("regedit.exe /S \"" + path + "\""), 0u);
  DeleteFileA(path.c_str());
  UniqueRegKey key = OpenTestKey();
  std::string after;
  ASSERT_TRUE(ReadWide(key.get(), names[0], &type, &after));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(after, before);
}

}  // namespace
}  // namespace calvorin::win32
