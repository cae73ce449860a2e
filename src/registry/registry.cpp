#include "registry/registry.h"

#include "base/little_endian.h"
#include "base/text.h"

namespace calvorin {

const std::array<RootKey, 5> kSearchRoots = {{
    {"HKEY_CURRENT_USER", kHkeyCurrentUser},
    {"HKEY_LOCAL_MACHINE", kHkeyLocalMachine},
    {"HKEY_USERS", kHkeyUsers},
    {"HKEY_CURRENT_CONFIG", kHkeyCurrentConfig},
    {"HKEY_CLASSES_ROOT", kHkeyClassesRoot},
}};

const std::array<RootKey, 7> kRootKeyTable = {{
    {"HKEY_CLASSES_ROOT", kHkeyClassesRoot},
    {"HKEY_CURRENT_USER", kHkeyCurrentUser},
    {"HKEY_LOCAL_MACHINE", kHkeyLocalMachine},
    {"HKEY_USERS", kHkeyUsers},
    {"HKEY_PERFORMANCE_DATA", kHkeyPerformanceData},
    {"HKEY_CURRENT_CONFIG", kHkeyCurrentConfig},
    {"HKEY_DYN_DATA", kHkeyDynData},
}};

const char* RootKeyName(Hkey root) {
  for (const auto& r : kRootKeyTable) {
    if (r.handle == root) return r.name;
  }
  return "";
}

long RegistryApi::ReadValue(Hkey key, const std::string& name, std::uint32_t* type,
                            std::vector<std::uint8_t>& buffer, std::uint32_t* size) {
  std::uint32_t needed = 0;
  long rc = QueryValue(key, name, type, nullptr, &needed);
  if (rc != kErrorSuccess) return rc;
  if (buffer.size() < needed) buffer.resize(needed);
  *size = needed;
  // An empty value is asked for without a buffer, as an empty std::vector has none.
  rc = QueryValue(key, name, type, needed > 0 ? buffer.data() : nullptr, size);
  // The second call reports what it copied, which can be less than the first said (a value that
  // shrank; RegQueryValueExA sizing ANSI string data generously).
  if (rc == kErrorSuccess && *size > needed) *size = needed;
  return rc;
}

long RegistryApi::QueryKeyCounts(Hkey key, std::uint32_t* subKeys, std::uint32_t* values) {
  KeyInfo info;
  const long rc = QueryInfoKey(key, &info);
  if (rc == kErrorSuccess) {
    *subKeys = info.subKeys;
    *values = info.values;
  }
  return rc;
}

long RegistryApi::CheckAnsiForm(Hkey, const std::string&, std::uint32_t, const std::string&) {
  return kErrorSuccess;
}

long RegistryApi::EnumValueData(Hkey key, std::uint32_t index, std::string* name,
                                std::uint32_t* type, std::vector<std::uint8_t>& buffer,
                                std::uint32_t* size, long* readResult) {
  const long rc = EnumValue(key, index, name);
  if (rc == kErrorSuccess) *readResult = ReadValue(key, *name, type, buffer, size);
  return rc;
}

TRegistry::TRegistry(RegistryApi& api) : api_(api) {}

TRegistry::~TRegistry() { CloseKey(); }

void TRegistry::SetRootKey(Hkey root) {
  if (root == rootKey_) return;
  CloseKey();
  rootKey_ = root;
}

TRegistry::Resolved TRegistry::Resolve(const std::string& path) const {
  if (!path.empty() && path[0] == '\\') return {rootKey_, path.substr(1), false};
  if (currentKey_ != 0) return {currentKey_, path, true};
  return {rootKey_, path, false};
}

void TRegistry::ChangeKey(Hkey key, const Resolved& where) {
  std::string path = where.subKey;
  if (where.relative) path = currentPath_ + "\\" + path;
  CloseKey();
  currentKey_ = key;
  currentPath_ = std::move(path);
}

bool TRegistry::OpenKey(const std::string& path, bool canCreate) {
  const Resolved where = Resolve(path);
  Hkey key = 0;
  long rc;
  if (canCreate && !where.subKey.empty()) {
    rc = api_.CreateKey(where.base, where.subKey, access_, &key);
  } else {
    rc = api_.OpenKey(where.base, where.subKey, access_, &key);
  }
  lastOpenResult_ = rc;
  if (rc != kErrorSuccess) return false;
  ChangeKey(key, where);
  return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& path) {
  const Resolved where = Resolve(path);
  for (const std::uint32_t mask : {kKeyRead, kKeyReadEnumerate, kKeyQueryValue}) {
    Hkey key = 0;
    if (api_.OpenKey(where.base, where.subKey, mask, &key) == kErrorSuccess) {
      access_ = mask;
      ChangeKey(key, where);
      return true;
    }
  }
  return false;
}

void TRegistry::CloseKey() {
  if (currentKey_ == 0) return;
  // Lazy write: closing never flushes.
  api_.CloseKey(currentKey_);
  currentKey_ = 0;
  currentPath_.clear();
}

void TRegistry::GetKeyNames(std::vector<std::string>& list) {
  list.clear();
  std::uint32_t subKeys = 0, values = 0;
  if (currentKey_ == 0 || api_.QueryKeyCounts(currentKey_, &subKeys, &values) != kErrorSuccess) {
    return;
  }
  list.reserve(subKeys);
  std::string name;
  for (std::uint32_t i = 0; i < subKeys; ++i) {
    if (api_.EnumKey(currentKey_, i, &name) == kErrorSuccess) list.push_back(name);
  }
}

void TRegistry::GetValueNames(std::vector<std::string>& list) {
  list.clear();
  std::uint32_t subKeys = 0, values = 0;
  if (currentKey_ == 0 || api_.QueryKeyCounts(currentKey_, &subKeys, &values) != kErrorSuccess) {
    return;
  }
  list.reserve(values);
  std::string name;
  for (std::uint32_t i = 0; i < values; ++i) {
    if (api_.EnumValue(currentKey_, i, &name) == kErrorSuccess) list.push_back(name);
  }
}

std::string TRegistry::ReadString(const std::string& name) {
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  if (api_.QueryValue(currentKey_, name, &type, nullptr, &size) != kErrorSuccess || size == 0) {
    return {};
  }
  std::string data(size, '\0');
  if (api_.QueryValue(currentKey_, name, &type, reinterpret_cast<std::uint8_t*>(data.data()),
                      &size) != kErrorSuccess) {
    throw ERegistryException(Format("Failed to get data for '%s'", name.c_str()));
  }
  if (type != kRegSz && type != kRegExpandSz) {
    throw ERegistryException(Format("Invalid data type for '%s'", name.c_str()));
  }
  data.resize(size < data.size() ? size : data.size());
  const auto nul = data.find('\0');
  if (nul != std::string::npos) data.resize(nul);
  return data;
}

std::int32_t TRegistry::ReadInteger(const std::string& name) {
  std::uint8_t bytes[4] = {0, 0, 0, 0};
  std::uint32_t type = 0;
  std::uint32_t size = sizeof bytes;
  if (api_.QueryValue(currentKey_, name, &type, bytes, &size) != kErrorSuccess) {
    throw ERegistryException(Format("Failed to get data for '%s'", name.c_str()));
  }
  if (type != kRegDword) {
    throw ERegistryException(Format("Invalid data type for '%s'", name.c_str()));
  }
  return static_cast<std::int32_t>(LittleEndian32(bytes));
}

void TRegistry::WriteString(const std::string& name, const std::string& text) {
  const std::string data = text + '\0';
  if (api_.SetValue(currentKey_, name, kRegSz, reinterpret_cast<const std::uint8_t*>(data.data()),
                    static_cast<std::uint32_t>(data.size())) != kErrorSuccess) {
    throw ERegistryException(Format("Failed to set data for '%s'", name.c_str()));
  }
}

bool TRegistry::DeleteValue(const std::string& name) {
  return api_.DeleteValue(currentKey_, name) == kErrorSuccess;
}

bool TRegistry::DeleteKey(const std::string& path) {
  const Resolved where = Resolve(path);
  Hkey doomed = 0;
  if (api_.OpenKey(where.base, where.subKey, access_, &doomed) == kErrorSuccess) {
    const Hkey oldKey = currentKey_;
    currentKey_ = doomed;
    std::uint32_t subKeys = 0, values = 0;
    if (api_.QueryKeyCounts(doomed, &subKeys, &values) == kErrorSuccess) {
      std::string name;
      for (std::int64_t i = static_cast<std::int64_t>(subKeys) - 1; i >= 0; --i) {
        if (api_.EnumKey(doomed, static_cast<std::uint32_t>(i), &name) == kErrorSuccess) {
          DeleteKey(name);
        }
      }
    }
    currentKey_ = oldKey;
    api_.CloseKey(doomed);
  }
  const Hkey base = where.relative ? currentKey_ : rootKey_;
  return api_.DeleteKey(base, where.subKey) == kErrorSuccess;
}

bool TRegistry::KeyExists(const std::string& path) {
  const Resolved where = Resolve(path);
  Hkey key = 0;
  if (api_.OpenKey(where.base, where.subKey, kKeyReadEnumerate, &key) != kErrorSuccess) return false;
  api_.CloseKey(key);
  return true;
}

}  // namespace calvorin
