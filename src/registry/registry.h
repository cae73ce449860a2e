// Registry access: the platform seam (RegistryApi), the roots the search walks and TRegistry,
// the one wrapper every other part of the program uses.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace calvorin {

// A registry key handle as the platform hands it out. Predefined roots are fixed values.
using Hkey = std::uintptr_t;

constexpr Hkey kHkeyClassesRoot = 0x80000000u;
constexpr Hkey kHkeyCurrentUser = 0x80000001u;
constexpr Hkey kHkeyLocalMachine = 0x80000002u;
constexpr Hkey kHkeyUsers = 0x80000003u;
constexpr Hkey kHkeyPerformanceData = 0x80000004u;
constexpr Hkey kHkeyCurrentConfig = 0x80000005u;
constexpr Hkey kHkeyDynData = 0x80000006u;

struct RootKey {
  const char* name;
  Hkey handle;
};

// The five roots the search walks, in walk order.
extern const std::array<RootKey, 5> kSearchRoots;
// All seven predefined roots, in handle order.
extern const std::array<RootKey, 7> kRootKeyTable;
// Full name of a predefined root ("HKEY_CURRENT_USER"), or "" for any other handle.
const char* RootKeyName(Hkey root);

// Access masks.
constexpr std::uint32_t kKeyAllAccess = 0xF003F;
constexpr std::uint32_t kKeyRead = 0x20019;
constexpr std::uint32_t kKeyReadEnumerate = 0x20009;  // read rights, query values, enumerate
constexpr std::uint32_t kKeyQueryValue = 0x0001;
constexpr std::uint32_t kKeySetValue = 0x0002;
constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;

// Win32 result codes the program meets; callers only test for success.
constexpr long kErrorSuccess = 0;
constexpr long kErrorFileNotFound = 2;
constexpr long kErrorAccessDenied = 5;
constexpr long kErrorInvalidHandle = 6;
constexpr long kErrorInvalidParameter = 87;
constexpr long kErrorMoreData = 234;
constexpr long kErrorNoMoreItems = 259;
// ERROR_NO_UNICODE_TRANSLATION: a name or text has no exact form in the ANSI code page.
constexpr long kErrorNoUnicodeTranslation = 1113;

// Value types.
constexpr std::uint32_t kRegNone = 0;
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegDwordBigEndian = 5;
constexpr std::uint32_t kRegLink = 6;
constexpr std::uint32_t kRegMultiSz = 7;
constexpr std::uint32_t kRegResourceList = 8;
constexpr std::uint32_t kRegFullResourceDescriptor = 9;
constexpr std::uint32_t kRegResourceRequirementsList = 10;

// The types whose data the ANSI calls convert as text (and terminate).
constexpr bool IsStringType(std::uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// What RegQueryInfoKeyA reports about a key.
struct KeyInfo {
  std::string className;
  std::uint32_t subKeys = 0;
  std::uint32_t maxSubKeyLen = 0;
  std::uint32_t maxClassLen = 0;
  std::uint32_t values = 0;
  std::uint32_t maxValueNameLen = 0;
  std::uint32_t maxValueLen = 0;
  std::uint32_t securityDescriptorSize = 0;
  std::uint32_t lastWriteLow = 0;
  std::uint32_t lastWriteHigh = 0;
};

// The advapi32 calls the program needs, in their ANSI forms. Results are Win32 codes.
//
// The registry stores names and string data in UTF-16; the ANSI forms convert them, and a
// character the code page lacks comes back as a look-alike ("L" for "\u0141") or "?". Such a
// text names another key, value or file than the stored one, so the calls below that hand out
// names or string data answer kErrorNoUnicodeTranslation for it instead (the name or data they
// fill in is then the look-alike, for diagnostics only).
class RegistryApi {
 public:
  virtual ~RegistryApi() = default;
  virtual long OpenKey(Hkey parent, const std::string& subKey, std::uint32_t access, Hkey* result) = 0;
  // As OpenKey, but a last key that is a registry link (a SymbolicLinkValue of type REG_LINK:
  // CurrentControlSet, the user's classes, the WOW64 links) opens as the link itself, with no
  // subkeys, instead of as the key it points at. The walk opens keys so: each key is then met
  // once, under its own path. The default is for a registry without links.
  virtual long OpenKeyItself(Hkey parent, const std::string& subKey, std::uint32_t access,
                             Hkey* result) {
    return OpenKey(parent, subKey, access, result);
  }
  // Non-volatile; creates missing keys along the path.
  virtual long CreateKey(Hkey parent, const std::string& subKey, std::uint32_t access,
                         Hkey* result) = 0;
  virtual long CloseKey(Hkey key) = 0;
  // The complete name at `index`; kErrorNoMoreItems past the end.
  virtual long EnumKey(Hkey key, std::uint32_t index, std::string* name) = 0;
  virtual long EnumValue(Hkey key, std::uint32_t index, std::string* name) = 0;
  virtual long QueryInfoKey(Hkey key, KeyInfo* info) = 0;
  // Only the numbers of subkeys and values, for the walks and lists that need nothing else;
  // both are left as they were when the query fails.
  // The default asks QueryInfoKey; a platform may ask for less (Wine logs a FIXME line for every
  // query that asks for the security descriptor's size).
  virtual long QueryKeyCounts(Hkey key, std::uint32_t* subKeys, std::uint32_t* values);
  // RegQueryValueExA: with data == nullptr only the type and size are reported; with a buffer
  // of *size bytes the data is copied (kErrorMoreData and the needed size when it is too small).
  virtual long QueryValue(Hkey key, const std::string& name, std::uint32_t* type,
                          std::uint8_t* data, std::uint32_t* size) = 0;
  // The value's type and data as RegQueryValueExA gives them, into `buffer` (grown when needed,
  // never shrunk); *size is the number of data bytes. This default makes the two calls above:
  // the size, then the data into exactly that many bytes, so a value that grows in between fails
  // with the second call's code. A platform that can answer in one call when the buffer is
  // already large enough may do so.
  virtual long ReadValue(Hkey key, const std::string& name, std::uint32_t* type,
                         std::vector<std::uint8_t>& buffer, std::uint32_t* size);
  // The value at `index` in one go: the result is EnumValue's, and when that succeeds *name is
  // the name it gives and *readResult the result of ReadValue(key, *name, type, buffer, size),
  // whose type, data and size are filled in as ReadValue fills them. This default makes exactly
  // those two calls; a platform may answer from one enumeration call when that gives the same.
  virtual long EnumValueData(Hkey key, std::uint32_t index, std::string* name, std::uint32_t* type,
                             std::vector<std::uint8_t>& buffer, std::uint32_t* size,
                             long* readResult);
  virtual long SetValue(Hkey key, const std::string& name, std::uint32_t type,
                        const std::uint8_t* data, std::uint32_t size) = 0;
  virtual long DeleteValue(Hkey key, const std::string& name) = 0;
  // Whether `type` and `data`, as the ANSI calls read them for the value `name` of `key`, are
  // byte for byte what setting them back through the ANSI calls (as the registry editor's import
  // of a version 4 file does) would store: kErrorSuccess, or kErrorNoUnicodeTranslation when
  // the stored value differs (a character without an exact ANSI form, string data of an odd
  // size or without the terminator the conversion adds). The default is for a registry that
  // stores exactly what the ANSI calls hand out.
  virtual long CheckAnsiForm(Hkey key, const std::string& name, std::uint32_t type,
                             const std::string& data);
  // Deletes a key that has no subkeys.
  virtual long DeleteKey(Hkey key, const std::string& subKey) = 0;
};

class ERegistryException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One selected root and at most one open key, over RegistryApi. One thread at a time.
class TRegistry {
 public:
  explicit TRegistry(RegistryApi& api);
  ~TRegistry();
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  void SetRootKey(Hkey root);
  Hkey RootKey() const { return rootKey_; }
  Hkey CurrentKey() const { return currentKey_; }
  const std::string& CurrentPath() const { return currentPath_; }
  std::uint32_t Access() const { return access_; }
  void SetAccess(std::uint32_t access) { access_ = access; }
  RegistryApi& Api() const { return api_; }

  bool OpenKey(const std::string& path, bool canCreate);
  // The platform's code for the last OpenKey: why a key did not open (gone, or not open to this
  // user for the access asked).
  long LastOpenResult() const { return lastOpenResult_; }
  bool OpenKeyReadOnly(const std::string& path);
  void CloseKey();

  void GetKeyNames(std::vector<std::string>& list);
  void GetValueNames(std::vector<std::string>& list);

  std::string ReadString(const std::string& name);
  std::int32_t ReadInteger(const std::string& name);
  void WriteString(const std::string& name, const std::string& text);
  bool DeleteValue(const std::string& name);
  bool DeleteKey(const std::string& path);
  bool KeyExists(const std::string& path);

 private:
  struct Resolved {
    Hkey base;
    std::string subKey;
    bool relative;
  };
  Resolved Resolve(const std::string& path) const;
  void ChangeKey(Hkey key, const Resolved& where);

  RegistryApi& api_;
  Hkey currentKey_ = 0;
  Hkey rootKey_ = kHkeyCurrentUser;
  std::string currentPath_;
  std::uint32_t access_ = kKeyAllAccess;
  long lastOpenResult_ = kErrorSuccess;
};

}  // namespace calvorin
