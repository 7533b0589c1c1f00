// Record layout streams: the parser, a rebuild of the stream from what it
// parsed, and the text driver's layout check over the same stream.
//
// Input: a record length (2 bytes), then the stream.
//
// Invariants, for every input:
//  1. A stream that parses gives fields that stay inside 32-bit offsets and
//     sizes, with element counts of at least one, depths that grow by at most
//     one from one field to the next and are one deeper than a group's, and
//     overlay marks that agree with the bytes earlier fields covered.
//  2. The fields written back as a stream (relative offsets, one dimension
//     for the whole element count) parse to the same fields.
//  3. The text driver's check accepts only records under its limit and
//     layouts whose real fields are texts (or groups) within its limits.
//     (It does not ask that fields lie inside the record: the driver keeps
//     them as descriptions and reads whole lines into the buffer.)
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "runtime/files/error_codes.h"
#include "runtime/files/layout.h"
#include "runtime/text/text_layout.h"
#include "tests/fuzz/fuzz_support.h"

namespace vorsandt::files {
namespace {

bool SameFields(const std::vector<FieldInfo>& a, const std::vector<FieldInfo>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const FieldInfo& x = a[i];
    const FieldInfo& y = b[i];
    if (x.name != y.name || x.offset != y.offset || x.type != y.type || x.size != y.size ||
        x.element_count != y.element_count || x.decimals != y.decimals ||
        x.picture != y.picture || x.depth != y.depth || x.overlay != y.overlay)
      return false;
  }
  return true;
}

// Writes `fields` back as a stream.
std::vector<uint8_t> Rebuild(const std::vector<FieldInfo>& fields) {
  LayoutBuilder out;
  std::vector<uint32_t> bases = {0};  // offsets of the open groups
  for (const FieldInfo& f : fields) {
    while (static_cast<int>(bases.size()) - 1 > f.depth) {
      out.EndGroup();
      bases.pop_back();
    }
    out.Byte(kLayoutFieldMarker).U32(f.offset - bases.back()).Text(f.name);
    if (f.element_count != 1) out.Dimension(f.element_count);
    out.Byte(f.type);
    const uint32_t element = f.element_count == 0 ? 0 : f.size / f.element_count;
    switch (f.type) {
      case kTypeDecimal:
      case kTypePDecimal:
        out.Byte(static_cast<uint8_t>(element)).Byte(f.decimals);
        break;
      case kTypeString:
      case kTypeCString:
      case kTypePString:
        out.U32(element).Text(f.picture);
        break;
      case kTypeGroup:
        bases.push_back(f.offset);
        break;
      default:
        break;
    }
  }
  while (bases.size() > 1) {
    out.EndGroup();
    bases.pop_back();
  }
  return out.Finish();
}

}  // namespace
}  // namespace vorsandt::files

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorsandt::files;
  vorsandt::fuzz::Input in(data, size);
  const uint32_t record_length = in.U16();
  const std::string_view rest = in.Rest();
  const std::span<const uint8_t> stream(reinterpret_cast<const uint8_t*>(rest.data()), rest.size());

  std::vector<FieldInfo> fields;
  const int32_t status = ParseLayout(stream, &fields);
  FUZZ_CHECK(status == 0 || status == kInvalidFieldTypeDescriptor || status == kUnsupportedDataType);
  if (status != 0) {
    FUZZ_CHECK(fields.empty());
  } else {
    uint64_t covered = 0;
    int depth = 0;
    std::vector<const FieldInfo*> groups;
    for (const FieldInfo& f : fields) {
      FUZZ_CHECK(f.element_count >= 1);
      FUZZ_CHECK(uint64_t{f.offset} + f.size <= UINT32_MAX);
      FUZZ_CHECK(f.depth >= 0 && f.depth <= depth + 1);
      // A group covers its whole extent once its members are done.
      while (static_cast<int>(groups.size()) > f.depth) {
        covered = std::max<uint64_t>(covered, uint64_t{groups.back()->offset} + groups.back()->size);
        groups.pop_back();
      }
      FUZZ_CHECK(static_cast<int>(groups.size()) == f.depth);
      if (!groups.empty()) FUZZ_CHECK(f.offset >= groups.back()->offset);
      FUZZ_CHECK(f.overlay == (f.offset < covered));
      if (f.type == kTypeGroup) {
        groups.push_back(&f);
      } else if (FixedTypeSize(f.type) != 0) {
        FUZZ_CHECK(f.size == uint64_t{FixedTypeSize(f.type)} * f.element_count);
      }
      FUZZ_CHECK(f.size % f.element_count == 0);
      if (f.type != kTypeGroup) covered = std::max<uint64_t>(covered, uint64_t{f.offset} + f.size);
      depth = f.depth;
    }
    const std::vector<uint8_t> rebuilt = Rebuild(fields);
    std::vector<FieldInfo> again;
    FUZZ_CHECK(ParseLayout(rebuilt, &again) == 0);
    FUZZ_CHECK(SameFields(fields, again));
  }

  std::vector<vorsandt::text::TextField> text_fields;
  const int32_t text_status = vorsandt::text::CheckTextLayout(stream, record_length, &text_fields);
  if (text_status == 0) {
    FUZZ_CHECK(record_length <= vorsandt::text::kMaxRecordLength);
    for (const auto& f : text_fields) {
      if (f.type == kTypeString) FUZZ_CHECK(f.size / f.elements <= vorsandt::text::kMaxTextFieldSize);
      if (!f.overlay) FUZZ_CHECK(f.type == kTypeString || f.type == kTypeGroup);
      FUZZ_CHECK(f.elements >= 1 && f.elements <= vorsandt::text::kMaxElements);
    }
  }
  return 0;
}
