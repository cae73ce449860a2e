// An in-memory registry that behaves like advapi32 where the program depends on it:
// case-insensitive names, access masks checked per call, values listed in creation order,
// the default value listed with an empty name, Win32 failure codes, aliased subtrees
// (one key visible under two roots) and a hook between a value's size and data queries.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "registry/registry.h"

namespace calvorin::testing {

class MemoryRegistry : public RegistryApi {
 public:
  struct Value {
    std::string name;
    std::uint32_t type = 0;
    std::string data;  // raw bytes
    // The stored UTF-16 form of the name, or of the data, has no exact ANSI form (the ANSI
    // calls answer kErrorNoUnicodeTranslation for it).
    bool nameInexact = false;
    bool dataInexact = false;
    // The ANSI form is exact text, but setting it back would not store the same bytes (string
    // data of an odd size, or without its terminator): CheckAnsiForm says so.
    bool storedDiffers = false;
    bool refusesChanges = false;  // a write or deletion of it answers access denied
  };
  struct Node {
    std::string name;
    std::vector<std::shared_ptr<Node>> subKeys;  // kept sorted by upper-case name, as Windows lists
    std::vector<Value> values;                   // creation order
    std::uint32_t grant = 0xFFFFFFFF;            // rights any open may be given
    std::string className;
    std::uint32_t lastWriteLow = 0;
    std::uint32_t lastWriteHigh = 0;
    std::uint32_t securityDescriptorSize = 20;
    bool failEnumeration = false;  // QueryInfoKey fails
    bool nameInexact = false;      // EnumKey answers kErrorNoUnicodeTranslation for it
  };

  MemoryRegistry();

  // RegistryApi
  long OpenKey(Hkey parent, const std::string& subKey, std::uint32_t access, Hkey* result) override;
  long CreateKey(Hkey parent, const std::string& subKey, std::uint32_t access, Hkey* result) override;
  long CloseKey(Hkey key) override;
  long EnumKey(Hkey key, std::uint32_t index, std::string* name) override;
  long EnumValue(Hkey key, std::uint32_t index, std::string* name) override;
  long QueryInfoKey(Hkey key, KeyInfo* info) override;
  long QueryValue(Hkey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                  std::uint32_t* size) override;
  long SetValue(Hkey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                std::uint32_t size) override;
  long DeleteValue(Hkey key, const std::string& name) override;
  long CheckAnsiForm(Hkey key, const std::string& name, std::uint32_t type,
                     const std::string& data) override;
  long DeleteKey(Hkey key, const std::string& subKey) override;

  // Test set-up, by full path text ("HKEY_CURRENT_USER\Software\Acme"); missing keys are made.
  std::shared_ptr<Node> Key(const std::string& fullPath);
  std::shared_ptr<Node> Find(const std::string& fullPath) const;  // nullptr when absent
  void Put(const std::string& fullPath, const std::string& name, std::uint32_t type,
           const std::string& bytes);
  void PutString(const std::string& fullPath, const std::string& name, const std::string& text,
                 std::uint32_t type = kRegSz);  // stored with one terminating zero byte
  void PutDword(const std::string& fullPath, const std::string& name, std::uint32_t value);
  const Value* GetValue(const std::string& fullPath, const std::string& name) const;
  Value* MutableValue(const std::string& fullPath, const std::string& name);
  // Makes `aliasPath` (below some root) the very same key as `targetRoot`.
  void Alias(Hkey targetRoot, const std::string& aliasPath);
  std::shared_ptr<Node> Root(Hkey root) const;

  size_t OpenHandles() const { return handles_.size(); }
  std::uint64_t Calls() const { return calls_; }

  // Called after every size-only value query (data == nullptr), before it returns.
  std::function<void(const std::string& valueName)> afterSizeQuery;
  // Called on every OpenKey/CreateKey with the requested sub path; returning a code fails it.
  std::function<long(const std::string& subKey)> openFailure;

 private:
  struct Open {
    std::shared_ptr<Node> node;
    std::uint32_t access;
  };
  const Open* Lookup(Hkey key) const;
  std::shared_ptr<Node> Walk(std::shared_ptr<Node> from, const std::string& subKey,
                             bool create) const;
  static std::shared_ptr<Node> Child(const Node& node, const std::string& name);
  static void AddChild(Node& node, std::shared_ptr<Node> child);
  Hkey NewHandle(std::shared_ptr<Node> node, std::uint32_t access);

  std::map<Hkey, std::shared_ptr<Node>> roots_;
  std::map<Hkey, Open> handles_;
  Hkey nextHandle_ = 0x1000;
  std::uint64_t calls_ = 0;
};

}  // namespace calvorin::testing
