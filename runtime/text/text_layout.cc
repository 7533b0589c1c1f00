#include "runtime/text/text_layout.h"

#include "runtime/files/error_codes.h"
#include "runtime/files/layout.h"

namespace vorsandt::text {

int32_t CheckTextLayout(std::span<const uint8_t> layout, uint32_t record_length,
                        std::vector<TextField>* fields) {
  fields->clear();
  if (record_length > kMaxRecordLength) return files::kInvalidRecordDeclaration;
  if (layout.empty()) return 0;
  std::vector<files::FieldInfo> parsed;
  if (int32_t r = files::ParseLayout(layout, &parsed); r != 0) return r;

  std::vector<TextField> result;
  int index = 0;
  for (const files::FieldInfo& f : parsed) {
    // No element count can be 0 in a sound declaration; the parser reports 0
    // when the dimensions multiply past 32 bits.
    if (f.element_count == 0 || f.element_count > kMaxElements) {
      return files::kInvalidRecordDeclaration;
    }
    const bool real = f.type == files::kTypeString || f.type == files::kTypeGroup;
    if (!real && !f.overlay) return files::kUnsupportedDataType;
    if (f.type == files::kTypeString && f.element_count != 0 &&
        f.size / f.element_count > kMaxTextFieldSize) {
      return files::kInvalidRecordDeclaration;
    }
    TextField t;
    t.type = f.type;
    t.offset = f.offset;
    t.label = f.name;
    t.elements = f.element_count;
    t.size = f.size;
    t.overlay = f.overlay;
    t.index = ++index;
    result.push_back(std::move(t));
  }
  *fields = std::move(result);
  return 0;
}

}  // namespace vorsandt::text
