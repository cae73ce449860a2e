#include "repair/backup.h"

#include <string_view>

#include "base/little_endian.h"
#include "base/text.h"

namespace calvorin {
namespace {

constexpr const char* kCrLf = "\r\n";
// The registry editor wraps hex data so that no line runs past 80 columns.
constexpr size_t kHexWrapColumn = 76;

bool IsLead(LeadByteTest leadByte, char c) {
  return leadByte != nullptr && leadByte(static_cast<unsigned char>(c));
}

// Text the quoted forms carry exactly: whole characters, none of them a control character
// (the import would read line breaks and the like differently or not at all).
bool QuotableText(std::string_view text, LeadByteTest leadByte) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsLead(leadByte, text[i])) {
      if (++i == text.size()) return false;  // the closing quote would become its second byte
    } else if (static_cast<unsigned char>(text[i]) < 0x20) {
      return false;
    }
  }
  return true;
}

// Data the quoted form carries exactly: quotable text ending in its only zero byte.
bool IsPlainString(const BackupEntry& entry, LeadByteTest leadByte) {
  if (entry.type != kRegSz || entry.data.empty() || entry.data.back() != '\0') return false;
  return QuotableText(std::string_view(entry.data).substr(0, entry.data.size() - 1), leadByte);
}

std::string HexForm(const std::string& head, const std::string& data) {
  std::string out = head;
  size_t lineStart = 0;
  for (size_t i = 0; i < data.size(); ++i) {
    out += Format("%02x", static_cast<unsigned char>(data[i]));
    if (i + 1 == data.size()) break;
    out += ',';
    if (out.size() - lineStart >= kHexWrapColumn) {
      out += "\\\r\n  ";
      lineStart = out.size() - 2;
    }
  }
  return out;
}

}  // namespace

std::string EscapeRegText(const std::string& text, LeadByteTest leadByte) {
  std::string out;
  out.reserve(text.size() + 8);
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (IsLead(leadByte, c) && i + 1 < text.size()) {
      out += c;
      out += text[++i];
      continue;
    }
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

std::string BackupValueLine(const BackupEntry& entry, LeadByteTest leadByte) {
  std::string head = "\"";
  head += EscapeRegText(entry.valueName, leadByte);
  head += "\"=";
  if (IsPlainString(entry, leadByte)) {
    head += '"';
    head += EscapeRegText(entry.data.substr(0, entry.data.size() - 1), leadByte);
    head += '"';
    return head;
  }
  if (entry.type == kRegDword && entry.data.size() == 4) {
    return head + Format("dword:%08x", static_cast<unsigned>(LittleEndian32(entry.data.data())));
  }
  if (entry.type == kRegBinary) return HexForm(head + "hex:", entry.data);
  return HexForm(head + Format("hex(%x):", entry.type), entry.data);
}

bool BackupCanCarry(const BackupEntry& entry, LeadByteTest leadByte) {
  // Wine's import adds a terminator to string data that has none (Windows' keeps the bytes as
  // they are): such a value would come back one character longer.
  if (IsStringType(entry.type) && !entry.data.empty() && entry.data.back() != '\0') return false;
  return !entry.keyPath.empty() && QuotableText(entry.keyPath, leadByte) &&
         QuotableText(entry.valueName, leadByte);
}

std::string BackupText(const std::vector<BackupEntry>& entries, LeadByteTest leadByte) {
  std::string text = "REGEDIT4";
  text += kCrLf;
  text += " ";
  text += kCrLf;
  for (const auto& entry : entries) {
    text += '[';
    text += entry.keyPath;
    text += ']';
    text += kCrLf;
    text += BackupValueLine(entry, leadByte);
    text += kCrLf;
  }
  text += " ";
  text += kCrLf;
  return text;
}

long ReadBackupValue(TRegistry& reg, const std::string& valueName, BackupEntry* entry) {
  if (reg.CurrentKey() == 0) return kErrorInvalidHandle;
  RegistryApi& api = reg.Api();
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  if (const long rc = api.QueryValue(reg.CurrentKey(), valueName, &type, nullptr, &size);
      rc != kErrorSuccess) {
    return rc;
  }
  std::string data;
  // The value may grow between the size query and the read; ask again with the new size.
  for (int attempt = 0; attempt < 8; ++attempt) {
    data.assign(size, '\0');
    std::uint32_t got = size;
    const long rc = api.QueryValue(reg.CurrentKey(), valueName, &type,
                                   reinterpret_cast<std::uint8_t*>(data.data()), &got);
    if (rc == kErrorSuccess) {
      // The ANSI query reports a string's size as an upper bound first, its true size here.
      data.resize(got < data.size() ? got : data.size());
      entry->valueName = valueName;
      entry->type = type;
      entry->data = std::move(data);
      return kErrorSuccess;
    }
    if (rc != kErrorMoreData) return rc;
    size = got > size ? got : size + 256;
  }
  return kErrorMoreData;
}

}  // namespace calvorin
