#include "win32/win_registry.h"

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
  std::vector<WCHAR> roundTrip = std::vector<WCHAR>(kMaxValueName + 1);
  std::vector<BYTE> wideData = std::vector<BYTE>(4096);
};

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

}  // namespace

long WinRegistryApi::OpenKey(Hkey parent, const std::string& subKey, std::uint32_t access,
                             Hkey* result) {
  HKEY key = nullptr;
  const LONG rc = ::RegOpenKeyExA(ToHkey(parent), subKey.c_str(), 0, access, &key);
  if (rc == ERROR_SUCCESS) *result = FromHkey(key);
  return rc;
}

long WinRegistryApi::CreateKey(Hkey parent, const std::string& subKey, std::uint32_t access,
                               Hkey* result) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  const LONG rc = ::RegCreateKeyExA(ToHkey(parent), subKey.c_str(), 0, nullptr,
                                    REG_OPTION_NON_VOLATILE, access, nullptr, &key, &disposition);
  if (rc == ERROR_SUCCESS) *result = FromHkey(key);
  return rc;
}

long WinRegistryApi::CloseKey(Hkey key) { return ::RegCloseKey(ToHkey(key)); }

long WinRegistryApi::EnumKey(Hkey key, std::uint32_t index, std::string* name) {
  char buffer[kMaxKeyName + 1];
  DWORD len = sizeof buffer;
  LONG rc = ::RegEnumKeyExA(ToHkey(key), index, buffer, &len, nullptr, nullptr, nullptr, nullptr);
  if (rc == ERROR_SUCCESS) {
    name->assign(buffer, len);
    return rc;
  }
  if (rc != ERROR_MORE_DATA) return rc;
  // Multi-byte code pages can need more bytes than characters.
  std::vector<char> big(4 * kMaxKeyName + 1);
  len = static_cast<DWORD>(big.size());
  rc = ::RegEnumKeyExA(ToHkey(key), index, big.data(), &len, nullptr, nullptr, nullptr, nullptr);
  if (rc == ERROR_SUCCESS) name->assign(big.data(), len);
  return rc;
}

long WinRegistryApi::EnumValue(Hkey key, std::uint32_t index, std::string* name) {
  thread_local std::vector<char> buffer(kMaxValueName + 1);
  DWORD len = static_cast<DWORD>(buffer.size());
  LONG rc = ::RegEnumValueA(ToHkey(key), index, buffer.data(), &len, nullptr, nullptr, nullptr,
                            nullptr);
  if (rc == ERROR_MORE_DATA) {
    buffer.resize(4 * kMaxValueName + 1);
    len = static_cast<DWORD>(buffer.size());
    rc = ::RegEnumValueA(ToHkey(key), index, buffer.data(), &len, nullptr, nullptr, nullptr,
                         nullptr);
  }
  if (rc == ERROR_SUCCESS) name->assign(buffer.data(), len);
  return rc;
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
  const LONG rc = ::RegQueryValueExA(ToHkey(key), name.c_str(), nullptr, &t, data, &s);
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
  const LONG rc = ::RegQueryValueExA(ToHkey(key), name.c_str(), nullptr, &t, buffer.data(), &s);
  if (rc == ERROR_MORE_DATA) return RegistryApi::ReadValue(key, name, type, buffer, size);
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
  std::vector<WCHAR>& roundTrip = buffers.roundTrip;
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
  // finds this value only if the round trip gives the very same characters (best-fit and '?'
  // replacements do not), and only if it has no NUL (the ANSI name ends at the first).
  const WCHAR* wide = wideName.data();
  const ULONG wideBytes = nameLen * sizeof(WCHAR);
  ULONG ansiLen = 0;
  convert.toAnsiSize(&ansiLen, wide, wideBytes);
  name->resize(ansiLen);
  ULONG written = 0;
  convert.toAnsi(name->data(), ansiLen, &written, wide, wideBytes);
  name->resize(written);
  ULONG back = 0;
  if (roundTrip.size() < nameLen + 1) roundTrip.resize(nameLen + 1);
  convert.toWide(roundTrip.data(), static_cast<ULONG>(roundTrip.size() * sizeof(WCHAR)), &back,
                 name->data(), static_cast<ULONG>(name->size()));
  const bool exactName = back == wideBytes && std::wmemcmp(roundTrip.data(), wide, nameLen) == 0 &&
                         std::wmemchr(wide, L'\0', nameLen) == nullptr;
  if (!exactName) {
    return RegistryApi::EnumValueData(key, index, name, type, buffer, size, readResult);
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
  written = 0;
  if (dataAnsi > 0) {
    convert.toAnsi(reinterpret_cast<char*>(buffer.data()), dataAnsi, &written, text, dataLen);
  }
  *type = t;
  *size = dataAnsi;
  *readResult = ERROR_SUCCESS;
  return ERROR_SUCCESS;
}

long WinRegistryApi::SetValue(Hkey key, const std::string& name, std::uint32_t type,
                              const std::uint8_t* data, std::uint32_t size) {
  return ::RegSetValueExA(ToHkey(key), name.c_str(), 0, type, data, size);
}

long WinRegistryApi::DeleteValue(Hkey key, const std::string& name) {
  return ::RegDeleteValueA(ToHkey(key), name.c_str());
}

long WinRegistryApi::DeleteKey(Hkey key, const std::string& subKey) {
  return ::RegDeleteKeyA(ToHkey(key), subKey.c_str());
}

WinRegistryApi& SystemRegistry() {
  static WinRegistryApi api;
  return api;
}

}  // namespace calvorin::win32
