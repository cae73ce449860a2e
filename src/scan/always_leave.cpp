#include "scan/always_leave.h"

#include <vector>

namespace calvorin {
namespace {

constexpr const char* kHeader =
    "; Calvorin: values always left unchanged. One a line: root, key path, value name, between\r\n"
    "; tabs; %XX is the byte of hex value XX (control characters, %, a space at a field's end).\r\n";

void AppendEscaped(std::string& out, const std::string& field) {
  static const char kHex[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < field.size(); ++i) {
    const auto c = static_cast<unsigned char>(field[i]);
    const bool trailingSpace = c == ' ' && i + 1 == field.size();
    if (c < 0x20 || c == 0x7F || c == '%' || trailingSpace) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::string> Unescape(const std::string& field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    const auto c = static_cast<unsigned char>(field[i]);
    if (c < 0x20 || c == 0x7F) return std::nullopt;
    if (c != '%') {
      out += field[i];
      continue;
    }
    if (i + 2 >= field.size()) return std::nullopt;
    const int hi = HexDigit(field[i + 1]), lo = HexDigit(field[i + 2]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return out;
}

}  // namespace

AlwaysLeaveList AlwaysLeaveList::Load(FileSystem& fs, const std::string& path) {
  const std::optional<std::string> text = fs.ReadWholeFile(path);
  if (!text) return {};
  return Parse(*text).value_or(AlwaysLeaveList{});
}

void AlwaysLeaveList::Save(FileSystem& fs, const std::string& path) const {
  fs.WriteWholeFile(path, Text());
}

bool AlwaysLeaveList::Contains(Hkey root, const std::string& keyPath,
                               const std::string& valueName) const {
  return !values_.empty() && values_.count({RootKeyName(root), keyPath, valueName}) != 0;
}

void AlwaysLeaveList::Set(Hkey root, const std::string& keyPath, const std::string& valueName,
                          bool leave) {
  LeftValue value{RootKeyName(root), keyPath, valueName};
  if (leave) {
    values_.insert(std::move(value));
  } else {
    values_.erase(value);
  }
}

std::string AlwaysLeaveList::Text() const {
  std::string text = kHeader;
  for (const LeftValue& v : values_) {
    AppendEscaped(text, v.root);
    text += '\t';
    AppendEscaped(text, v.keyPath);
    text += '\t';
    AppendEscaped(text, v.valueName);
    text += "\r\n";
  }
  return text;
}

std::optional<AlwaysLeaveList> AlwaysLeaveList::Parse(const std::string& text) {
  AlwaysLeaveList list;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    std::vector<std::string> fields;
    std::size_t from = 0;
    for (std::size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1) {
      fields.push_back(line.substr(from, tab - from));
    }
    fields.push_back(line.substr(from));
    if (fields.size() != 3) return std::nullopt;
    const auto root = Unescape(fields[0]), key = Unescape(fields[1]), name = Unescape(fields[2]);
    if (!root || !key || !name || root->empty()) return std::nullopt;
    list.values_.insert({*root, *key, *name});
  }
  return list;
}

}  // namespace calvorin
