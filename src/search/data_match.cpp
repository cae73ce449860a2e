// The tests a value name or value data must pass to be a hit, and the display text of a data
// match: the same for both walks.
#include <cstring>
#include <utility>

#include "base/little_endian.h"
#include "base/text.h"
#include "search/search_thread.h"

namespace calvorin {

namespace {

// 1-based position of `upperNeedle` (ASCII letters already upper case) in `data` with the
// data's ASCII letters folded to upper case; 0 when absent or the needle is empty.
int FindFolded(const char* data, std::size_t size, std::string_view upperNeedle) {
  const std::size_t m = upperNeedle.size();
  if (m == 0 || m > size) return 0;
  const char first = upperNeedle[0];
  const bool letter = first >= 'A' && first <= 'Z';
  const std::size_t last = size - m;
  for (std::size_t i = 0; i <= last; ++i) {
    if (!letter) {
      const void* at = std::memchr(data + i, first, last - i + 1);
      if (at == nullptr) return 0;
      i = static_cast<std::size_t>(static_cast<const char*>(at) - data);
    } else if (UpperAscii(data[i]) != first) {
      continue;
    }
    std::size_t k = 1;
    while (k < m && UpperAscii(data[i + k]) == upperNeedle[k]) ++k;
    if (k == m) return static_cast<int>(i) + 1;
  }
  return 0;
}

}  // namespace

int TSearchThread::MatchName(const std::string& searchText, const std::string& text) {
  if (text.empty()) return 0;
  return FindFolded(text.data(), text.size(), UpperAscii(searchText));
}

bool TSearchThread::MatchData(const std::string& searchText, const std::uint8_t* bytes,
                              std::uint32_t size, std::uint32_t type, DataMatch* match,
                              int maxShown) {
  std::uint32_t length = size;
  // Only the one terminator: a multi-string keeps its separators and its last string's zero.
  if (IsStringType(type) && length > 0 && bytes[length - 1] == 0) --length;
  const char* raw = reinterpret_cast<const char*>(bytes);
  const std::string wanted = UpperAscii(searchText);

  bool wide = false;
  int p = FindFolded(raw, length, wanted);
  if (p == 0) {
    std::string wideText;
    for (char c : wanted) {
      wideText += c;
      wideText += '\0';
    }
    p = FindFolded(raw, length, wideText);
    wide = true;
  }
  if (p == 0) return false;
  *match = FormatData(searchText, std::string(raw, length), p, wide, size, type, maxShown);
  return true;
}

DataMatch TSearchThread::FormatData(const std::string& searchText, const std::string& raw, int p,
                                    bool wide, std::uint32_t size, std::uint32_t type,
                                    int maxShown) {
  DataMatch result;
  if (size == 4 && (type == kRegDword || type == kRegDwordBigEndian) && raw.size() >= 4) {
    std::uint32_t dw = LittleEndian32(raw.data());
    if (type == kRegDwordBigEndian) {
      dw = (dw >> 24) | ((dw >> 8) & 0xFF00u) | ((dw << 8) & 0xFF0000u) | (dw << 24);
    }
    // Position and length stay 0: the number is shown, not the matching bytes.
    result.text = Format("0x%.8X (%u)", static_cast<unsigned>(dw), static_cast<unsigned>(dw));
    return result;
  }

  std::string text = raw;
  int pos = p;
  const int len = static_cast<int>(searchText.size()) * (wide ? 2 : 1);
  const int total = static_cast<int>(raw.size());
  if (total > maxShown) {
    const int center = p + len / 2;
    const int half = maxShown / 2;
    if (center <= half) {
      text = Copy(raw, 1, maxShown) + kRightMarker;
    } else if (total > center + half) {
      const int start = center - half;
      text = kLeftMarker + Copy(raw, start, maxShown) + kRightMarker;
      pos = p - start + 3;
    } else {
      text = kLeftMarker + Copy(raw, total - maxShown + 1, maxShown);
      pos = p - (total - maxShown) + 2;
    }
  }
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20) c = '\x2E';
  }
  result.text = std::move(text);
  result.pos = pos;
  result.len = len;
  return result;
}

}  // namespace calvorin
