// Memo and blob fields of a record, kept as chunks of at most 256 bytes under
// (table id, 0xFC, record number, field index, chunk number). A text memo
// stores its text without trailing spaces (an all-blank memo has no chunk) and
// is padded with spaces when read; a blob's first chunk starts with its total
// length (u32 little-endian). Chunks of a field are numbered 0..n-1: chunks
// beyond the new count are removed when a field shrinks.
#include <cstring>

#include "runtime/files/error_codes.h"
#include "runtime/format/charset.h"
#include "storage/qvf/table/table.h"

namespace vorsandt::qvf {
namespace {

bool IsBlob(const StoredMemo& m) { return (m.flags & kMemoBlob) != 0; }
// Blobs are bytes: never converted between character sets.
bool IsBinary(const StoredMemo& m) { return (m.flags & (kMemoBinary | kMemoBlob)) != 0; }

std::string Convert(std::string_view text, bool to_oem) {
  return to_oem ? format::AnsiToOemText(text) : format::OemToAnsiText(text);
}

}  // namespace

int Table::WriteMemos(uint32_t number, const MemoValues& memos) {
  for (size_t i = 0; i < def_.memos.size(); ++i) {
    const StoredMemo& m = def_.memos[i];
    std::string value = i < memos.size() ? memos[i] : std::string();
    std::vector<std::string> chunks;
    if (IsBlob(m)) {
      if (!value.empty()) {
        std::string first(4, '\0');
        auto length = static_cast<uint32_t>(value.size());
        for (int b = 0; b < 4; ++b) first[b] = static_cast<char>(length >> (8 * b));
        first += value.substr(0, kChunkSize);
        chunks.push_back(std::move(first));
        for (size_t at = kChunkSize; at < value.size(); at += kChunkSize) {
          chunks.push_back(value.substr(at, kChunkSize));
        }
      }
    } else {
      if (value.size() > m.size) value.resize(m.size);
      size_t end = value.find_last_not_of(' ');
      value.resize(end == std::string::npos ? 0 : end + 1);
      if (options_.oem && !IsBinary(m)) value = Convert(value, true);
      for (size_t at = 0; at < value.size(); at += kChunkSize) {
        chunks.push_back(value.substr(at, kChunkSize));
      }
    }
    if (chunks.size() > 0x10000) return files::kInvalidDataFile;
    auto field = static_cast<uint8_t>(i);
    for (size_t j = 0; j < chunks.size(); ++j) {
      if (int rc = store().Put(ChunkKey(id_, number, field, static_cast<uint16_t>(j)), chunks[j]);
          rc != 0) {
        return rc;
      }
    }
    // Chunks beyond the new count are left from a longer value.
    for (size_t j = chunks.size(); j <= 0xFFFF; ++j) {
      std::string key = ChunkKey(id_, number, field, static_cast<uint16_t>(j));
      std::optional<StoredEntry> e;
      if (int rc = store().Find(Search::kExact, key, &e); rc != 0) return rc;
      if (!e) break;
      if (int rc = store().Delete(key); rc != 0) return rc;
    }
  }
  return 0;
}

int Table::ReadMemos(uint32_t number, MemoValues* memos) {
  memos->assign(def_.memos.size(), std::string());
  for (size_t i = 0; i < def_.memos.size(); ++i) {
    const StoredMemo& m = def_.memos[i];
    std::string value;
    // Chunks are written full but the last (a blob's first one carries its
    // length as well): a short chunk followed by another was changed since.
    size_t last_chunk = 0;
    size_t full = 0;
    for (uint32_t j = 0; j <= 0xFFFF; ++j) {
      std::optional<StoredEntry> e;
      std::string key = ChunkKey(id_, number, static_cast<uint8_t>(i), static_cast<uint16_t>(j));
      if (int rc = store().Find(Search::kExact, key, &e); rc != 0) return rc;
      if (!e) break;
      if (j > 0 && last_chunk != full) return files::kInvalidDataFile;
      full = IsBlob(m) && j == 0 ? 4 + kChunkSize : kChunkSize;
      last_chunk = e->data.size();
      if (last_chunk == 0 || last_chunk > full) return files::kInvalidDataFile;
      value += e->data;
    }
    if (IsBlob(m)) {
      if (!value.empty()) {
        // The stored length is the length of the chunks' bytes, never more
        // or less.
        if (value.size() < 4) return files::kInvalidDataFile;
        uint32_t length = 0;
        for (int b = 3; b >= 0; --b) length = (length << 8) | static_cast<uint8_t>(value[b]);
        value.erase(0, 4);
        if (length != value.size()) return files::kInvalidDataFile;
      }
    } else {
      if (value.size() > m.size) return files::kInvalidDataFile;
      if (options_.oem && !IsBinary(m)) value = Convert(value, false);
      value.resize(m.size, ' ');
    }
    (*memos)[i] = std::move(value);
  }
  return 0;
}

int Table::DeleteMemos(uint32_t number) {
  std::string prefix = KindPrefix(id_, kEntryChunk) + Id4(number);
  for (;;) {
    std::optional<StoredEntry> e;
    if (int rc = store().Find(Search::kNextAfter, prefix, &e); rc != 0) return rc;
    if (!e || e->key.compare(0, prefix.size(), prefix) != 0) return 0;
    if (int rc = store().Delete(e->key); rc != 0) return rc;
  }
}

}  // namespace vorsandt::qvf
