#include "registry/win/win_registry.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <vector>

namespace calvorin::win32 {
namespace {

HKEY ToHkey(Hkey key) { return reinterpret_cast<HKEY>(key); }
Hkey FromHkey(HKEY key) { return reinterpret_cast<Hkey>(key); }

// Value names may be up to 16,383 characters; key names up to 255.
constexpr DWORD kMaxValueName = 16384;
constexpr DWORD kMaxKeyName = 256;

// The conversions advapi32's ANSI registry calls make (names and string data between the ANSI
// code page and UTF-16), taken from ntdll so they are the very same functions.
using UnicodeToMultiByteSizeFn = LONG(WINAPI*)(ULONG* bytes, const WCHAR* text, ULONG textBytes);
using UnicodeToMultiByteNFn = LONG(WINAPI*)(char* out, ULONG outBytes, ULONG* written,
                                            const WCHAR* text, ULONG textBytes);
using MultiByteToUnicodeNFn = LONG(WINAPI*)(WCHAR* out, ULONG outBytes, ULONG* written,
                                            const char* text, ULONG textBytes);

struct AnsiConversion {
  UnicodeToMultiByteSizeFn toAnsiSize = nullptr;
  UnicodeToMultiByteNFn toAnsi = nullptr;
  MultiByteToUnicodeNFn toWide = nullptr;
  bool Usable() const { return toAnsiSize && toAnsi && toWide; }
};

const AnsiConversion& Conversion() {
  static const AnsiConversion conversion = [] {
    AnsiConversion c;
    if (HMODULE ntdll = ::GetModuleHandleA("ntdll.dll")) {
      c.toAnsiSize = reinterpret_cast<UnicodeToMultiByteSizeFn>(
          reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlUnicodeToMultiByteSize")));
      c.toAnsi = reinterpret_cast<UnicodeToMultiByteNFn>(
          reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlUnicodeToMultiByteN")));
      c.toWide = reinterpret_cast<MultiByteToUnicodeNFn>(
          reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlMultiByteToUnicodeN")));
    }
    return c;
  }();
  return conversion;
}

// EnumValueData's buffers, reused from call to call on each thread.
struct EnumBuffers {
  std::vector<WCHAR> wideName = std::vector<WCHAR>(kMaxValueName + 1);
  std::vector<BYTE> wideData = std::vector<BYTE>(4096);
};

bool AllAscii(const WCHAR* text, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (text[i] >= 0x80) return false;
  }
  return true;
}

// Whether `ansi` converts back to the very same `count` UTF-16 units (best-fit look-alikes and
// '?' replacements do not).
bool RoundTrips(const WCHAR* text, size_t count, const char* ansi, size_t ansiLen) {
  std::vector<WCHAR> back(count + 1);
  ULONG backBytes = 0;
  Conversion().toWide(back.data(), static_cast<ULONG>(back.size() * sizeof(WCHAR)), &backBytes,
                      ansi, static_cast<ULONG>(ansiLen));
  return backBytes == count * sizeof(WCHAR) && std::wmemcmp(back.data(), text, count) == 0;
}

// `count` UTF-16 units as the ANSI calls convert them, into *ansi; false when that is no exact
// form of them.
bool ToAnsiExactly(const WCHAR* text, size_t count, std::string* ansi) {
  if (AllAscii(text, count)) {  // every ANSI code page keeps these as they are
    ansi->resize(count);
    for (size_t i = 0; i < count; ++i) (*ansi)[i] = static_cast<char>(text[i]);
    return true;
  }
  const AnsiConversion& convert = Conversion();
  const auto bytes = static_cast<ULONG>(count * sizeof(WCHAR));
  ULONG size = 0;
  convert.toAnsiSize(&size, text, bytes);
  ansi->resize(size);
  ULONG written = 0;
  convert.toAnsi(ansi->data(), size, &written, text, bytes);
  ansi->resize(written);
  return RoundTrips(text, count, ansi->data(), ansi->size());
}

// The UTF-16 form the ANSI calls (and the registry editor's import) give `ansi`.
std::vector<WCHAR> ToWide(const std::string& ansi) {
  std::vector<WCHAR> wide(ansi.size() + 1);
  ULONG bytes = 0;
  Conversion().toWide(wide.data(), static_cast<ULONG>(wide.size() * sizeof(WCHAR)), &bytes,
                      ansi.data(), static_cast<ULONG>(ansi.size()));
  wide.resize(bytes / sizeof(WCHAR));
  return wide;
}

// The value `name` as the registry stores it, found by the name the ANSI calls would use.
LONG QueryStored(HKEY key, const std::string& name, DWORD* type, std::vector<BYTE>* data) {
  std::vector<WCHAR> wideName = ToWide(name);
  wideName.push_back(L'\0');
  DWORD size = static_cast<DWORD>(data->size());
  LONG rc = ::RegQueryValueExW(key, wideName.data(), nullptr, type, data->data(), &size);
  for (int attempt = 0; attempt < 3 && rc == ERROR_MORE_DATA; ++attempt) {
    data->resize(size);
    rc = ::RegQueryValueExW(key, wideName.data(), nullptr, type, data->data(), &size);
  }
  if (rc == ERROR_SUCCESS) data->resize(size);
  return rc;
}

// After an ANSI read of string data that succeeded: ERROR_NO_UNICODE_TRANSLATION when the
// stored characters have no exact ANSI form, so that nobody judges or writes a look-alike.
LONG CheckStoredCharacters(HKEY key, const std::string& name, DWORD type) {
  if (!IsStringType(type) || !Conversion().Usable()) return ERROR_SUCCESS;
  std::vector<BYTE> stored(512);
  DWORD storedType = 0;
  // Gone or changed since the ANSI read: that read's answer stands.
  if (QueryStored(key, name, &storedType, &stored) != ERROR_SUCCESS) return ERROR_SUCCESS;
  std::string ansi;
  const bool exact = ToAnsiExactly(reinterpret_cast<const WCHAR*>(stored.data()),
                                   stored.size() / sizeof(WCHAR), &ansi);
  return exact ? ERROR_SUCCESS : ERROR_NO_UNICODE_TRANSLATION;
}

}  // namespace

WinRegistryApi::WinRegistryApi(std::uint32_t viewFlag) : view_(viewFlag) {}

long WinRegistryApi::OpenKey(Hkey parent, const std::string& subKey, std::uint32_t access,
                             Hkey* result) {
  HKEY key = nullptr;
  const LONG rc = ::RegOpenKeyExA(ToHkey(parent), subKey.c_str(), 0, access | view_, &key);
  if (rc == ERROR_SUCCESS) *result = FromHkey(key);
  return rc;
}

// REG_OPTION_OPEN_LINK costs nothing more than the open: the server follows a link only when
// asked to, and a link opened so shows its SymbolicLinkValue and no subkeys.
long WinRegistryApi::OpenKeyItself(Hkey parent, const std::string& subKey, std::uint32_t access,
                                   Hkey* result) {
  HKEY key = nullptr;
  const LONG rc =
      ::RegOpenKeyExA(ToHkey(parent), subKey.c_str(), REG_OPTION_OPEN_LINK, access | view_, &key);
  if (rc == ERROR_SUCCESS) *result = FromHkey(key);
  return rc;
}

long WinRegistryApi::CreateKey(Hkey parent, const std::string& subKey, std::uint32_t access,
                               Hkey* result) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  const LONG rc =
      ::RegCreateKeyExA(ToHkey(parent), subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        access | view_, nullptr, &key, &disposition);
  if (rc == ERROR_SUCCESS) *result = FromHkey(key);
  return rc;
}

long WinRegistryApi::CloseKey(Hkey key) {
  return ::RegCloseKey(ToHkey(key));
}

long WinRegistryApi::EnumKey(Hkey key, std::uint32_t index, std::string* name) {
  if (!Conversion().Usable()) {
    char buffer[4 * kMaxKeyName + 1];
    DWORD len = sizeof buffer;
    const LONG rc =
        ::RegEnumKeyExA(ToHkey(key), index, buffer, &len, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    name->assign(buffer, len);
    return std::memchr(buffer, '\0', len) ? ERROR_NO_UNICODE_TRANSLATION : ERROR_SUCCESS;
  }
  WCHAR buffer[kMaxKeyName + 1];
  DWORD len = kMaxKeyName + 1;
  const LONG rc =
      ::RegEnumKeyExW(ToHkey(key), index, buffer, &len, nullptr, nullptr, nullptr, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  // A look-alike would open another key, or none, and so would a name cut at an embedded NUL
  // (the ANSI name ends there): the key is passed over.
  const bool exact =
      ToAnsiExactly(buffer, len, name) && std::wmemchr(buffer, L'\0', len) == nullptr;
  return exact ? ERROR_SUCCESS : ERROR_NO_UNICODE_TRANSLATION;
}

long WinRegistryApi::EnumValue(Hkey key, std::uint32_t index, std::string* name) {
  if (!Conversion().Usable()) {
    thread_local std::vector<char> buffer(4 * kMaxValueName + 1);
    DWORD len = static_cast<DWORD>(buffer.size());
    const LONG rc = ::RegEnumValueA(ToHkey(key), index, buffer.data(), &len, nullptr, nullptr,
                                    nullptr, nullptr);
    if (rc == ERROR_SUCCESS) name->assign(buffer.data(), len);
    return rc;
  }
  thread_local std::vector<WCHAR> buffer(kMaxValueName + 1);
  DWORD len = static_cast<DWORD>(buffer.size());
  const LONG rc =
      ::RegEnumValueW(ToHkey(key), index, buffer.data(), &len, nullptr, nullptr, nullptr, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  // An embedded NUL ends the ANSI name early: that name is another value's.
  const bool exact =
      ToAnsiExactly(buffer.data(), len, name) && std::wmemchr(buffer.data(), L'\0', len) == nullptr;
  return exact ? ERROR_SUCCESS : ERROR_NO_UNICODE_TRANSLATION;
}

// Only the two counts are asked for: Wine answers a query that asks for the security
// descriptor's size with a "fixme" line on standard error, once per key of a scan.
long WinRegistryApi::QueryKeyCounts(Hkey key, std::uint32_t* subKeys, std::uint32_t* values) {
  DWORD keys = 0, vals = 0;
  const LONG rc = ::RegQueryInfoKeyA(ToHkey(key), nullptr, nullptr, nullptr, &keys, nullptr,
                                     nullptr, &vals, nullptr, nullptr, nullptr, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  *subKeys = keys;
  *values = vals;
  return rc;
}

long WinRegistryApi::QueryInfoKey(Hkey key, KeyInfo* info) {
  char className[261];
  DWORD classLen = sizeof className;
  DWORD subKeys = 0, maxSubKeyLen = 0, maxClassLen = 0, values = 0, maxValueNameLen = 0,
        maxValueLen = 0, securityDescriptor = 0;
  FILETIME lastWrite{};
  const LONG rc = ::RegQueryInfoKeyA(ToHkey(key), className, &classLen, nullptr, &subKeys,
                                     &maxSubKeyLen, &maxClassLen, &values, &maxValueNameLen,
                                     &maxValueLen, &securityDescriptor, &lastWrite);
  if (rc != ERROR_SUCCESS) return rc;
  info->className.assign(className, classLen < sizeof className ? classLen : 0);
  info->subKeys = subKeys;
  info->maxSubKeyLen = maxSubKeyLen;
  info->maxClassLen = maxClassLen;
  info->values = values;
  info->maxValueNameLen = maxValueNameLen;
  info->maxValueLen = maxValueLen;
  info->securityDescriptorSize = securityDescriptor;
  info->lastWriteLow = lastWrite.dwLowDateTime;
  info->lastWriteHigh = lastWrite.dwHighDateTime;
  return rc;
}

long WinRegistryApi::QueryValue(Hkey key, const std::string& name, std::uint32_t* type,
                                std::uint8_t* data, std::uint32_t* size) {
  DWORD t = 0;
  DWORD s = *size;
  LONG rc = ::RegQueryValueExA(ToHkey(key), name.c_str(), nullptr, &t, data, &s);
  if (rc == ERROR_SUCCESS && data) rc = CheckStoredCharacters(ToHkey(key), name, t);
  if (type) *type = t;
  *size = s;
  return rc;
}

long WinRegistryApi::ReadValue(Hkey key, const std::string& name, std::uint32_t* type,
                               std::vector<std::uint8_t>& buffer, std::uint32_t* size) {
  // Most values are small: a buffer of this size answers them in one round trip to the server.
  constexpr size_t kFirstBuffer = 4096;
  if (buffer.size() < kFirstBuffer) buffer.resize(kFirstBuffer);
  DWORD t = 0;
  DWORD s = static_cast<DWORD>(buffer.size());
  LONG rc = ::RegQueryValueExA(ToHkey(key), name.c_str(), nullptr, &t, buffer.data(), &s);
  if (rc == ERROR_MORE_DATA) return RegistryApi::ReadValue(key, name, type, buffer, size);
  if (rc == ERROR_SUCCESS) rc = CheckStoredCharacters(ToHkey(key), name, t);
  if (type) *type = t;
  *size = s;
  return rc;
}

long WinRegistryApi::EnumValueData(Hkey key, std::uint32_t index, std::string* name,
                                   std::uint32_t* type, std::vector<std::uint8_t>& buffer,
                                   std::uint32_t* size, long* readResult) {
  const AnsiConversion& convert = Conversion();
  if (!convert.Usable()) {
    return RegistryApi::EnumValueData(key, index, name, type, buffer, size, readResult);
  }
  // One thread-local object, not three: MinGW reaches each thread_local (and its guard) through
  // __emutls_get_address, a TlsGetValue behind a pthread_once, which showed in profiles of the
  // walk at three per value.
  thread_local EnumBuffers buffers;
  std::vector<WCHAR>& wideName = buffers.wideName;
  std::vector<BYTE>& wideData = buffers.wideData;

  DWORD nameLen = 0;
  DWORD t = 0;
  DWORD dataLen = 0;
  LONG rc = ERROR_MORE_DATA;
  // A value that grows between two calls asks for a third; beyond that, the default's calls.
  for (int attempt = 0; attempt < 3 && rc == ERROR_MORE_DATA; ++attempt) {
    nameLen = static_cast<DWORD>(wideName.size());
    dataLen = static_cast<DWORD>(wideData.size());
    rc = ::RegEnumValueW(ToHkey(key), index, wideName.data(), &nameLen, nullptr, &t,
                         wideData.data(), &dataLen);
    // More data also answers a name longer than the buffer; then the size is no bigger.
    if (rc == ERROR_MORE_DATA && dataLen <= wideData.size()) break;
    if (rc == ERROR_MORE_DATA) wideData.resize(dataLen);
  }
  if (rc != ERROR_SUCCESS || nameLen >= wideName.size()) {
    return RegistryApi::EnumValueData(key, index, name, type, buffer, size, readResult);
  }

  // The name as RegEnumValueA converts it. RegQueryValueExA with that name converts it back and
  // finds this value only if the round trip gives the very same characters, and only if it has
  // no NUL (the ANSI name ends at the first); otherwise the value is passed over.
  if (!ToAnsiExactly(wideName.data(), nameLen, name) ||
      std::wmemchr(wideName.data(), L'\0', nameLen) != nullptr) {
    return ERROR_NO_UNICODE_TRANSLATION;
  }

  if (!IsStringType(t)) {
    if (buffer.size() < dataLen) buffer.resize(dataLen);
    if (dataLen > 0) std::memcpy(buffer.data(), wideData.data(), dataLen);
    *type = t;
    *size = dataLen;
    *readResult = ERROR_SUCCESS;
    return ERROR_SUCCESS;
  }
  // String data of an odd length or without a terminating NUL character: how RegQueryValueExA
  // sizes and terminates such data is not the same in every version, so it answers itself.
  const auto* text = reinterpret_cast<const WCHAR*>(wideData.data());
  if (dataLen % sizeof(WCHAR) != 0 || (dataLen > 0 && text[dataLen / sizeof(WCHAR) - 1] != L'\0')) {
    *readResult = ReadValue(key, *name, type, buffer, size);
    return ERROR_SUCCESS;
  }
  ULONG dataAnsi = 0;
  convert.toAnsiSize(&dataAnsi, text, dataLen);
  if (buffer.size() < dataAnsi) buffer.resize(dataAnsi);
  ULONG written = 0;
  if (dataAnsi > 0) {
    convert.toAnsi(reinterpret_cast<char*>(buffer.data()), dataAnsi, &written, text, dataLen);
  }
  const size_t units = dataLen / sizeof(WCHAR);
  const bool exact = AllAscii(text, units) ||
                     RoundTrips(text, units, reinterpret_cast<const char*>(buffer.data()), written);
  *type = t;
  *size = dataAnsi;
  *readResult = exact ? ERROR_SUCCESS : ERROR_NO_UNICODE_TRANSLATION;
  return ERROR_SUCCESS;
}

long WinRegistryApi::SetValue(Hkey key, const std::string& name, std::uint32_t type,
                              const std::uint8_t* data, std::uint32_t size) {
  return ::RegSetValueExA(ToHkey(key), name.c_str(), 0, type, data, size);
}

long WinRegistryApi::DeleteValue(Hkey key, const std::string& name) {
  return ::RegDeleteValueA(ToHkey(key), name.c_str());
}

long WinRegistryApi::CheckAnsiForm(Hkey key, const std::string& name, std::uint32_t type,
                                   const std::string& data) {
  if (!Conversion().Usable()) return ERROR_NO_UNICODE_TRANSLATION;  // cannot tell: assume not
  std::vector<BYTE> stored(data.size() * sizeof(WCHAR) + 16);
  DWORD storedType = 0;
  const LONG rc = QueryStored(ToHkey(key), name, &storedType, &stored);
  if (rc != ERROR_SUCCESS) return rc;
  if (storedType != type) return ERROR_NO_UNICODE_TRANSLATION;
  if (!IsStringType(type)) {
    const bool same = stored.size() == data.size() &&
                      (data.empty() || std::memcmp(stored.data(), data.data(), data.size()) == 0);
    return same ? ERROR_SUCCESS : ERROR_NO_UNICODE_TRANSLATION;
  }
  // Setting string data through the ANSI calls (the import of a version 4 file does) stores
  // the conversion of every byte, NULs included, and nothing more.
  const std::vector<WCHAR> wide = ToWide(data);
  const bool same = stored.size() == wide.size() * sizeof(WCHAR) &&
                    (wide.empty() || std::memcmp(stored.data(), wide.data(), stored.size()) == 0);
  return same ? ERROR_SUCCESS : ERROR_NO_UNICODE_TRANSLATION;
}

long WinRegistryApi::DeleteKey(Hkey key, const std::string& subKey) {
  // RegDeleteKeyA opens the subkey in the process's own view: under WOW64 the key deleted could
  // be the other view's namesake. RegDeleteKeyExA takes the view (none outside WOW64).
  return ::RegDeleteKeyExA(ToHkey(key), subKey.c_str(), view_, 0);
}

WinRegistryApi& SystemRegistry() {
  static WinRegistryApi api(RegistryViewFlag());
  return api;
}

}  // namespace calvorin::win32
