// The saved search reader's platform side: code-page conversion and the file, opened unshared.
#pragma once

#include "base/win/win_file_system.h"  // SystemErrorText
#include "savedsearch/saved_search.h"

namespace calvorin::win32 {

// Unicode to the ANSI code page (CP_ACP), as the rest of the program's 8-bit texts.
class WinAnsiConverter : public AnsiConverter {
 public:
  std::string FromUtf16(std::string_view utf16le) const override;
  std::string FromUtf8(std::string_view utf8) const override;
};

class WinSavedSearchFiles : public SavedSearchFiles {
 public:
  bool FileExists(const std::string& path) override;
  std::unique_ptr<ByteSource> OpenExclusive(const std::string& path, std::string* fullPath,
                                            std::string* errorText) override;
};

}  // namespace calvorin::win32
