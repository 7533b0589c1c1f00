// What the view engine asks of a compiled filter.
//
// Rows are read level by level, so a filter is evaluated in three-valued
// logic with the fields of deeper levels not yet known; BufferLevels tells the
// evaluator which level a field belongs to by the record buffer it lies in.
// To narrow the primary file's key range, the engine looks among the filter's
// top-level conjuncts for "field = expression" and "UPPER(field) =
// expression" (or LOWER); FieldEqualities lists them.
#ifndef VORSANDT_RUNTIME_EVAL_FILTER_ANALYSIS_H_
#define VORSANDT_RUNTIME_EVAL_FILTER_ANALYSIS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/eval/nodes.h"

namespace vorsandt::eval {

// Levels by buffer: each added range of memory belongs to one level.
// Addresses in no range are on level 0.
class BufferLevels : public LevelMap {
 public:
  void Add(const uint8_t* start, size_t size, int level);
  void Clear() { ranges_.clear(); }
  int LevelOf(const uint8_t* address) const override;

 private:
  struct Range {
    const uint8_t* start;
    size_t size;
    int level;
  };
  std::vector<Range> ranges_;
};

// The operands of the AND operators at the top of the tree, left to right
// ("A AND (B AND C)" gives A, B and C); a tree without a top AND is its own
// single conjunct.
std::vector<const Node*> Conjuncts(const Node& root);

struct FieldEquality {
  const VariableRef* field;  // the field on the left of "="
  bool case_folded;          // the field was wrapped in UPPER or LOWER
  const Node* value;         // the expression on the right
};

// The conjuncts of the form field = expression, in filter order.
std::vector<FieldEquality> FieldEqualities(const Node& root);

}  // namespace vorsandt::eval

#endif  // VORSANDT_RUNTIME_EVAL_FILTER_ANALYSIS_H_
