// WinRegistryApi::EnumValueData (one RegEnumValueW per value) against the two ANSI calls it
// replaces (RegEnumValueA for the name, RegQueryValueExA by that name for the data), value by
// value on Wine's real registry: every type, awkward string data, large data, and names with no
// exact ANSI form, including one whose best-fit form names another value. Both answer "no
// Unicode translation" for a name or string data that has no exact ANSI form.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/text.h"
#include "base/win/unique_handle.h"
#include "registry/registry.h"
#include "registry/win/win_registry.h"

namespace calvorin::win32 {
namespace {

using namespace std::string_literals;

constexpr const wchar_t* kTestKey = L"Software\\CalvorinTests\\EnumValueData";

std::vector<BYTE> Bytes(const void* data, size_t size) {
  const auto* p = static_cast<const BYTE*>(data);
  return std::vector<BYTE>(p, p + size);
}

std::vector<BYTE> Wide(const std::wstring& text, size_t bytes) {
  std::vector<BYTE> out = Bytes(text.data(), text.size() * sizeof(wchar_t));
  out.resize(bytes, 0);
  return out;
}
// The text with its terminating NUL character.
std::vector<BYTE> WideZ(const std::wstring& text) {
  return Wide(text, (text.size() + 1) * sizeof(wchar_t));
}

struct Shape {
  std::wstring name;
  DWORD type;
  std::vector<BYTE> data;
};

std::vector<Shape> Shapes() {
  std::vector<Shape> shapes;
  const std::vector<BYTE> eight = {1, 2, 3, 4, 5, 6, 7, 8};
  // Every type with the same binary bytes, and types no one defined.
  for (DWORD type = 0; type <= 11; ++type) {
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) continue;
    shapes.push_back({L"type" + std::to_wstring(type), type, eight});
  }
  shapes.push_back({L"odd type", 0x1234, eight});
  shapes.push_back({L"top type", 0xFFFFFFFF, eight});
  shapes.push_back({L"dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12}});
  shapes.push_back({L"empty binary", REG_BINARY, {}});
  // String data in every shape, for each of the three string types.
  const std::pair<DWORD, const wchar_t*> stringTypes[] = {
      {REG_SZ, L"sz"}, {REG_EXPAND_SZ, L"expand"}, {REG_MULTI_SZ, L"multi"}};
  for (const auto& [type, tag] : stringTypes) {
    const std::wstring t = tag;
    shapes.push_back({t + L" terminated", type, WideZ(L"C:\\Windows\\notepad.exe")});
    shapes.push_back({t + L" unterminated", type, Wide(L"C:\\temp", 14)});
    shapes.push_back({t + L" odd length", type, Wide(L"C:\\x", 7)});
    shapes.push_back({t + L" one byte", type, {0x41}});
    shapes.push_back({t + L" three bytes", type, {0x41, 0x00, 0x42}});
    shapes.push_back({t + L" empty", type, {}});
    shapes.push_back({t + L" only nul", type, WideZ(L"")});
    shapes.push_back({t + L" embedded nuls", type, Wide(std::wstring(L"a\0b\0\0c", 6), 16)});
    shapes.push_back({t + L" list", type, Wide(std::wstring(L"one\0two\0\0", 9), 18)});
    shapes.push_back({t + L" latin1", type, WideZ(L"caf\x00E9 \x00FC\x00DF")});
    shapes.push_back({t + L" cyrillic", type, WideZ(L"\x041F\x0443\x0442\x044C C:\\x")});
    shapes.push_back({t + L" best fit", type, WideZ(L"\x0100\x0101 \x2013 \x201C")});
    shapes.push_back({t + L" cjk and emoji", type, WideZ(L"\x4E2D\x6587 \xD83D\xDE00 C:\\")});
    shapes.push_back({t + L" lone surrogate", type, WideZ(L"a\xD800z")});
    shapes.push_back({t + L" large", type, WideZ(std::wstring(35000, L'q') + L"D:\\end")});
    shapes.push_back({t + L" large odd", type, Wide(std::wstring(35001, L'r'), 70001)});
  }
  std::vector<BYTE> large(70000);
  for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<BYTE>(i * 7);
  shapes.push_back({L"large binary", REG_BINARY, large});
  shapes.push_back({L"", REG_SZ, WideZ(L"the default value")});
  // Names: Latin-1 (exact in the ANSI code page), Cyrillic, CJK and emoji (no ANSI form: '?'),
  // and best-fit forms that name other values: U+0100 becomes 'A', and "???" exists.
  shapes.push_back({L"caf\x00E9", REG_SZ, WideZ(L"latin1 name")});
  shapes.push_back({L"\x041F\x0443\x0442\x044C", REG_SZ, WideZ(L"cyrillic name")});
  shapes.push_back({L"\x4E2D\x6587\x540D", REG_SZ, WideZ(L"cjk name")});
  shapes.push_back({L"emoji \xD83D\xDE00", REG_BINARY, eight});
  shapes.push_back({L"Abc", REG_SZ, WideZ(L"the real Abc")});
  shapes.push_back({L"\u0100bc", REG_SZ, WideZ(L"A with macron")});
  shapes.push_back({L"\u0100xy", REG_DWORD, {1, 0, 0, 0}});
  shapes.push_back({L"???", REG_SZ, WideZ(L"the real question marks")});
  shapes.push_back({L"??? tail", REG_SZ, WideZ(L"question marks with a tail")});
  shapes.push_back({L"\x4E2D\x6587\x540D tail", REG_EXPAND_SZ, WideZ(L"cjk with a tail")});
  shapes.push_back({std::wstring(300, L'n'), REG_SZ, WideZ(L"a name past MAX_PATH")});
  shapes.push_back({std::wstring(16383, L'm'), REG_SZ, WideZ(L"the longest name")});
  return shapes;
}

// One value as a seam call gave it.
struct Read {
  long rc = -1;
  std::string name;
  long readRc = -1;
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
  bool operator==(const Read&) const = default;
};

std::string Show(const Read& r) {
  std::string text =
      Format("rc %ld read %ld type %u size %u name [%s] data", r.rc, r.readRc, r.type,
             static_cast<unsigned>(r.data.size()), r.name.substr(0, 40).c_str());
  for (size_t i = 0; i < r.data.size() && i < 24; ++i) text += Format(" %02x", r.data[i]);
  return text;
}

// With `single` the platform's one call, else the two calls of the seam's default.
Read ReadAt(WinRegistryApi& api, HKEY key, DWORD index, bool single) {
  Read r;
  std::vector<std::uint8_t> buffer;
  std::uint32_t size = 0;
  const auto hkey = reinterpret_cast<Hkey>(key);
  r.rc = single ? api.EnumValueData(hkey, index, &r.name, &r.type, buffer, &size, &r.readRc)
                : api.RegistryApi::EnumValueData(hkey, index, &r.name, &r.type, buffer, &size,
                                                 &r.readRc);
  if (r.rc != kErrorSuccess || r.readRc != kErrorSuccess) {
    r.type = 0;
    r.readRc = r.rc == kErrorSuccess ? r.readRc : -1;
    return r;
  }
  r.data.assign(buffer.begin(), buffer.begin() + size);
  return r;
}

class EnumValueDataWine : public ::testing::Test {
 protected:
  void SetUp() override {
    Cleanup();
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                key_.put(), nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    key_ = UniqueRegKey();
    Cleanup();
  }
  static void Cleanup() {
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kTestKey);
    ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\CalvorinTests");
  }

  UniqueRegKey key_;
};

TEST_F(EnumValueDataWine, OneCallGivesWhatTheAnsiCallsGiveForEveryValue) {
  const std::vector<Shape> shapes = Shapes();
  for (const Shape& s : shapes) {
    ASSERT_EQ(::RegSetValueExW(key_.get(), s.name.c_str(), 0, s.type,
                               s.data.empty() ? nullptr : s.data.data(),
                               static_cast<DWORD>(s.data.size())),
              ERROR_SUCCESS)
        << s.name.size();
  }
  DWORD values = 0;
  ASSERT_EQ(::RegQueryInfoKeyW(key_.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               &values, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(values, shapes.size());

  WinRegistryApi& api = SystemRegistry();
  int noAnsiName = 0;
  int noAnsiData = 0;
  // One past the end as well: both report that there are no more.
  for (DWORD i = 0; i <= values; ++i) {
    const Read two = ReadAt(api, key_.get(), i, false);
    const Read one = ReadAt(api, key_.get(), i, true);
    EXPECT_EQ(one, two) << "index " << i << "\n one: " << Show(one) << "\n two: " << Show(two);
    if (i == values) {
      EXPECT_EQ(two.rc, kErrorNoMoreItems);
    }
    noAnsiName += two.rc == kErrorNoUnicodeTranslation;
    noAnsiData += two.rc == kErrorSuccess && two.readRc == kErrorNoUnicodeTranslation;
    // The real "Abc" and "???" are read as themselves, never in place of a look-alike.
    if (two.name == "Abc" && two.rc == kErrorSuccess) {
      EXPECT_EQ(std::string(two.data.begin(), two.data.end()), "the real Abc\0"s);
    }
  }
  // Names with no exact ANSI form, whose look-alike would name nothing or another value:
  // Cyrillic, CJK, CJK with a tail, emoji, U+0100 "bc" (best fit: the real "Abc") and "xy".
  EXPECT_EQ(noAnsiName, 6);
  // Cyrillic, best-fit, CJK with emoji and lone-surrogate data, in each of the three types.
  EXPECT_EQ(noAnsiData, 12);
}

// The default value alone, with no data, and a key with no values at all.
TEST_F(EnumValueDataWine, DefaultAndEmptyKeysAgree) {
  WinRegistryApi& api = SystemRegistry();
  EXPECT_EQ(ReadAt(api, key_.get(), 0, true), ReadAt(api, key_.get(), 0, false));
  EXPECT_EQ(ReadAt(api, key_.get(), 0, true).rc, kErrorNoMoreItems);
  ASSERT_EQ(::RegSetValueExW(key_.get(), L"", 0, REG_SZ, nullptr, 0), ERROR_SUCCESS);
  const Read one = ReadAt(api, key_.get(), 0, true);
  EXPECT_EQ(one, ReadAt(api, key_.get(), 0, false)) << Show(one);
  EXPECT_EQ(one.rc, kErrorSuccess);
  EXPECT_EQ(one.name, "");
}

}  // namespace
}  // namespace calvorin::win32
