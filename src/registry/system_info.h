// Who and where the program runs: the user's account identifier, fresh GUIDs, the platform family.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace calvorin {

// An account's security identifier, read part by part as the security API hands it out.
// Each call reports false when the platform signals an error through the thread's last error.
class AccountSid {
 public:
  virtual ~AccountSid() = default;
  virtual bool IdentifierAuthority(std::array<std::uint8_t, 6>* bytes) = 0;
  virtual bool SubAuthorityCount(std::uint8_t* count) = 0;
  virtual bool SubAuthority(std::uint32_t index, std::uint32_t* value) = 0;
};

enum class PlatformFamily { kNt, kWin95 };

class SystemInfo {
 public:
  virtual ~SystemInfo() = default;
  // The name of the user running the program; false when it cannot be had.
  virtual bool UserName(std::string* name) = 0;
  // The identifier of the named account on the local system; nullptr when the lookup fails.
  virtual std::unique_ptr<AccountSid> LookupAccount(const std::string& name) = 0;
  // A fresh GUID as "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"; "" when none can be made.
  virtual std::string NewGuidText() = 0;
  virtual PlatformFamily Family() = 0;
};

}  // namespace calvorin
