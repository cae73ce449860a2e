#include "base/text.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

namespace calvorin {

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = UpperAscii(c);
  return out;
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

namespace {
std::atomic<LeadByteTest> gLeadByte{nullptr};
}

void SetLeadByteTest(LeadByteTest fn) { gLeadByte.store(fn); }
LeadByteTest CurrentLeadByteTest() { return gLeadByte.load(); }

void AppendLowerAsciiChars(std::string& out, std::string_view text, LeadByteTest lead) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (CharSize(text, i, lead) == 2) {
      out.append(text.data() + i, 2);
      ++i;
    } else {
      out += LowerAscii(text[i]);
    }
  }
}

std::size_t LastBackslash(std::string_view text, LeadByteTest lead) {
  std::size_t last = std::string_view::npos;
  for (std::size_t i = 0; i < text.size(); i += CharSize(text, i, lead)) {
    if (text[i] == '\\') last = i;
  }
  return last;
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (path.empty() || LastBackslash(path, CurrentLeadByteTest()) != path.size() - 1) path += '\\';
  return path.append(name);
}

bool IsDosDeviceName(std::string_view path, LeadByteTest lead) {
  const std::size_t backslash = LastBackslash(path, lead);
  const std::size_t slash = path.find_last_of('/');
  std::size_t start = 0;
  if (backslash != std::string_view::npos) start = backslash + 1;
  if (slash != std::string_view::npos) start = std::max(start, slash + 1);
  if (start == 0 && path.size() >= 2 && path[1] == ':') start = 2;  // "C:nul"
  std::string name = UpperAscii(path.substr(start));
  name = name.substr(0, name.find_first_of(".:"));
  while (!name.empty() && name.back() == ' ') name.pop_back();
  if (name == "CON" || name == "PRN" || name == "AUX" || name == "NUL" || name == "CONIN$" ||
      name == "CONOUT$") {
    return true;
  }
  if (name.size() != 4 || (name.compare(0, 3, "COM") != 0 && name.compare(0, 3, "LPT") != 0)) {
    return false;
  }
  const auto digit = static_cast<unsigned char>(name[3]);
  const bool superscript = lead == nullptr && (digit == 0xB9 || digit == 0xB2 || digit == 0xB3);
  return (digit >= '1' && digit <= '9') || superscript;
}

int Pos(std::string_view sub, std::string_view text) {
  if (sub.empty()) return 0;
  const auto at = text.find(sub);
  return at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
}

bool Contains(std::string_view text, std::string_view sub) {
  return text.find(sub) != std::string_view::npos;
}

bool ContainsAny(std::string_view text, std::initializer_list<std::string_view> subs) {
  for (auto s : subs) {
    if (Contains(text, s)) return true;
  }
  return false;
}

std::string Copy(std::string_view text, int start, int count) {
  if (start < 1) start = 1;
  if (count <= 0 || start > static_cast<int>(text.size())) return {};
  const size_t from = static_cast<size_t>(start - 1);
  return std::string(text.substr(from, static_cast<size_t>(count)));
}

std::string FormatV(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  char small[256];
  const int n = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (n < 0) return {};
  if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
  std::vector<char> big(static_cast<size_t>(n) + 1);
  std::vsnprintf(big.data(), big.size(), format, args);
  return std::string(big.data(), static_cast<size_t>(n));
}

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string out = FormatV(format, args);
  va_end(args);
  return out;
}

int CompareTextAscii(const std::string& a, const std::string& b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<unsigned char>(UpperAscii(a[i]));
    const auto cb = static_cast<unsigned char>(UpperAscii(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

namespace {
std::atomic<TextCompareFn> gCompare{&CompareTextAscii};
}

void SetTextCompare(TextCompareFn fn) { gCompare.store(fn ? fn : &CompareTextAscii); }
int CompareText(const std::string& a, const std::string& b) { return gCompare.load()(a, b); }

}  // namespace calvorin
