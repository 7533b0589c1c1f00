#include "storage/qvf/driver/sequence.h"

#include <utility>

namespace vorsandt::qvf {
namespace {

std::string Be32(uint32_t v) {
  std::string s(4, '\0');
  s[0] = static_cast<char>(v >> 24);
  s[1] = static_cast<char>(v >> 16);
  s[2] = static_cast<char>(v >> 8);
  s[3] = static_cast<char>(v);
  return s;
}

bool InKey(const SequencePosition& pos, std::string_view key_part) {
  return key_part.size() > pos.prefix.size() && key_part.substr(0, pos.prefix.size()) == pos.prefix;
}

// Smallest key part above every entry of the key: the prefix with its last
// byte (the key number, always below 0xF3) raised by one.
std::string PastKey(const SequencePosition& pos) {
  std::string past = pos.prefix;
  past.back() = static_cast<char>(static_cast<uint8_t>(past.back()) + 1);
  return past;
}

[[nodiscard]] int FindKeyEntry(SequenceSource& source, const SequencePosition& pos, Search how,
                 std::string_view key_part, std::optional<SequenceHit>* out) {
  out->reset();
  std::optional<KeyHit> hit;
  if (int rc = source.FindKey(how, key_part, &hit); rc != 0) return rc;
  if (hit && InKey(pos, hit->key_part)) *out = SequenceHit{hit->record, std::move(hit->key_part)};
  return 0;
}

[[nodiscard]] int FindRecordHit(SequenceSource& source, Search how, uint32_t number,
                  std::optional<SequenceHit>* out) {
  out->reset();
  std::optional<uint32_t> found;
  if (int rc = source.FindRecord(how, number, &found); rc != 0) return rc;
  if (found) *out = SequenceHit{*found, {}};
  return 0;
}

}  // namespace

std::string KeyPartFor(const SequencePosition& pos, std::string_view value, uint32_t record) {
  std::string key = pos.prefix;
  key.append(value);
  if (pos.duplicates) key += Be32(record);
  return key;
}

int FindInSequence(SequenceSource& source, const SequencePosition& pos, bool forward,
                   std::optional<SequenceHit>* out) {
  out->reset();
  const Search step = forward ? Search::kNextAfter : Search::kPreviousBefore;
  switch (pos.mode) {
    case kModeRecord:
      return FindRecordHit(source, step, pos.record, out);
    case kModeRecordStart:
      return FindRecordHit(source, step, forward ? 0u : 0xFFFFFFFFu, out);
    case kModeRecordAt: {
      if (int rc = FindRecordHit(source, Search::kExact, pos.record, out); rc != 0 || *out) {
        return rc;
      }
      return FindRecordHit(source, step, pos.record, out);
    }
    case kModeKey:
      if (!pos.keyed()) return FindRecordHit(source, step, pos.record, out);
      return FindKeyEntry(source, pos, step, pos.entry, out);
    case kModeKeyStart:
      if (!pos.keyed()) return FindRecordHit(source, step, forward ? 0u : 0xFFFFFFFFu, out);
      return FindKeyEntry(source, pos, step, forward ? pos.prefix : PastKey(pos), out);
    case kModeRecordFromKeyValue:
    case kModeKeyAtValue: {
      if (!pos.keyed()) return FindRecordHit(source, step, forward ? 0u : 0xFFFFFFFFu, out);
      if (!pos.duplicates) {
        std::string exact = KeyPartFor(pos, pos.value, 0);
        if (int rc = FindKeyEntry(source, pos, Search::kExact, exact, out); rc != 0 || *out) {
          return rc;
        }
      }
      // Record number 0 (forward) or all ones (backward) puts the search
      // before or after every entry of this value.
      std::string from = pos.prefix + pos.value + Be32(forward ? 0u : 0xFFFFFFFFu);
      return FindKeyEntry(source, pos, step, from, out);
    }
    case kModeKeyAtValueAndRecord: {
      if (!pos.keyed()) return FindRecordHit(source, step, pos.record, out);
      std::string at = KeyPartFor(pos, pos.value, pos.record);
      if (int rc = FindKeyEntry(source, pos, Search::kExact, at, out); rc != 0 || *out) {
        return rc;
      }
      return FindKeyEntry(source, pos, step, at, out);
    }
    case kModeKeyAtRecord: {
      if (!pos.keyed()) return FindRecordHit(source, Search::kExact, pos.record, out);
      std::optional<std::string> key_part;
      if (int rc = source.KeyPartOf(pos.record, &key_part); rc != 0) return rc;
      if (key_part) *out = SequenceHit{pos.record, *key_part};
      return 0;
    }
    default:
      return 0;
  }
}

void MoveTo(SequencePosition* pos, const SequenceHit& hit) {
  pos->record = hit.record;
  switch (pos->mode) {
    case kModeRecord:
    case kModeRecordStart:
    case kModeRecordAt:
    case kModeRecordFromKeyValue:
      // The sequence now runs in record-number order whatever key found it.
      pos->mode = kModeRecord;
      pos->entry.clear();
      pos->prefix.clear();
      pos->duplicates = false;
      break;
    default:
      pos->mode = pos->keyed() ? kModeKey : kModeRecord;
      pos->entry = hit.key_part;
      break;
  }
}

int SkipInSequence(SequenceSource& source, SequencePosition* pos, int64_t n, int64_t* moved) {
  bool forward = n > 0;
  int64_t left = forward ? n : -n;
  int64_t done = 0;
  for (; left > 0; --left) {
    std::optional<SequenceHit> hit;
    if (int rc = FindInSequence(source, *pos, forward, &hit); rc != 0) return rc;
    if (!hit) break;
    MoveTo(pos, *hit);
    ++done;
  }
  if (moved != nullptr) *moved = done;
  return 0;
}

}  // namespace vorsandt::qvf
