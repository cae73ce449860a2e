#include "savedsearch/saved_search.h"

#include <algorithm>
#include <cstring>

#include "base/little_endian.h"
#include "base/platform.h"
#include "base/text.h"

namespace calvorin {
namespace {

constexpr const char* kMagic = "MQT";
constexpr std::int32_t kMaxSelection = 31;
constexpr std::int32_t kKindWithInteger = 4;

[[noreturn]] void Fail(const char* message) {
  throw ESavedSearchError(message);
}

}  // namespace

std::size_t TaggedReader::Fill() {
  if (pos_ == end_) {
    pos_ = 0;
    end_ = source_.Read(buffer_, sizeof buffer_);
    if (end_ > sizeof buffer_) end_ = 0;  // a source that lies is a source that failed
  }
  return end_ - pos_;
}

void TaggedReader::ReadBytes(void* out, std::size_t size) {
  auto* dest = static_cast<unsigned char*>(out);
  while (size > 0) {
    const std::size_t n = std::min(size, Fill());
    if (n == 0) Fail(kStreamReadError);
    std::memcpy(dest, buffer_ + pos_, n);
    pos_ += n;
    dest += n;
    size -= n;
  }
}

void TaggedReader::Skip(std::uint64_t size) {
  while (size > 0) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, Fill()));
    if (n == 0) Fail(kStreamReadError);
    pos_ += n;
    size -= n;
  }
}

std::string TaggedReader::ReadText(std::uint64_t size) {
  // Grows only with the bytes that are really there, whatever the length field claims.
  std::string text;
  while (size > 0) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, Fill()));
    if (n == 0) Fail(kStreamReadError);
    text.append(reinterpret_cast<const char*>(buffer_ + pos_), n);
    pos_ += n;
    size -= n;
  }
  return text;
}

std::uint8_t TaggedReader::ReadTag() {
  std::uint8_t tag = 0;
  ReadBytes(&tag, 1);
  return tag;
}

std::uint32_t TaggedReader::ReadLength32() {
  unsigned char b[4];
  ReadBytes(b, 4);
  return LittleEndian32(b);
}

std::int32_t TaggedReader::ReadInteger() {
  switch (ReadTag()) {
    case kTagInt8: {
      std::uint8_t b = 0;
      ReadBytes(&b, 1);
      return static_cast<std::int8_t>(b);
    }
    case kTagInt16: {
      unsigned char b[2];
      ReadBytes(b, 2);
      return static_cast<std::int16_t>(LittleEndian16(b));
    }
    case kTagInt32:
      return static_cast<std::int32_t>(ReadLength32());
    default:
      Fail(kInvalidPropertyValue);
  }
}

std::string TaggedReader::ReadString() {
  switch (ReadTag()) {
    case kTagString: {
      std::uint8_t n = 0;
      ReadBytes(&n, 1);
      return ReadText(n);
    }
    case kTagLongString:
      return ReadText(ReadLength32());
    case kTagWideString:
      return converter_.FromUtf16(ReadText(2 * static_cast<std::uint64_t>(ReadLength32())));
    case kTagUtf8String:
      return converter_.FromUtf8(ReadText(ReadLength32()));
    default:
      Fail(kInvalidPropertyValue);
  }
}

void TaggedReader::SkipString() {
  switch (ReadTag()) {
    case kTagString: {
      std::uint8_t n = 0;
      ReadBytes(&n, 1);
      Skip(n);
      return;
    }
    case kTagLongString:
    case kTagUtf8String:
      Skip(ReadLength32());
      return;
    case kTagWideString:
      Skip(2 * static_cast<std::uint64_t>(ReadLength32()));
      return;
    default:
      Fail(kInvalidPropertyValue);
  }
}

void ParseSavedSearch(ByteSource& source, SavedSearchSettings& settings,
                      const AnsiConverter& converter) {
  TaggedReader reader(source, converter);
  if (reader.ReadString() != kMagic) Fail(kMqtCorrupted);
  const std::int32_t selection = reader.ReadInteger();
  if (selection < 0 || selection > kMaxSelection) Fail(kMqtCorrupted);
  settings.SetPerPage(reader.ReadInteger());
  settings.SetMaxRslt(reader.ReadInteger());
  for (int list = 0; list < 2; ++list) {
    const std::int32_t count = reader.ReadInteger();
    for (std::int32_t i = 0; i < count; ++i) {
      reader.ReadInteger();
      reader.SkipString();
    }
  }
  const std::int32_t count = reader.ReadInteger();
  for (std::int32_t i = 0; i < count; ++i) {
    if (reader.ReadInteger() == kKindWithInteger) {
      reader.ReadInteger();
    } else {
      reader.SkipString();
    }
  }
  // Whatever follows the third list is not ours to read.
}

void ReadSavedSearch(const std::string& fileName, SavedSearchFiles& files, SavedSearchHost& host,
                     const AnsiConverter& converter) {
  if (fileName.empty() || !files.FileExists(fileName)) return;
  host.SelectPage(1);
  std::string fullPath;
  std::string errorText;
  std::unique_ptr<ByteSource> file = files.OpenExclusive(fileName, &fullPath, &errorText);
  if (!file) {
    throw FileError("Cannot open file", fullPath, errorText);
  }
  try {
    ParseSavedSearch(*file, host, converter);
  } catch (...) {
    host.ClearResults();
    file.reset();
    throw;
  }
  host.ClearResults();
  file.reset();
}

}  // namespace calvorin
