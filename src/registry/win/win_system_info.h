// SystemInfo over advapi32's account calls, ole32's GUIDs and the version test.
#pragma once

#include "registry/system_info.h"

namespace calvorin::win32 {

class WinSystemInfo : public SystemInfo {
 public:
  bool UserName(std::string* name) override;
  std::unique_ptr<AccountSid> LookupAccount(const std::string& name) override;
  std::string NewGuidText() override;
  PlatformFamily Family() override;
};

}  // namespace calvorin::win32
