#include "support/win/wine_test_support.h"

#include <cstdio>

using calvorin::win32::UniqueFile;
using calvorin::win32::UniqueFind;
using calvorin::win32::UniqueRegKey;

namespace calvorin::testing {

namespace {

void* NtFunction(const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), name));
}

}  // namespace

bool RunUnixUntil(std::string command, const std::string& folder,
                  const std::function<bool()>& done) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &process)) {
    return false;
  }
  for (int i = 0; i < 1000 && !done(); ++i) ::Sleep(10);
  return done();
}

void RemoveTree(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    // Only the link goes: Wine's RemoveDirectory follows a Unix symbolic link, rm does not.
    const std::size_t cut = path.find_last_of('\\');
    if (!RunUnixUntil("/bin/rm -f " + path.substr(cut + 1), path.substr(0, cut), [&] {
          return ::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
        })) {
      ::RemoveDirectoryA(path.c_str());
    }
    return;
  }
  ::SetFileAttributesA(path.c_str(),
                       FILE_ATTRIBUTE_NORMAL | (attributes & FILE_ATTRIBUTE_DIRECTORY));
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    ::DeleteFileA(path.c_str());
    return;
  }
  WIN32_FIND_DATAA data;
  UniqueFind find(::FindFirstFileA((path + "\\*").c_str(), &data));
  if (find) {
    do {
      const std::string name = data.cFileName;
      if (name != "." && name != "..") RemoveTree(path + "\\" + name);
    } while (::FindNextFileA(find.get(), &data));
  }
  find.reset();
  ::RemoveDirectoryA(path.c_str());
}

bool MakeFolderLoop(const std::string& folder, std::initializer_list<const char*> names) {
  ::CreateDirectoryA(folder.c_str(), nullptr);
  for (const char* name : names) {
    const std::string link = folder + "\\" + name;
    const auto made = [&] { return ::GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES; };
    if (!RunUnixUntil(std::string("/bin/ln -s . ") + name, folder, made)) return false;
  }
  return true;
}

std::string TempFolder() {
  char buffer[MAX_PATH + 1];
  const DWORD n = ::GetTempPathA(sizeof buffer, buffer);
  std::string folder(buffer, n < sizeof buffer ? n : 0);
  if (!folder.empty() && folder.back() == '\\') folder.pop_back();
  return folder;
}

std::string ReadWholeFile(const std::string& path) {
  UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return "<missing>";
  std::string out;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    out.append(buffer, got);
  }
  return out;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  UniqueFile file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
         written == bytes.size();
}

std::string IniValue(const std::string& iniPath, const char* section, const char* key) {
  char buffer[256] = {};
  ::GetPrivateProfileStringA(section, key, "<absent>", buffer, sizeof buffer, iniPath.c_str());
  return buffer;
}

ScopedTestKey::ScopedTestKey(const std::string& name) : path_(kTestKeyParent + "\\" + name) {
  Remove(path_);
}

ScopedTestKey::~ScopedTestKey() {
  Remove(path_);
}

UniqueRegKey ScopedTestKey::Create(const std::string& subKey) const {
  const std::string path = subKey.empty() ? path_ : path_ + "\\" + subKey;
  UniqueRegKey key;
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS) {
    key.reset();
  }
  return key;
}

void ScopedTestKey::Remove(const std::string& path) {
  // The key and everything below it, a key without an ANSI name too.
  ::RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
  ::RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
  // Each parent up to Software\CalvorinTests that is left empty (RegDeleteKey fails on others).
  std::string key = path;
  for (std::size_t slash = key.find_last_of('\\');
       slash != std::string::npos && slash >= kTestKeyParent.size();
       slash = key.find_last_of('\\')) {
    key.resize(slash);
    if (::RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str()) != ERROR_SUCCESS) break;
  }
}

bool MakeRegistryLink(const std::string& link, const std::string& target) {
  UniqueRegKey to, from;
  ULONG name[512] = {};  // KEY_NAME_INFORMATION: the length in bytes, then the kernel's path
  ULONG size = 0;
  const auto queryKey =
      reinterpret_cast<LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*)>(NtFunction("NtQueryKey"));
  return ::RegOpenKeyExA(HKEY_CURRENT_USER, target.c_str(), 0, KEY_READ, to.put()) == 0 &&
         queryKey(to.get(), 3 /* KeyNameInformation */, name, sizeof name, &size) == 0 &&
         ::RegCreateKeyExA(HKEY_CURRENT_USER, link.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                           KEY_ALL_ACCESS, nullptr, from.put(), nullptr) == 0 &&
         ::RegSetValueExW(from.get(), L"SymbolicLinkValue", 0, REG_LINK,
                          reinterpret_cast<const BYTE*>(name + 1), name[0]) == 0;
}

void RemoveRegistryLink(const std::string& link) {
  UniqueRegKey key;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, link.c_str(), REG_OPTION_OPEN_LINK, DELETE, key.put()) ==
      0) {
    reinterpret_cast<LONG(WINAPI*)(HANDLE)>(NtFunction("NtDeleteKey"))(key.get());
  }
}

void PumpWaitingMessages() {
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}

bool PumpMessagesUntil(const std::function<bool()>& done) {
  const ULONGLONG giveUp = ::GetTickCount64() + 300000;
  while (!done()) {
    if (::GetTickCount64() > giveUp) return false;
    ::MsgWaitForMultipleObjectsEx(0, nullptr, 1000, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    PumpWaitingMessages();
  }
  return true;
}

namespace {

struct FindById {
  int id;
  HWND found;
};

BOOL CALLBACK FindChild(HWND hwnd, LPARAM lp) {
  auto* f = reinterpret_cast<FindById*>(lp);
  if (::GetDlgCtrlID(hwnd) != f->id) return TRUE;
  f->found = hwnd;
  return FALSE;
}

}  // namespace

HWND FindControl(HWND parent, int id) {
  FindById find{id, nullptr};
  if (parent == nullptr) return nullptr;
  ::EnumChildWindows(parent, &FindChild, reinterpret_cast<LPARAM>(&find));
  return find.found;
}

std::string ScreenshotFolder() {
  char exe[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string folder = exe;
  const std::size_t slash = folder.find_last_of('\\');
  folder =
      (slash == std::string::npos ? std::string(".") : folder.substr(0, slash)) + "\\screenshots";
  ::CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

std::vector<DWORD> ScreenPixels(const RECT& r) {
  const int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return {};
  std::vector<DWORD> pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  HDC screen = ::GetDC(nullptr);
  HDC mem = ::CreateCompatibleDC(screen);
  HBITMAP bmp = ::CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = ::SelectObject(mem, bmp);
  ::BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  ::SelectObject(mem, old);
  BITMAPINFO bi{{sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
  if (::GetDIBits(mem, bmp, 0, static_cast<UINT>(h), pixels.data(), &bi, DIB_RGB_COLORS) != h) {
    pixels.clear();
  }
  for (DWORD& pixel : pixels) pixel &= 0xFFFFFFu;  // the fourth byte is undefined
  ::DeleteObject(bmp);
  ::DeleteDC(mem);
  ::ReleaseDC(nullptr, screen);
  return pixels;
}

bool SaveScreenshot(HWND window, const std::string& name) {
  RECT r{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  if (window) {
    // A window just shown may not have painted yet; this sends its WM_PAINTs before the copy.
    ::RedrawWindow(window, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    ::GetWindowRect(window, &r);
  }
  std::vector<DWORD> pixels = ScreenPixels(r);
  if (pixels.empty()) return false;
  for (DWORD& pixel : pixels) pixel |= 0xFF000000u;  // opaque to readers that take it as alpha
  const int w = r.right - r.left, h = r.bottom - r.top;
  const BITMAPINFOHEADER bi{sizeof bi, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  BITMAPFILEHEADER fh{};
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof fh + sizeof bi;
  fh.bfSize = static_cast<DWORD>(fh.bfOffBits + pixels.size() * 4);
  bool ok = false;
  const std::string path = ScreenshotFolder() + "\\" + name + ".bmp";
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    ok = std::fwrite(&fh, sizeof fh, 1, f) == 1 && std::fwrite(&bi, sizeof bi, 1, f) == 1 &&
         std::fwrite(pixels.data(), 4, pixels.size(), f) == pixels.size();
    std::fclose(f);
  }
  return ok;
}

}  // namespace calvorin::testing
