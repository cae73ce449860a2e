#include "win32/win_registry.h"

#include <windows.h>

#include <vector>

namespace calvorin::win32 {
namespace {

HKEY ToHkey(Hkey key) { return reinterpret_cast<HKEY>(key); }
Hkey FromHkey(HKEY key) { return reinterpret_cast<Hkey>(key); }

// Value names may be up to 16,383 characters; key names up to 255.
constexpr DWORD kMaxValueName = 16384;
constexpr DWORD kMaxKeyName = 256;

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
