// What record layouts a text file accepts, and the per-field description the
// text driver keeps.
//
// A line is read into the record buffer as a whole, so the only real fields
// are fixed-length texts (type 18) and groups of them; any other type may only
// overlay bytes already covered by earlier fields (a number laid over part of
// a text, say). Limits: a text field of 65536 bytes or more, a field of 256 or
// more elements, or a record of 65536 bytes or more is refused.
#ifndef VORSANDT_RUNTIME_TEXT_TEXT_LAYOUT_H_
#define VORSANDT_RUNTIME_TEXT_TEXT_LAYOUT_H_

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vorsandt::text {

inline constexpr uint32_t kMaxTextFieldSize = 65535;
inline constexpr uint32_t kMaxElements = 255;
inline constexpr uint32_t kMaxRecordLength = 65535;

struct TextField {
  uint8_t type = 0;
  uint32_t offset = 0;  // absolute, from the start of the record
  std::string label;
  uint32_t elements = 1;
  uint32_t size = 0;  // all elements
  bool overlay = false;
  int index = 0;  // 1-based, in declaration order
};

// Checks `layout` (may be empty: no fields declared) for a record of
// `record_length` bytes and fills `*fields`. Returns 0, 75 for a malformed
// stream, 79 for a field type the driver cannot hold, or 47 for a size limit.
int32_t CheckTextLayout(std::span<const uint8_t> layout, uint32_t record_length,
                        std::vector<TextField>* fields);

}  // namespace vorsandt::text

#endif  // VORSANDT_RUNTIME_TEXT_TEXT_LAYOUT_H_
