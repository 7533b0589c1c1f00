// Table definitions as stored in a QVF file (the definition stream kept in
// a table's definition entries).
//
// Input: the stream.
//
// Invariants, for every input:
//  1. Decoding accepts only versions 1 and 2.
//  2. A decoded definition encodes to a stream that decodes to the same
//     definition, encodes to the same stream again, and compares as the same
//     definition; its blocks put together give the stream back.
//  3. Comparing any stream with any decoded definition answers 0, 1 or 2.
#include <cstdint>
#include <string>
#include <vector>

#include "storage/qvf/table/definition.h"
#include "storage/qvf/table/entry_key.h"
#include "tests/fuzz/fuzz_support.h"

namespace vorsandt::qvf {
namespace {

bool SameDefinition(const TableDefinition& a, const TableDefinition& b) {
  if (a.version != b.version || a.record_length != b.record_length ||
      a.fields.size() != b.fields.size() || a.memos.size() != b.memos.size() ||
      a.keys.size() != b.keys.size())
    return false;
  for (size_t i = 0; i < a.fields.size(); ++i) {
    const StoredField& x = a.fields[i];
    const StoredField& y = b.fields[i];
    if (x.type != y.type || x.offset != y.offset || x.name != y.name || x.elements != y.elements ||
        x.size != y.size || x.attribute1 != y.attribute1 || x.attribute2 != y.attribute2 ||
        x.digits != y.digits || x.places != y.places || x.string_length != y.string_length ||
        x.picture != y.picture)
      return false;
  }
  for (size_t i = 0; i < a.memos.size(); ++i) {
    const StoredMemo& x = a.memos[i];
    const StoredMemo& y = b.memos[i];
    if (x.external_name != y.external_name || x.name != y.name || x.size != y.size ||
        x.flags != y.flags)
      return false;
  }
  for (size_t i = 0; i < a.keys.size(); ++i) {
    const StoredKey& x = a.keys[i];
    const StoredKey& y = b.keys[i];
    if (x.external_name != y.external_name || x.name != y.name || x.attributes != y.attributes ||
        x.components.size() != y.components.size())
      return false;
    for (size_t c = 0; c < x.components.size(); ++c) {
      if (x.components[c].field != y.components[c].field ||
          x.components[c].flags != y.components[c].flags)
        return false;
    }
  }
  return true;
}

}  // namespace
}  // namespace vorsandt::qvf

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorsandt::qvf;
  const std::string_view stream(reinterpret_cast<const char*>(data), size);
  // Reading past the end yields zeros, so ten bytes can claim 65535 fields,
  // memos and keys; such inputs only measure memory and time (tens of
  // megabytes, slow under the sanitizers) and would starve the search, so
  // counts beyond what the stream could hold are left out.
  auto word = [&](size_t at) { return at + 1 < size ? data[at] | (data[at + 1] << 8) : 0; };
  if (static_cast<size_t>(word(4)) + word(6) + word(8) > size) return 0;
  TableDefinition def;
  const bool decoded = DecodeDefinition(stream, &def);
  if (!decoded) {
    FUZZ_CHECK(def.version == 0 || def.version > kMaxDefinitionVersion);
    return 0;
  }
  FUZZ_CHECK(def.version >= 1 && def.version <= kMaxDefinitionVersion);
  const std::string encoded = EncodeDefinition(def);
  TableDefinition again;
  FUZZ_CHECK(DecodeDefinition(encoded, &again));
  FUZZ_CHECK(SameDefinition(def, again));
  FUZZ_CHECK(EncodeDefinition(again) == encoded);
  FUZZ_CHECK(CompareDefinition(encoded, def) == kDefinitionSame);
  const int match = CompareDefinition(stream, again);
  FUZZ_CHECK(match >= kDefinitionSame && match <= kDefinitionStructureDiffers);
  std::string joined;
  for (const std::string& block : DefinitionBlocks(encoded)) {
    FUZZ_CHECK(!block.empty() && block.size() <= kDefinitionBlockSize);
    joined += block;
  }
  FUZZ_CHECK(joined == encoded);
  return 0;
}
