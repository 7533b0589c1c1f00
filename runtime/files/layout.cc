#include "runtime/files/layout.h"

#include <cstdint>

#include "runtime/files/error_codes.h"

namespace vorsandt::files {

uint32_t FixedTypeSize(uint8_t type) {
  switch (type) {
    case kTypeByte:
      return 1;
    case kTypeShort:
    case kTypeUShort:
      return 2;
    case kTypeLongKind4:
    case kTypeLongKind5:
    case kTypeLong:
    case kTypeULong:
    case kTypeSReal:
    case kTypeSRealKind13:
      return 4;
    case kTypeDouble:
    case kTypeRealKind14:
      return 8;
    default:
      return 0;
  }
}

LayoutBuilder::LayoutBuilder() { bytes_.push_back(kLayoutGroupCode); }

LayoutBuilder& LayoutBuilder::Byte(uint8_t b) {
  bytes_.push_back(b);
  return *this;
}

LayoutBuilder& LayoutBuilder::U32(uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return *this;
}

LayoutBuilder& LayoutBuilder::Text(std::string_view s) {
  bytes_.insert(bytes_.end(), s.begin(), s.end());
  bytes_.push_back(0);
  return *this;
}

LayoutBuilder& LayoutBuilder::Field(uint32_t offset, std::string_view name, uint8_t type) {
  Byte(kLayoutFieldMarker).U32(offset).Text(name);
  // The type byte is written by the typed helpers after any dimensions; a
  // bare Field() with a fixed-size type writes it at once.
  if (type != 0) Byte(type);
  return *this;
}

LayoutBuilder& LayoutBuilder::Dimension(uint32_t count) {
  return Byte(kLayoutDimensionMarker).U32(count);
}

LayoutBuilder& LayoutBuilder::Short(uint32_t offset, std::string_view name) {
  return Field(offset, name, kTypeShort);
}

LayoutBuilder& LayoutBuilder::Long(uint32_t offset, std::string_view name) {
  return Field(offset, name, kTypeLong);
}

LayoutBuilder& LayoutBuilder::Decimal(uint32_t offset, std::string_view name, uint8_t bytes,
                                      uint8_t places) {
  return Field(offset, name, kTypeDecimal).Byte(bytes).Byte(places);
}

LayoutBuilder& LayoutBuilder::String(uint32_t offset, std::string_view name, uint32_t length,
                                     std::string_view picture) {
  return Field(offset, name, kTypeString).U32(length).Text(picture);
}

LayoutBuilder& LayoutBuilder::BeginGroup(uint32_t offset, std::string_view name) {
  return Field(offset, name, kTypeGroup);
}

LayoutBuilder& LayoutBuilder::EndGroup() { return Byte(0); }

std::vector<uint8_t> LayoutBuilder::Finish() {
  Byte(0);
  return std::move(bytes_);
}

namespace {

constexpr int kMaxGroupDepth = 32;

class Parser {
 public:
  Parser(std::span<const uint8_t> s, std::vector<FieldInfo>* out) : s_(s), out_(out) {}

  // layout := 0x16 entry* 0x00
  int32_t Layout() {
    uint8_t code;
    if (!ReadByte(&code) || code != kLayoutGroupCode) return kInvalidFieldTypeDescriptor;
    uint32_t size = 0;
    return Entries(0, 0, &size);
  }

 private:
  bool ReadByte(uint8_t* b) {
    if (pos_ >= s_.size()) return false;
    *b = s_[pos_++];
    return true;
  }
  bool ReadU32(uint32_t* v) {
    if (s_.size() - pos_ < 4 || pos_ > s_.size()) return false;
    *v = 0;
    for (int i = 0; i < 4; ++i) *v |= static_cast<uint32_t>(s_[pos_ + i]) << (8 * i);
    pos_ += 4;
    return true;
  }
  bool ReadText(std::string* t) {
    size_t start = pos_;
    while (pos_ < s_.size() && s_[pos_] != 0) ++pos_;
    if (pos_ >= s_.size()) return false;
    t->assign(reinterpret_cast<const char*>(s_.data()) + start, pos_ - start);
    ++pos_;
    return true;
  }

  // entries := entry* 0x00   (members of a group starting at `base`)
  // Sets *size to the extent the members cover, relative to the group.
  int32_t Entries(int depth, uint32_t base, uint32_t* size) {
    if (depth > kMaxGroupDepth) return kInvalidFieldTypeDescriptor;
    uint32_t extent = 0;
    for (;;) {
      uint8_t marker;
      if (!ReadByte(&marker)) return kInvalidFieldTypeDescriptor;
      if (marker == 0) break;
      if (marker != kLayoutFieldMarker) return kInvalidFieldTypeDescriptor;
      uint32_t field_end = 0;
      int32_t r = Entry(depth, base, &field_end);
      if (r != 0) return r;
      if (field_end > extent) extent = field_end;
    }
    *size = extent;
    return 0;
  }

  // entry := offset label (0x17 count)* type
  int32_t Entry(int depth, uint32_t base, uint32_t* field_end) {
    FieldInfo f;
    uint32_t rel;
    if (!ReadU32(&rel) || !ReadText(&f.name)) return kInvalidFieldTypeDescriptor;
    f.offset = base + rel;
    f.depth = depth;
    f.overlay = f.offset < covered_;
    uint8_t type;
    for (;;) {
      if (!ReadByte(&type)) return kInvalidFieldTypeDescriptor;
      if (type != kLayoutDimensionMarker) break;
      uint32_t count;
      if (!ReadU32(&count) || count == 0) return kInvalidFieldTypeDescriptor;
      // Dimensions that multiply past 32 bits describe no real record.
      uint64_t product = uint64_t{f.element_count} * count;
      if (product > UINT32_MAX) return kInvalidFieldTypeDescriptor;
      f.element_count = static_cast<uint32_t>(product);
    }
    f.type = type;
    uint32_t element = FixedTypeSize(type);
    size_t index = out_->size();
    if (element == 0) {
      switch (type) {
        case kTypeDecimal:
        case kTypePDecimal: {
          uint8_t bytes;
          if (!ReadByte(&bytes) || !ReadByte(&f.decimals)) return kInvalidFieldTypeDescriptor;
          element = bytes;
          break;
        }
        case kTypeString:
        case kTypeCString:
        case kTypePString:
          if (!ReadU32(&element) || !ReadText(&f.picture)) return kInvalidFieldTypeDescriptor;
          break;
        case kTypeGroup: {
          out_->push_back(f);
          int32_t r = Entries(depth + 1, f.offset, &element);
          if (r != 0) return r;
          break;
        }
        default:
          return kUnsupportedDataType;
      }
    }
    uint64_t size = uint64_t{element} * f.element_count;
    if (size > UINT32_MAX || f.offset < base || uint64_t{f.offset} + size > UINT32_MAX) {
      return kInvalidFieldTypeDescriptor;
    }
    f.size = static_cast<uint32_t>(size);
    if (type == kTypeGroup) {
      (*out_)[index].size = f.size;
    } else {
      out_->push_back(f);
    }
    uint32_t end = f.offset + f.size;
    if (end > covered_) covered_ = end;
    *field_end = rel + f.size;
    return 0;
  }

  std::span<const uint8_t> s_;
  std::vector<FieldInfo>* out_;
  size_t pos_ = 0;
  uint32_t covered_ = 0;
};

}  // namespace

int32_t ParseLayout(std::span<const uint8_t> stream, std::vector<FieldInfo>* fields) {
  fields->clear();
  int32_t r = Parser(stream, fields).Layout();
  if (r != 0) fields->clear();
  return r;
}

}  // namespace vorsandt::files
