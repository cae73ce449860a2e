// TResult: one hit reported by the registry walk, as the scan keeps it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "registry/registry.h"

namespace calvorin {

// A hit's fields, whatever holds its texts: TResult owns them, the hit table's records
// (HitStore::Record) view the table's blocks of characters.
template <typename Text>
struct HitFields {
  HitFields() = default;
  // The same hit with its texts held the other way (a view of a string, a string of a view).
  template <typename Other>
  explicit HitFields(const HitFields<Other>& o)
      : Root(o.Root),
        KeyPath(o.KeyPath),
        ValueName(o.ValueName),
        DataText(o.DataText),
        KeyPos(o.KeyPos),
        NamePos(o.NamePos),
        DataPos(o.DataPos),
        KeyLen(o.KeyLen),
        NameLen(o.NameLen),
        DataLen(o.DataLen),
        Type(o.Type),
        NamedKeyPath(o.NamedKeyPath) {}

  Hkey Root = 0;
  Text KeyPath;
  Text ValueName;
  Text DataText;
  std::int32_t KeyPos = 0;
  std::int32_t NamePos = 0;
  std::int32_t DataPos = 0;
  std::int32_t KeyLen = 0;
  std::int32_t NameLen = 0;
  std::int32_t DataLen = 0;
  // The value's registry type (REG_NONE for a key-name hit): Repair changes a value only while
  // it is still of this type.
  std::uint32_t Type = 0;
  // The key path in the key's own letters (the root's name, then each name as the registry
  // enumerated it): Repair's backup names the key so, and Restore creates a key it must make
  // again as it was spelled. KeyPath stays lowered for the list and the rules. The hit table
  // keeps it only where it differs from KeyPath.
  Text NamedKeyPath;
};

struct TResult : HitFields<std::string> {
  TResult() = default;
  template <typename Other>
  explicit TResult(const HitFields<Other>& o) : HitFields<std::string>(o) {}
  TResult(std::string keyPath, std::string valueName, std::string dataText, std::int32_t keyPos,
          std::int32_t namePos, std::int32_t dataPos, std::int32_t keyLen, std::int32_t nameLen,
          std::int32_t dataLen, Hkey root) {
    Root = root;
    KeyPath = std::move(keyPath);
    ValueName = std::move(valueName);
    DataText = std::move(dataText);
    KeyPos = keyPos;
    NamePos = namePos;
    DataPos = dataPos;
    KeyLen = keyLen;
    NameLen = nameLen;
    DataLen = dataLen;
  }
};

// The walk's match callback. The hit is the walk's own: valid only during the call.
using MatchCallback = std::function<void(const TResult& hit)>;
using ProgressCallback = std::function<void(std::int32_t keysSearched, std::int32_t matchCount)>;

}  // namespace calvorin
