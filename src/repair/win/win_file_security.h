// FileSecurity over advapi32: the owner and access list of a file or folder, read as a 64-bit
// program sees the file under WOW64 (the drive search's view).
#pragma once

#include "repair/file_trust.h"

namespace calvorin::win32 {

class WinFileSecurity : public FileSecurity {
 public:
  std::optional<ObjectSecurity> Read(const std::string& path) override;
};

}  // namespace calvorin::win32
