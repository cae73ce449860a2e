#include "app/win/win_ini_store.h"

#include <windows.h>

namespace calvorin::win32 {

std::optional<std::string> WinIniStore::Read(const std::string& section, const std::string& key) {
  // The profile API cannot tell an absent key from an empty one except through the default;
  // a control character no INI line can hold marks "absent".
  static constexpr char kAbsent[] = "\x01";
  char buffer[2048];
  GetPrivateProfileStringA(section.c_str(), key.c_str(), kAbsent, buffer, sizeof buffer,
                           path_.c_str());
  if (std::string(buffer) == kAbsent) return std::nullopt;
  return std::string(buffer);
}

bool WinIniStore::Write(const std::string& section, const std::string& key,
                        const std::string& value) {
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path_.c_str()) !=
         FALSE;
}

}  // namespace calvorin::win32
