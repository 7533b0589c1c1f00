#include "storage/qvf/page.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "storage/qvf/compression.h"
#include "storage/qvf/format.h"
#include "storage/qvf/internal_error.h"

namespace vorsandt::qvf {

uint32_t PageData::Estimate() const {
  uint32_t e = kPageHeaderSize;
  if (level > 0) e += 4 * static_cast<uint32_t>(entries.size());
  for (const Entry& x : entries) e += static_cast<uint32_t>(x.bytes.size()) + kEntryOverhead;
  return e;
}

size_t PageData::LowerBound(std::string_view key) const {
  auto it = std::lower_bound(
      entries.begin(), entries.end(), key,
      [](const Entry& e, std::string_view k) { return CompareKeys(e.Key(), k) < 0; });
  return static_cast<size_t>(it - entries.begin());
}

long PageData::LastNotGreater(std::string_view key) const {
  auto it = std::upper_bound(
      entries.begin(), entries.end(), key,
      [](std::string_view k, const Entry& e) { return CompareKeys(k, e.Key()) < 0; });
  return static_cast<long>(it - entries.begin()) - 1;
}

int EncodePage(const PageData& page, uint32_t unit, std::string* image) {
  const size_t count = page.entries.size();
  const size_t fixed = kPageHeaderSize + (page.level > 0 ? 4 * count : 0);
  const uint32_t estimate = page.Estimate();
  std::string area;
  // The estimate bounds the encoded size: one allocation for the area.
  area.reserve(estimate);
  const Entry* prev = nullptr;
  for (const Entry& e : page.entries) {
    if (e.bytes.size() >= kEntryLimit) return kCheckEntryTooLarge;
    uint8_t flags = 0;
    size_t shared = 0;
    if (prev == nullptr || prev->bytes.size() != e.bytes.size()) flags |= kFlagTotalLength;
    if (prev == nullptr || prev->key_length != e.key_length) flags |= kFlagKeyLength;
    if (prev != nullptr) {
      shared = CommonPrefix(prev->bytes.data(), e.bytes.data(),
                            std::min<size_t>({kSharedMask, e.bytes.size(), prev->bytes.size()}));
    }
    area.push_back(static_cast<char>(flags | shared));
    uint8_t len[2];
    if (flags & kFlagTotalLength) {
      PutU16(len, static_cast<uint16_t>(e.bytes.size()));
      area.append(reinterpret_cast<char*>(len), 2);
    }
    if (flags & kFlagKeyLength) {
      PutU16(len, e.key_length);
      area.append(reinterpret_cast<char*>(len), 2);
    }
    area.append(e.bytes, shared, std::string::npos);
    prev = &e;
  }
  const size_t expanded = fixed + area.size();
  if (expanded > estimate || estimate > 0xFFFF) return kCheckEstimate;
  size_t stored = expanded;
  std::string packed;
  if (Compress(area, &packed)) {
    size_t compressed = fixed + packed.size();
    // Compression is kept only when it saves at least one whole unit.
    if (UnitsFor(static_cast<uint32_t>(compressed)) < UnitsFor(static_cast<uint32_t>(expanded))) {
      stored = compressed;
      area.swap(packed);
    }
  }
  const size_t padded = static_cast<size_t>(UnitsFor(static_cast<uint32_t>(stored))) * kUnitSize;
  if (padded > kMaxPageSize) return kCheckPageTooLarge;
  image->assign(padded, static_cast<char>(kPadByte));
  auto* p = reinterpret_cast<uint8_t*>(image->data());
  PutU32(p + kPgOwnAddress, static_cast<uint32_t>(HomeAddress(unit)));
  PutU16(p + kPgStoredSize, static_cast<uint16_t>(stored));
  PutU16(p + kPgExpandedSize, static_cast<uint16_t>(expanded));
  PutU16(p + kPgEstimate, static_cast<uint16_t>(estimate));
  PutU16(p + kPgCount, static_cast<uint16_t>(count));
  p[kPgLevel] = static_cast<uint8_t>(page.level);
  size_t pos = kPageHeaderSize;
  if (page.level > 0) {
    for (const Entry& e : page.entries) {
      PutU32(p + pos, static_cast<uint32_t>(e.child));
      pos += 4;
    }
  }
  std::memcpy(p + pos, area.data(), area.size());
  return 0;
}

int DecodePage(const uint8_t* data, size_t size, uint32_t unit, PageData* page) {
  const uint32_t stored = GetU16(data + kPgStoredSize);
  const uint32_t expanded = GetU16(data + kPgExpandedSize);
  const uint32_t estimate = GetU16(data + kPgEstimate);
  const size_t count = GetU16(data + kPgCount);
  const int level = data[kPgLevel];
  if (stored < kPageHeaderSize || UnitsFor(stored) * kUnitSize != size)
    return kCheckStoredSizeClass;
  if (GetU32(data + kPgOwnAddress) != HomeAddress(unit)) return kCheckOwnAddress;
  const size_t fixed = kPageHeaderSize + (level > 0 ? 4 * count : 0);
  if (fixed > stored || stored > expanded) return kCheckPageDecode;
  std::string_view raw(reinterpret_cast<const char*>(data) + fixed, stored - fixed);
  std::string buffer;
  std::string_view area = raw;
  if (stored < expanded) {
    if (!Expand(raw, expanded - fixed, &buffer)) return kCheckPageDecode;
    area = buffer;
  }
  PageData out;
  out.level = level;
  out.entries.reserve(count);
  size_t pos = 0;
  size_t total = 0;
  size_t key_length = 0;
  while (pos < area.size()) {
    if (out.entries.size() == count) return kCheckPageDecode;
    const uint8_t flags = static_cast<uint8_t>(area[pos++]);
    const size_t shared = flags & kSharedMask;
    const bool first = out.entries.empty();
    if (first &&
        ((flags & (kFlagTotalLength | kFlagKeyLength)) != (kFlagTotalLength | kFlagKeyLength) ||
         shared != 0)) {
      return kCheckPageDecode;
    }
    const size_t prev_total = first ? 0 : out.entries.back().bytes.size();
    if (flags & kFlagTotalLength) {
      if (area.size() - pos < 2) return kCheckPageDecode;
      total = GetU16(reinterpret_cast<const uint8_t*>(area.data()) + pos);
      pos += 2;
    }
    if (flags & kFlagKeyLength) {
      if (area.size() - pos < 2) return kCheckPageDecode;
      key_length = GetU16(reinterpret_cast<const uint8_t*>(area.data()) + pos);
      pos += 2;
    }
    if (key_length > total || shared > total || shared > prev_total || total >= kEntryLimit) {
      return kCheckPageDecode;
    }
    if (area.size() - pos < total - shared) return kCheckPageDecode;
    Entry e;
    e.bytes.reserve(total);
    if (shared > 0) e.bytes.assign(out.entries.back().bytes, 0, shared);
    e.bytes.append(area.substr(pos, total - shared));
    pos += total - shared;
    e.key_length = static_cast<uint16_t>(key_length);
    if (level > 0 && e.key_length != e.bytes.size()) return kCheckPageDecode;
    if (!first && CompareKeys(out.entries.back().Key(), e.Key()) >= 0) return kCheckDuplicateKey;
    out.entries.push_back(std::move(e));
  }
  if (out.entries.size() != count) return kCheckPageDecode;
  if (level > 0) {
    for (size_t i = 0; i < count; ++i) {
      out.entries[i].child = GetU32(data + kPageHeaderSize + 4 * i);
    }
  }
  if (out.Estimate() != estimate) return kCheckEstimate;
  *page = std::move(out);
  return 0;
}

}  // namespace vorsandt::qvf
