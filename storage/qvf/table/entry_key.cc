#include "storage/qvf/table/entry_key.h"

namespace vorsandt::qvf {

std::string Id4(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * (3 - i)));
  return s;
}

uint32_t ReadId4(std::string_view b) {
  if (b.size() < 4) return 0;
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v = (v << 8) | static_cast<uint8_t>(b[i]);
  return v;
}

std::string KindPrefix(uint32_t table, uint8_t type) {
  std::string k = Id4(table);
  k.push_back(static_cast<char>(type));
  return k;
}

std::string DataKey(uint32_t table, uint32_t record) {
  return KindPrefix(table, kEntryData) + Id4(record);
}

std::string CounterKey(uint32_t table, uint8_t which) {
  std::string k = KindPrefix(table, kEntryCounter);
  k.push_back(static_cast<char>(which));
  return k;
}

std::string DefinitionKey(uint32_t table, uint16_t block) {
  // The block number is little-endian: blocks are only ever read by number.
  std::string k = KindPrefix(table, kEntryDefinition);
  k.push_back(static_cast<char>(block & 0xFF));
  k.push_back(static_cast<char>(block >> 8));
  return k;
}

std::string ChunkKey(uint32_t table, uint32_t record, uint8_t field, uint16_t chunk) {
  std::string k = KindPrefix(table, kEntryChunk) + Id4(record);
  k.push_back(static_cast<char>(field));
  k.push_back(static_cast<char>(chunk >> 8));
  k.push_back(static_cast<char>(chunk & 0xFF));
  return k;
}

std::string DirectoryKey(std::string_view table_name) {
  std::string k(1, static_cast<char>(kEntryDirectory));
  k.append(table_name);
  k.push_back('\0');
  return k;
}

std::string EncodeCounter(const Counter& c) {
  std::string d(kCounterDataSize, '\0');
  for (int i = 0; i < 4; ++i) {
    d[i] = static_cast<char>(c.count >> (8 * i));
    d[4 + i] = static_cast<char>(c.mark >> (8 * i));
  }
  return d;
}

bool DecodeCounter(std::string_view d, Counter* c) {
  if (d.size() != kCounterDataSize) return false;
  c->count = c->mark = 0;
  for (int i = 3; i >= 0; --i) {
    c->count = (c->count << 8) | static_cast<uint8_t>(d[i]);
    c->mark = (c->mark << 8) | static_cast<uint8_t>(d[4 + i]);
  }
  return true;
}

EntryKeyInfo DecodeEntryKey(std::string_view key) {
  EntryKeyInfo info;
  auto byte = [&](size_t i) { return static_cast<uint8_t>(key[i]); };
  if (key.empty()) {
    info.kind = EntryKind::kEmpty;
    return info;
  }
  if (byte(0) == kEntryMarker) {
    info.kind = key.size() == 1 ? EntryKind::kMarker : EntryKind::kUnknown;
    return info;
  }
  if (byte(0) == kEntryDirectory) {
    if (key.size() >= 2 && key.back() == '\0' &&
        key.substr(1, key.size() - 2).find('\0') == std::string_view::npos) {
      info.kind = EntryKind::kDirectory;
      info.name.assign(key.substr(1, key.size() - 2));
    }
    return info;
  }
  if (key.size() < 5) return info;
  info.table = ReadId4(key);
  uint8_t type = byte(4);
  switch (type) {
    case kEntryData:
      if (key.size() == 9) {
        info.kind = EntryKind::kData;
        info.record = ReadId4(key.substr(5));
      }
      break;
    case kEntryCounter:
      if (key.size() == 6) {
        info.kind = EntryKind::kCounter;
        info.which = byte(5);
      }
      break;
    case kEntryDefinition:
      if (key.size() == 7) {
        info.kind = EntryKind::kDefinition;
        info.block = static_cast<uint16_t>(byte(5) | (byte(6) << 8));
      }
      break;
    case kEntryChunk:
      if (key.size() == 12) {
        info.kind = EntryKind::kChunk;
        info.record = ReadId4(key.substr(5));
        info.field = byte(9);
        info.block = static_cast<uint16_t>((byte(10) << 8) | byte(11));
      }
      break;
    default:
      if (type < kMaxKeys) {
        info.kind = EntryKind::kKey;
        info.which = type;
      }
      break;
  }
  return info;
}

}  // namespace vorsandt::qvf
