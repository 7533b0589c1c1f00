// Window definitions: the definition text parser (YAML underneath).
//
// Input: the definition text.
//
// Invariants, for every input:
//  1. Parsing ends in a resource or in an error with a message; it never
//     throws, crashes or recurses without bound.
//  2. A parsed resource's controls are numbered 1, 2, ... in declaration
//     order (depth first) within each structure, every list holds the
//     columns its format string parses to, and copying a structure copies
//     all of it (menu bar included).
#include <cstdint>
#include <string>

#include "tests/fuzz/fuzz_support.h"
#include "ui/engine/column_format.h"
#include "ui/engine/definition.h"

namespace vorsandt::ui {
namespace {

size_t CountNodes(const Node& node) {
  size_t n = 1;
  for (const Node& child : node.children) n += CountNodes(child);
  if (node.menu_bar) n += CountNodes(*node.menu_bar);
  return n;
}

}  // namespace
}  // namespace vorsandt::ui

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorsandt::ui;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const ParseResult result = ParseDefinition(text, "FUZZ.yaml");
  FUZZ_CHECK(result.ok() != result.error.has_value());
  if (!result.ok()) {
    FUZZ_CHECK(!result.error->message.empty());
    FUZZ_CHECK(result.error->line >= 0);
    FUZZ_CHECK(!result.error->ToString().empty());
    return 0;
  }
  for (const Node& structure : result.resource->structures) {
    int32_t expected = 1;
    ForEachControl(structure, [&expected](const Node& control) {
      FUZZ_CHECK(control.number == expected);
      ++expected;
      if (control.kind == Kind::kList) {
        const ColumnFormatResult parsed = ParseColumnFormat(control.format);
        FUZZ_CHECK(parsed.ok && parsed.columns == control.columns);
      }
    });
    const Node copy = structure;
    FUZZ_CHECK(CountNodes(copy) == CountNodes(structure));
    FUZZ_CHECK(result.resource->Find(structure.label) != nullptr);
  }
  return 0;
}
