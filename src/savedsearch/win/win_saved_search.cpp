#include "savedsearch/win/win_saved_search.h"

#include <windows.h>

#include <climits>
#include <vector>

#include "base/little_endian.h"
#include "base/win/unique_handle.h"
#include "base/win/win_file_system.h"

namespace calvorin::win32 {
namespace {

std::string WideToAnsi(const wchar_t* text, std::size_t count) {
  if (count == 0 || count > INT_MAX) return {};
  const int n = static_cast<int>(count);
  const int size = ::WideCharToMultiByte(CP_ACP, 0, text, n, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text, n, out.data(), size, nullptr, nullptr);
  return out;
}

class FileSource : public ByteSource {
 public:
  explicit FileSource(HANDLE file) : file_(file) {}
  std::size_t Read(void* buffer, std::size_t size) override {
    DWORD got = 0;
    const DWORD want = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
    // A failed read ends the data; the reader then reports "Stream read error".
    if (!::ReadFile(file_.get(), buffer, want, &got, nullptr)) return 0;
    return got;
  }

 private:
  UniqueFile file_;
};

}  // namespace

std::string WinAnsiConverter::FromUtf16(std::string_view utf16le) const {
  std::vector<wchar_t> wide(utf16le.size() / 2);
  for (std::size_t i = 0; i < wide.size(); ++i) {
    wide[i] = static_cast<wchar_t>(LittleEndian16(utf16le.data() + 2 * i));
  }
  return WideToAnsi(wide.data(), wide.size());
}

std::string WinAnsiConverter::FromUtf8(std::string_view utf8) const {
  if (utf8.empty() || utf8.size() > INT_MAX) return {};
  const int n = static_cast<int>(utf8.size());
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), n, nullptr, 0);
  if (size <= 0) return {};
  std::vector<wchar_t> wide(static_cast<std::size_t>(size));
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), n, wide.data(), size);
  return WideToAnsi(wide.data(), wide.size());
}

bool WinSavedSearchFiles::FileExists(const std::string& path) {
  return FirstFoundIsFile(path);
}

std::unique_ptr<ByteSource> WinSavedSearchFiles::OpenExclusive(const std::string& path,
                                                               std::string* fullPath,
                                                               std::string* errorText) {
  // Share mode 0: nobody else may read or write the file while it is read.
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    *fullPath = FullPath(path);
    *errorText = SystemErrorText(error);
    return nullptr;
  }
  return std::make_unique<FileSource>(file);
}

}  // namespace calvorin::win32
