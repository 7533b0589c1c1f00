// Invariants of a decoded page (checked after every change under
// VORSANDT_CHECKS; a violation stops the program, as memory the page does
// not own may have been written):
//
//  1. Every slot's bytes lie inside the block: offset + length <= size.
//  2. live_bytes_ is the sum of the slots' lengths, so the block holds at
//     least that many bytes.
//  3. Garbage (block size less live bytes) is at most half the live bytes,
//     or 256 bytes: the block is rewritten before it grows past that.
//  4. The child numbers are absent or one per slot.
#include "storage/qvf/page.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "runtime/env/invariant.h"
#include "storage/qvf/compression.h"
#include "storage/qvf/format.h"
#include "storage/qvf/internal_error.h"

namespace vorsandt::qvf {
namespace {

void CheckPage(bool condition, const char* what) { env::CheckInvariant(condition, "page", what); }

}  // namespace

void PageData::CheckChange(size_t i) const {
  // Constant time: the slot just written and the block's totals.
  if (i < slots_.size()) {
    CheckPage(size_t{slots_[i].offset} + slots_[i].length <= arena_.size(), "slot outside block");
  }
  CheckPage(arena_.size() >= live_bytes_, "live bytes exceed block");
  CheckPage(children_.empty() || children_.size() == slots_.size(), "children not one per slot");
  CheckPage(arena_.size() - live_bytes_ <= std::max<size_t>(256, live_bytes_ / 2),
            "garbage not reclaimed");
}

uint32_t PageData::Store(std::string_view bytes) {
  const auto offset = static_cast<uint32_t>(arena_.size());
  const size_t need = arena_.size() + bytes.size();
  if (need > arena_.capacity()) {
    // Half as much again as needed, not the string's doubling: a changed leaf
    // grows an entry at a time up to its split, and thousands of them stay
    // decoded in a large transaction.
    arena_.reserve(need + need / 2 + 64);
  }
  arena_.append(bytes);
  return offset;
}

void PageData::Insert(size_t i, std::string_view bytes, size_t key_length, int64_t child) {
  if (Aliases(bytes)) {
    const std::string copy(bytes);
    Insert(i, copy, key_length, child);
    return;
  }
  const Slot slot{Store(bytes), static_cast<uint16_t>(bytes.size()),
                  static_cast<uint16_t>(key_length)};
  if (child != 0 || !children_.empty()) {
    if (children_.empty()) MaterializeChildren();
    children_.insert(children_.begin() + static_cast<long>(i), child);
  }
  slots_.insert(slots_.begin() + static_cast<long>(i), slot);
  live_bytes_ += static_cast<uint32_t>(bytes.size());
  CheckChange(i);
}

void PageData::Replace(size_t i, std::string_view bytes, size_t key_length) {
  if (Aliases(bytes)) {
    const std::string copy(bytes);
    Replace(i, copy, key_length);
    return;
  }
  Slot& s = slots_[i];
  live_bytes_ = live_bytes_ - s.length + static_cast<uint32_t>(bytes.size());
  if (bytes.size() <= s.length) {
    // In place: the tail the entry no longer uses becomes garbage.
    if (!bytes.empty()) std::memcpy(arena_.data() + s.offset, bytes.data(), bytes.size());
  } else {
    s.offset = Store(bytes);
  }
  s.length = static_cast<uint16_t>(bytes.size());
  s.key_length = static_cast<uint16_t>(key_length);
  CompactIfWasteful();
  CheckChange(i);
}

void PageData::SetChild(size_t i, int64_t unit) {
  if (children_.empty()) {
    if (unit == 0) return;
    MaterializeChildren();
  }
  children_[i] = unit;
}

void PageData::Erase(size_t i) {
  live_bytes_ -= slots_[i].length;
  slots_.erase(slots_.begin() + static_cast<long>(i));
  if (!children_.empty()) children_.erase(children_.begin() + static_cast<long>(i));
  CompactIfWasteful();
  CheckChange(slots_.size());
}

void PageData::MoveTailTo(size_t from, PageData* to) {
  for (size_t i = from; i < slots_.size(); ++i) {
    const Slot& s = slots_[i];
    to->Append(BytesOf(s), s.key_length, Child(i));
    live_bytes_ -= s.length;
  }
  slots_.resize(from);
  if (!children_.empty()) children_.resize(from);
  CompactIfWasteful();
  CheckChange(slots_.size());
}

void PageData::SwapEntries(PageData* other) {
  slots_.swap(other->slots_);
  children_.swap(other->children_);
  arena_.swap(other->arena_);
  std::swap(live_bytes_, other->live_bytes_);
}

void PageData::Release() {
  std::vector<Slot>().swap(slots_);
  std::vector<int64_t>().swap(children_);
  std::string().swap(arena_);
  live_bytes_ = 0;
}

void PageData::CompactIfWasteful() {
  const size_t garbage = arena_.size() - live_bytes_;
  // Rewriting costs a copy of the live bytes: worth it once the garbage is
  // half of them (every erased byte then costs at most two copied),
  // and not for a few bytes.
  if (garbage <= 256 || garbage <= live_bytes_ / 2) return;
  std::string block;
  block.reserve(live_bytes_);
  for (Slot& s : slots_) {
    const auto offset = static_cast<uint32_t>(block.size());
    block.append(arena_, s.offset, s.length);
    s.offset = offset;
  }
  arena_.swap(block);
}

size_t PageData::LowerBound(std::string_view key) const {
  const auto it = std::partition_point(
      slots_.begin(), slots_.end(), [&](const Slot& s) { return CompareKeys(KeyOf(s), key) < 0; });
  return static_cast<size_t>(it - slots_.begin());
}

long PageData::LastNotGreater(std::string_view key) const {
  // The first entry greater than the key, less one.
  const auto it = std::partition_point(
      slots_.begin(), slots_.end(), [&](const Slot& s) { return CompareKeys(key, KeyOf(s)) >= 0; });
  return static_cast<long>(it - slots_.begin()) - 1;
}

int EncodePage(const PageData& page, uint32_t unit, std::string* image) {
  const size_t count = page.size();
  const size_t fixed = kPageHeaderSize + (page.level > 0 ? 4 * count : 0);
  const uint32_t estimate = page.Estimate();
  std::string area;
  // The estimate bounds the encoded size: one allocation for the area.
  area.reserve(estimate);
  std::string_view prev;
  uint16_t prev_key_length = 0;
  for (size_t i = 0; i < count; ++i) {
    const EntryRef e = page.At(i);
    if (e.bytes.size() >= kEntryLimit) return kCheckEntryTooLarge;
    uint8_t flags = 0;
    size_t shared = 0;
    if (i == 0 || prev.size() != e.bytes.size()) flags |= kFlagTotalLength;
    if (i == 0 || prev_key_length != e.key_length) flags |= kFlagKeyLength;
    if (i > 0) {
      shared = CommonPrefix(prev.data(), e.bytes.data(),
                            std::min<size_t>({kSharedMask, e.bytes.size(), prev.size()}));
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
    area.append(e.bytes.substr(shared));
    prev = e.bytes;
    prev_key_length = e.key_length;
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
    for (size_t i = 0; i < count; ++i) {
      PutU32(p + pos, static_cast<uint32_t>(page.Child(i)));
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
  out.slots_.reserve(count);
  // The estimate field, if true, gives exactly the bytes the entries take;
  // it is checked below, so a false one costs at most one more allocation.
  const size_t overhead = fixed + kEntryOverhead * count;
  if (estimate > overhead) out.arena_.reserve(estimate - overhead);
  size_t pos = 0;
  size_t total = 0;
  size_t key_length = 0;
  while (pos < area.size()) {
    if (out.slots_.size() == count) return kCheckPageDecode;
    const uint8_t flags = static_cast<uint8_t>(area[pos++]);
    const size_t shared = flags & kSharedMask;
    const bool first = out.slots_.empty();
    if (first &&
        ((flags & (kFlagTotalLength | kFlagKeyLength)) != (kFlagTotalLength | kFlagKeyLength) ||
         shared != 0)) {
      return kCheckPageDecode;
    }
    const size_t prev_total = first ? 0 : out.slots_.back().length;
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
    if (level > 0 && key_length != total) return kCheckPageDecode;
    // The new entry goes right after the previous one: its shared prefix is
    // copied from there, within the block.
    const size_t offset = out.arena_.size();
    out.arena_.resize(offset + total);
    char* dst = out.arena_.data() + offset;
    if (shared > 0) std::memcpy(dst, out.arena_.data() + out.slots_.back().offset, shared);
    std::memcpy(dst + shared, area.data() + pos, total - shared);
    pos += total - shared;
    const std::string_view key(dst, key_length);
    if (!first) {
      if (CompareKeys(out.KeyOf(out.slots_.back()), key) >= 0) return kCheckDuplicateKey;
    }
    out.slots_.push_back(PageData::Slot{static_cast<uint32_t>(offset), static_cast<uint16_t>(total),
                                        static_cast<uint16_t>(key_length)});
    out.live_bytes_ += static_cast<uint32_t>(total);
  }
  if (out.slots_.size() != count) return kCheckPageDecode;
  if (level > 0) {
    out.children_.resize(count);
    for (size_t i = 0; i < count; ++i) {
      out.children_[i] = GetU32(data + kPageHeaderSize + 4 * i);
    }
  }
  if (out.Estimate() != estimate) return kCheckEstimate;
  *page = std::move(out);
  return 0;
}

}  // namespace vorsandt::qvf
