// IniStore over the profile API (GetPrivateProfileStringA / WritePrivateProfileStringA).
#pragma once

#include <string>

#include "app/settings.h"

namespace calvorin::win32 {

class WinIniStore : public IniStore {
 public:
  explicit WinIniStore(std::string path) : path_(std::move(path)) {}
  std::optional<std::string> Read(const std::string& section, const std::string& key) override;
  bool Write(const std::string& section, const std::string& key, const std::string& value) override;

 private:
  std::string path_;
};

}  // namespace calvorin::win32
