#include "runtime/views/view_decl.h"

namespace vorsandt::views {
namespace {

class LayoutReader {
 public:
  explicit LayoutReader(std::span<const uint8_t> s) : s_(s) {}
  bool U8(uint8_t* v) {
    if (pos_ >= s_.size()) return false;
    *v = s_[pos_++];
    return true;
  }
  bool I16(int32_t* v) {
    if (pos_ + 2 > s_.size()) return false;
    *v = static_cast<int16_t>(static_cast<uint16_t>(s_[pos_] | (s_[pos_ + 1] << 8)));
    pos_ += 2;
    return true;
  }
  bool AtEnd() const { return pos_ == s_.size(); }

 private:
  std::span<const uint8_t> s_;
  size_t pos_ = 0;
};

// level := link_count:u8 link:u16* projection_count:i16 projection*
//          (marker:u8!=0 level)* 0x00
bool ReadLevel(LayoutReader& in, int parent, int depth, std::vector<LevelLayout>* levels) {
  if (depth >= kMaxViewDepth) return false;
  LevelLayout level;
  level.parent = parent;
  level.depth = depth;
  uint8_t link_count = 0;
  if (!in.U8(&link_count)) return false;
  if (parent < 0 && link_count != 0) return false;
  for (int i = 0; i < link_count; ++i) {
    int32_t field = 0;
    if (!in.I16(&field)) return false;
    level.links.push_back(field & 0xFFFF);
  }
  int32_t count = 0;
  if (!in.I16(&count)) return false;
  if (count == -1) {
    level.all_fields = true;
  } else if (count < 0) {
    return false;
  }
  for (int i = 0; i < count; ++i) {
    int32_t field = 0;
    if (!in.I16(&field)) return false;
    if (field == -1) {
      // The prefix and the field it introduces are two entries of the count.
      if (++i >= count || !in.I16(&field)) return false;
      level.second_projection.push_back(field);
    } else {
      level.projection.push_back(field);
    }
  }
  const int self = static_cast<int>(levels->size());
  levels->push_back(std::move(level));
  for (;;) {
    uint8_t marker = 0;
    if (!in.U8(&marker)) return false;
    if (marker == 0) return true;
    if (!ReadLevel(in, self, depth + 1, levels)) return false;
  }
}

void PutI16(std::vector<uint8_t>* out, int32_t v) {
  out->push_back(static_cast<uint8_t>(v & 0xFF));
  out->push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

}  // namespace

ViewRecord::ViewRecord(const uint8_t* layout_bytes, size_t size, const ViewFileList* list,
                       const char* filter)
    : AccessObject(&ViewEntry),
      layout(layout_bytes),
      layout_size(size),
      file_list(list),
      declared_filter(filter) {}

bool ParseViewLayout(std::span<const uint8_t> stream, std::vector<LevelLayout>* levels) {
  levels->clear();
  LayoutReader in(stream);
  if (!ReadLevel(in, -1, 0, levels) || !in.AtEnd()) {
    levels->clear();
    return false;
  }
  return true;
}

ViewLayoutBuilder& ViewLayoutBuilder::Level(const std::vector<int32_t>& links,
                                            const std::vector<int32_t>& projection,
                                            bool all_fields) {
  bytes_.push_back(static_cast<uint8_t>(links.size()));
  for (int32_t l : links) PutI16(&bytes_, l);
  if (all_fields) {
    PutI16(&bytes_, -1);
  } else {
    PutI16(&bytes_, static_cast<int32_t>(projection.size()));
    for (int32_t p : projection) PutI16(&bytes_, p);
  }
  ++open_;
  return *this;
}

ViewLayoutBuilder& ViewLayoutBuilder::Level(std::initializer_list<int32_t> links,
                                            std::initializer_list<int32_t> projection) {
  return Level(std::vector<int32_t>(links), std::vector<int32_t>(projection), false);
}

ViewLayoutBuilder& ViewLayoutBuilder::LevelAllFields(std::initializer_list<int32_t> links) {
  return Level(std::vector<int32_t>(links), {}, true);
}

ViewLayoutBuilder& ViewLayoutBuilder::Child() {
  bytes_.push_back(1);
  return *this;
}

ViewLayoutBuilder& ViewLayoutBuilder::End() {
  if (open_ > 0) {
    bytes_.push_back(0);
    --open_;
  }
  return *this;
}

std::vector<uint8_t> ViewLayoutBuilder::Finish() {
  while (open_ > 0) End();
  return std::move(bytes_);
}

}  // namespace vorsandt::views
