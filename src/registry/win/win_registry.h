// RegistryApi over advapi32's ANSI calls. Names and string data are also looked at in the
// stored UTF-16 form, so that a text without an exact ANSI form is answered with
// kErrorNoUnicodeTranslation instead of a look-alike.
#pragma once

#include "registry/registry.h"
#include "base/win/wow64.h"

namespace calvorin::win32 {

// Under WOW64 every key is opened, created and deleted with KEY_WOW64_64KEY (see
// RegistryViewFlag), so paths name the keys the system's 64-bit registry editor shows under
// them: HKEY_LOCAL_MACHINE\Software is the 64-bit key and Software\Wow6432Node the 32-bit one.
// Calls on an open key stay in the view it was opened in.
class WinRegistryApi : public RegistryApi {
 public:
  // `viewFlag`: KEY_WOW64_64KEY, KEY_WOW64_32KEY or 0 (the process's own view).
  explicit WinRegistryApi(std::uint32_t viewFlag = RegistryViewFlag());
  std::uint32_t ViewFlag() const { return view_; }

  long OpenKey(Hkey parent, const std::string& subKey, std::uint32_t access, Hkey* result) override;
  long OpenKeyItself(Hkey parent, const std::string& subKey, std::uint32_t access,
                     Hkey* result) override;
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

 private:
  std::uint32_t view_;
};

// The process-wide instance (the API is stateless), in the view of RegistryViewFlag().
WinRegistryApi& SystemRegistry();

}  // namespace calvorin::win32
