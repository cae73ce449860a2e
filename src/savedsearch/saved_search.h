// The saved search file ("MQT"): a sequence of tagged values of which only the display
// preferences PerPage and MaxRslt are applied; the rest is read for its form and skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace calvorin {

// The three ways a saved search file can be malformed; what() is the exact text shown.
class ESavedSearchError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr const char* kMqtCorrupted = "MQT file corrupted (1)";
inline constexpr const char* kInvalidPropertyValue = "Invalid property value";
inline constexpr const char* kStreamReadError = "Stream read error";

// Tags of the tagged values.
constexpr std::uint8_t kTagInt8 = 2;
constexpr std::uint8_t kTagInt16 = 3;
constexpr std::uint8_t kTagInt32 = 4;
constexpr std::uint8_t kTagString = 6;       // 1-byte length, 8-bit text
constexpr std::uint8_t kTagLongString = 12;  // 4-byte length, 8-bit text
constexpr std::uint8_t kTagWideString = 18;  // 4-byte length in 16-bit units, UTF-16
constexpr std::uint8_t kTagUtf8String = 20;  // 4-byte length, UTF-8

// Turns Unicode text into the system's 8-bit code page.
class AnsiConverter {
 public:
  virtual ~AnsiConverter() = default;
  // `utf16le` holds little-endian 16-bit units (an even number of bytes).
  virtual std::string FromUtf16(std::string_view utf16le) const = 0;
  virtual std::string FromUtf8(std::string_view utf8) const = 0;
};

// Where the bytes come from: a file or a buffer.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Copies up to `size` bytes and returns how many; 0 only at the end (or on a read failure).
  virtual std::size_t Read(void* buffer, std::size_t size) = 0;
};

// Reads tagged values through a 4096-byte buffer. Lengths are never trusted: text is only
// collected as far as the bytes really are there, and skipped values are not kept at all.
class TaggedReader {
 public:
  TaggedReader(ByteSource& source, const AnsiConverter& converter)
      : source_(source), converter_(converter) {}
  std::int32_t ReadInteger();
  std::string ReadString();
  void SkipString();

 private:
  std::uint8_t ReadTag();
  void ReadBytes(void* out, std::size_t size);
  std::uint32_t ReadLength32();
  std::string ReadText(std::uint64_t size);
  void Skip(std::uint64_t size);
  std::size_t Fill();

  ByteSource& source_;
  const AnsiConverter& converter_;
  unsigned char buffer_[4096];
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
};

// Receives the display preferences as soon as each is read.
class SavedSearchSettings {
 public:
  virtual ~SavedSearchSettings() = default;
  virtual void SetPerPage(std::int32_t value) = 0;
  virtual void SetMaxRslt(std::int32_t value) = 0;
};

// Reads the whole layout; throws ESavedSearchError with one of the three messages.
void ParseSavedSearch(ByteSource& source, SavedSearchSettings& settings,
                      const AnsiConverter& converter);

// The main window's side of reading a saved search.
class SavedSearchHost : public SavedSearchSettings {
 public:
  virtual void SelectPage(int index) = 0;  // the tab control's page index
  virtual void ClearResults() = 0;
};

// The file side: the existence test and opening for reading with no sharing.
class SavedSearchFiles {
 public:
  virtual ~SavedSearchFiles() = default;
  // FindFirstFile semantics: true when something matches and the first match is not a folder.
  virtual bool FileExists(const std::string& path) = 0;
  // Opens an existing file for reading that nobody else may read or write meanwhile. On failure
  // returns nullptr with the file's full path and the system's error text (no final full stop).
  virtual std::unique_ptr<ByteSource> OpenExclusive(const std::string& path, std::string* fullPath,
                                                    std::string* errorText) = 0;
};

// Reads the saved search `fileName` names (nothing happens for "" or a missing file), applies
// its PerPage and MaxRslt and clears the results. Throws EFileError ("Cannot open file "%s". %s")
// when the file will not open and ESavedSearchError when it is malformed.
void ReadSavedSearch(const std::string& fileName, SavedSearchFiles& files, SavedSearchHost& host,
                     const AnsiConverter& converter);

}  // namespace calvorin
