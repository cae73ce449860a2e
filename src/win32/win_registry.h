// RegistryApi over advapi32's ANSI calls. Names and string data are also looked at in the
// stored UTF-16 form, so that a text without an exact ANSI form is answered with
// kErrorNoUnicodeTranslation instead of a look-alike.
#pragma once

#include "core/registry.h"

namespace calvorin::win32 {

class WinRegistryApi : public RegistryApi {
 public:
  long OpenKey(Hkey parent, const std::string& subKey, std::uint32_t access, Hkey* result) override;
  long CreateKey(Hkey parent, const std::string& subKey, std::uint32_t access, Hkey* result) override;
  long CloseKey(Hkey key) override;
  long EnumKey(Hkey key, std::uint32_t index, std::string* name) override;
  long EnumValue(Hkey key, std::uint32_t index, std::string* name) override;
  long QueryInfoKey(Hkey key, KeyInfo* info) override;
  long QueryKeyCounts(Hkey key, std::uint32_t* subKeys, std::uint32_t* values) override;
  long QueryValue(Hkey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                  std::uint32_t* size) override;
  // One call when the value fits the buffer, else the two calls of the default.
  long ReadValue(Hkey key, const std::string& name, std::uint32_t* type,
                 std::vector<std::uint8_t>& buffer, std::uint32_t* size) override;
  // One RegEnumValueW for name and data, converted as the ANSI calls convert them. Whenever the
  // ANSI calls could answer differently (string data of an odd length or without its
  // terminator, any failure) it makes the calls of the default instead.
  long EnumValueData(Hkey key, std::uint32_t index, std::string* name, std::uint32_t* type,
                     std::vector<std::uint8_t>& buffer, std::uint32_t* size,
                     long* readResult) override;
  long SetValue(Hkey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                std::uint32_t size) override;
  long DeleteValue(Hkey key, const std::string& name) override;
  // Compares with RegQueryValueExW of the same value.
  long CheckAnsiForm(Hkey key, const std::string& name, std::uint32_t type,
                     const std::string& data) override;
  long DeleteKey(Hkey key, const std::string& subKey) override;
};

// The process-wide instance (the API is stateless).
WinRegistryApi& SystemRegistry();

}  // namespace calvorin::win32
