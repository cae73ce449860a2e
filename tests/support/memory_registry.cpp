#include "support/memory_registry.h"

#include <algorithm>
#include <cstring>

#include "base/text.h"
#include "support/path_parts.h"
#include "support/root_keys.h"

namespace calvorin::testing {
namespace {

constexpr std::uint32_t kDelete = 0x10000;

Hkey RootByName(const std::string& name) {
  for (const auto& r : kRootKeyTable) {
    if (SameTextAscii(r.name, name)) return r.handle;
  }
  return 0;
}

}  // namespace

MemoryRegistry::MemoryRegistry() {
  for (const auto& r : kRootKeyTable) {
    auto node = std::make_shared<Node>();
    roots_[r.handle] = node;
  }
}

std::shared_ptr<MemoryRegistry::Node> MemoryRegistry::Child(const Node& node,
                                                            const std::string& name) {
  for (const auto& c : node.subKeys) {
    if (SameTextAscii(c->name, name)) return c;
  }
  return nullptr;
}

void MemoryRegistry::AddChild(Node& node, std::shared_ptr<Node> child) {
  const std::string key = UpperAscii(child->name);
  auto at = std::find_if(node.subKeys.begin(), node.subKeys.end(),
                         [&](const auto& c) { return UpperAscii(c->name) > key; });
  node.subKeys.insert(at, std::move(child));
}

std::shared_ptr<MemoryRegistry::Node> MemoryRegistry::Walk(std::shared_ptr<Node> from,
                                                           const std::string& subKey,
                                                           bool create) const {
  for (const auto& part : PathParts(subKey)) {
    auto next = Child(*from, part);
    if (!next) {
      if (!create) return nullptr;
      next = std::make_shared<Node>();
      next->name = part;
      AddChild(*from, next);
    }
    from = next;
  }
  return from;
}

const MemoryRegistry::Open* MemoryRegistry::Lookup(Hkey key) const {
  static thread_local Open rootOpen;
  auto root = roots_.find(key);
  if (root != roots_.end()) {
    rootOpen = Open{root->second, 0xFFFFFFFF};
    return &rootOpen;
  }
  auto it = handles_.find(key);
  return it == handles_.end() ? nullptr : &it->second;
}

Hkey MemoryRegistry::NewHandle(std::shared_ptr<Node> node, std::uint32_t access) {
  const Hkey h = nextHandle_;
  nextHandle_ += 4;
  handles_[h] = Open{std::move(node), access};
  return h;
}

long MemoryRegistry::OpenKey(Hkey parent, const std::string& subKey, std::uint32_t access,
                             Hkey* result) {
  ++calls_;
  if (openFailure) {
    if (long rc = openFailure(subKey)) return rc;
  }
  const Open* base = Lookup(parent);
  if (!base) return kErrorInvalidHandle;
  auto node = Walk(base->node, subKey, false);
  if (!node) return kErrorFileNotFound;
  if ((access & ~node->grant) != 0) return kErrorAccessDenied;
  *result = NewHandle(node, access);
  return kErrorSuccess;
}

long MemoryRegistry::CreateKey(Hkey parent, const std::string& subKey, std::uint32_t access,
                               Hkey* result) {
  ++calls_;
  if (openFailure) {
    if (long rc = openFailure(subKey)) return rc;
  }
  const Open* base = Lookup(parent);
  if (!base) return kErrorInvalidHandle;
  auto existing = Walk(base->node, subKey, false);
  if (!existing) {
    // Creating needs the right to create subkeys on the deepest existing ancestor.
    auto parts = PathParts(subKey);
    auto node = base->node;
    std::uint32_t parentAccess = base->access;
    for (const auto& part : parts) {
      auto next = Child(*node, part);
      if (!next) break;
      node = next;
      parentAccess = node->grant;
    }
    if ((parentAccess & node->grant & kKeyCreateSubKey) == 0) return kErrorAccessDenied;
    existing = Walk(base->node, subKey, true);
  }
  if ((access & ~existing->grant) != 0) return kErrorAccessDenied;
  *result = NewHandle(existing, access);
  return kErrorSuccess;
}

long MemoryRegistry::CloseKey(Hkey key) {
  ++calls_;
  if (roots_.count(key)) return kErrorSuccess;
  return handles_.erase(key) ? kErrorSuccess : kErrorInvalidHandle;
}

long MemoryRegistry::EnumKey(Hkey key, std::uint32_t index, std::string* name) {
  ++calls_;
  const Open* open = Lookup(key);
  if (!open) return kErrorInvalidHandle;
  if ((open->access & kKeyEnumerateSubKeys) == 0) return kErrorAccessDenied;
  if (index >= open->node->subKeys.size()) return kErrorNoMoreItems;
  *name = open->node->subKeys[index]->name;
  return open->node->subKeys[index]->nameInexact ? kErrorNoUnicodeTranslation : kErrorSuccess;
}

long MemoryRegistry::EnumValue(Hkey key, std::uint32_t index, std::string* name) {
  ++calls_;
  const Open* open = Lookup(key);
  if (!open) return kErrorInvalidHandle;
  if ((open->access & kKeyQueryValue) == 0) return kErrorAccessDenied;
  if (index >= open->node->values.size()) return kErrorNoMoreItems;
  *name = open->node->values[index].name;
  return open->node->values[index].nameInexact ? kErrorNoUnicodeTranslation : kErrorSuccess;
}

long MemoryRegistry::QueryInfoKey(Hkey key, KeyInfo* info) {
  ++calls_;
  const Open* open = Lookup(key);
  if (!open) return kErrorInvalidHandle;
  if ((open->access & kKeyQueryValue) == 0) return kErrorAccessDenied;
  const Node& n = *open->node;
  if (n.failEnumeration) return kErrorAccessDenied;
  *info = KeyInfo{};
  info->className = n.className;
  info->subKeys = static_cast<std::uint32_t>(n.subKeys.size());
  for (const auto& c : n.subKeys) {
    info->maxSubKeyLen = std::max<std::uint32_t>(info->maxSubKeyLen,
                                                 static_cast<std::uint32_t>(c->name.size()));
    info->maxClassLen = std::max<std::uint32_t>(info->maxClassLen,
                                                static_cast<std::uint32_t>(c->className.size()));
  }
  info->values = static_cast<std::uint32_t>(n.values.size());
  for (const auto& v : n.values) {
    info->maxValueNameLen =
        std::max<std::uint32_t>(info->maxValueNameLen, static_cast<std::uint32_t>(v.name.size()));
    info->maxValueLen =
        std::max<std::uint32_t>(info->maxValueLen, static_cast<std::uint32_t>(v.data.size()));
  }
  info->securityDescriptorSize = n.securityDescriptorSize;
  info->lastWriteLow = n.lastWriteLow;
  info->lastWriteHigh = n.lastWriteHigh;
  return kErrorSuccess;
}

long MemoryRegistry::QueryValue(Hkey key, const std::string& name, std::uint32_t* type,
                                std::uint8_t* data, std::uint32_t* size) {
  ++calls_;
  const Open* open = Lookup(key);
  if (!open) return kErrorInvalidHandle;
  if ((open->access & kKeyQueryValue) == 0) return kErrorAccessDenied;
  const auto node = open->node;
  auto it = std::find_if(node->values.begin(), node->values.end(),
                         [&](const Value& v) { return SameTextAscii(v.name, name); });
  if (it == node->values.end()) return kErrorFileNotFound;
  if (type) *type = it->type;
  const auto needed = static_cast<std::uint32_t>(it->data.size());
  if (!data) {
    *size = needed;
    if (afterSizeQuery) afterSizeQuery(name);
    return kErrorSuccess;
  }
  if (*size < needed) {
    *size = needed;
    return kErrorMoreData;
  }
  if (needed) std::memcpy(data, it->data.data(), needed);
  *size = needed;
  return it->dataInexact ? kErrorNoUnicodeTranslation : kErrorSuccess;
}

long MemoryRegistry::CheckAnsiForm(Hkey key, const std::string& name, std::uint32_t type,
                                   const std::string& data) {
  ++calls_;
  const Open* open = Lookup(key);
  if (!open) return kErrorInvalidHandle;
  const auto& values = open->node->values;
  auto it = std::find_if(values.begin(), values.end(),
                         [&](const Value& v) { return SameTextAscii(v.name, name); });
  if (it == values.end()) return kErrorFileNotFound;
  const bool same = !it->dataInexact && !it->storedDiffers && it->type == type && it->data == data;
  return same ? kErrorSuccess : kErrorNoUnicodeTranslation;
}

long MemoryRegistry::SetValue(Hkey key, const std::string& name, std::uint32_t type,
                              const std::uint8_t* data, std::uint32_t size) {
  ++calls_;
  const Open* open = Lookup(key);
  if (!open) return kErrorInvalidHandle;
  if ((open->access & kKeySetValue) == 0) return kErrorAccessDenied;
  auto& values = open->node->values;
  std::string bytes(reinterpret_cast<const char*>(data), size);
  for (auto& v : values) {
    if (SameTextAscii(v.name, name)) {
      if (v.refusesChanges) return kErrorAccessDenied;
      v.type = type;
      v.data = std::move(bytes);
      return kErrorSuccess;
    }
  }
  values.push_back(Value{name, type, std::move(bytes)});
  return kErrorSuccess;
}

long MemoryRegistry::DeleteValue(Hkey key, const std::string& name) {
  ++calls_;
  const Open* open = Lookup(key);
  if (!open) return kErrorInvalidHandle;
  if ((open->access & kKeySetValue) == 0) return kErrorAccessDenied;
  auto& values = open->node->values;
  auto it = std::find_if(values.begin(), values.end(),
                         [&](const Value& v) { return SameTextAscii(v.name, name); });
  if (it == values.end()) return kErrorFileNotFound;
  if (it->refusesChanges) return kErrorAccessDenied;
  values.erase(it);
  return kErrorSuccess;
}

long MemoryRegistry::DeleteKey(Hkey key, const std::string& subKey) {
  ++calls_;
  const Open* open = Lookup(key);
  if (!open) return kErrorInvalidHandle;
  auto parts = PathParts(subKey);
  if (parts.empty()) return kErrorAccessDenied;
  const std::string last = parts.back();
  parts.pop_back();
  std::string parentPath;
  for (const auto& p : parts) parentPath += p + "\\";
  auto parent = Walk(open->node, parentPath, false);
  if (!parent) return kErrorFileNotFound;
  auto child = Child(*parent, last);
  if (!child) return kErrorFileNotFound;
  if ((child->grant & kDelete) == 0) return kErrorAccessDenied;
  if (!child->subKeys.empty()) return kErrorAccessDenied;
  auto& list = parent->subKeys;
  list.erase(std::remove(list.begin(), list.end(), child), list.end());
  return kErrorSuccess;
}

std::shared_ptr<MemoryRegistry::Node> MemoryRegistry::Root(Hkey root) const {
  auto it = roots_.find(root);
  return it == roots_.end() ? nullptr : it->second;
}

std::shared_ptr<MemoryRegistry::Node> MemoryRegistry::Key(const std::string& fullPath) {
  const auto slash = fullPath.find('\\');
  const Hkey root = RootByName(fullPath.substr(0, slash));
  if (!root) return nullptr;
  return Walk(roots_[root], slash == std::string::npos ? "" : fullPath.substr(slash + 1), true);
}

std::shared_ptr<MemoryRegistry::Node> MemoryRegistry::Find(const std::string& fullPath) const {
  const auto slash = fullPath.find('\\');
  const Hkey root = RootByName(fullPath.substr(0, slash));
  auto it = roots_.find(root);
  if (it == roots_.end()) return nullptr;
  return Walk(it->second, slash == std::string::npos ? "" : fullPath.substr(slash + 1), false);
}

void MemoryRegistry::Put(const std::string& fullPath, const std::string& name, std::uint32_t type,
                         const std::string& bytes) {
  auto node = Key(fullPath);
  for (auto& v : node->values) {
    if (SameTextAscii(v.name, name)) {
      v.type = type;
      v.data = bytes;
      return;
    }
  }
  node->values.push_back(Value{name, type, bytes});
}

void MemoryRegistry::PutString(const std::string& fullPath, const std::string& name,
                               const std::string& text, std::uint32_t type) {
  Put(fullPath, name, type, text + '\0');
}

void MemoryRegistry::PutDword(const std::string& fullPath, const std::string& name,
                              std::uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  Put(fullPath, name, kRegDword, bytes);
}

const MemoryRegistry::Value* MemoryRegistry::GetValue(const std::string& fullPath,
                                                      const std::string& name) const {
  auto node = Find(fullPath);
  if (!node) return nullptr;
  for (const auto& v : node->values) {
    if (SameTextAscii(v.name, name)) return &v;
  }
  return nullptr;
}

MemoryRegistry::Value* MemoryRegistry::MutableValue(const std::string& fullPath,
                                                    const std::string& name) {
  return const_cast<Value*>(GetValue(fullPath, name));
}

void MemoryRegistry::Alias(Hkey targetRoot, const std::string& aliasPath) {
  roots_[targetRoot] = Key(aliasPath);
}

}  // namespace calvorin::testing
