// A registry that hands every call to another one. A test derives from it and overrides only
// the calls it watches or makes fail; the rest reach the inner registry unchanged.
#pragma once

#include <cstdint>
#include <string>

#include "registry/registry.h"

namespace calvorin::testing {

class ForwardingRegistry : public RegistryApi {
 public:
  explicit ForwardingRegistry(RegistryApi& inner) : inner_(inner) {}

  long OpenKey(Hkey parent, const std::string& subKey, std::uint32_t access,
               Hkey* result) override {
    return inner_.OpenKey(parent, subKey, access, result);
  }
  long OpenKeyItself(Hkey parent, const std::string& subKey, std::uint32_t access,
                     Hkey* result) override {
    return inner_.OpenKeyItself(parent, subKey, access, result);
  }
  long CreateKey(Hkey parent, const std::string& subKey, std::uint32_t access,
                 Hkey* result) override {
    return inner_.CreateKey(parent, subKey, access, result);
  }
  long CloseKey(Hkey key) override { return inner_.CloseKey(key); }
  long EnumKey(Hkey key, std::uint32_t index, std::string* name) override {
    return inner_.EnumKey(key, index, name);
  }
  long EnumValue(Hkey key, std::uint32_t index, std::string* name) override {
    return inner_.EnumValue(key, index, name);
  }
  long QueryInfoKey(Hkey key, KeyInfo* info) override { return inner_.QueryInfoKey(key, info); }
  long QueryValue(Hkey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                  std::uint32_t* size) override {
    return inner_.QueryValue(key, name, type, data, size);
  }
  long SetValue(Hkey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                std::uint32_t size) override {
    return inner_.SetValue(key, name, type, data, size);
  }
  long DeleteValue(Hkey key, const std::string& name) override {
    return inner_.DeleteValue(key, name);
  }
  long DeleteKey(Hkey key, const std::string& subKey) override {
    return inner_.DeleteKey(key, subKey);
  }
  // The composed calls (QueryKeyCounts, ReadValue, EnumValueData, CheckAnsiForm) keep
  // RegistryApi's defaults on purpose: they are built from the calls above, so an override of
  // those sees every read, whichever form the code under test uses.

 protected:
  RegistryApi& inner_;
};

}  // namespace calvorin::testing
