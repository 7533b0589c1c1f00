#include "runtime/eval/filter_analysis.h"

namespace vorsandt::eval {

void BufferLevels::Add(const uint8_t* start, size_t size, int level) {
  ranges_.push_back(Range{start, size, level});
}

int BufferLevels::LevelOf(const uint8_t* address) const {
  for (const Range& range : ranges_) {
    if (address >= range.start && address < range.start + range.size) return range.level;
  }
  return 0;
}

std::vector<const Node*> Conjuncts(const Node& root) {
  std::vector<const Node*> result;
  // An explicit stack: AND chains are as long as the filter makes them.
  std::vector<const Node*> pending = {&root};
  while (!pending.empty()) {
    const Node* node = pending.back();
    pending.pop_back();
    if (node->kind() == kOperatorNode && node->code() == kOpAnd) {
      const auto* conjunction = static_cast<const OperatorNode*>(node);
      pending.push_back(conjunction->right());  // taken after the left side
      pending.push_back(conjunction->left());
    } else {
      result.push_back(node);
    }
  }
  return result;
}

std::vector<FieldEquality> FieldEqualities(const Node& root) {
  std::vector<FieldEquality> result;
  for (const Node* conjunct : Conjuncts(root)) {
    const Node* left = nullptr;
    const Node* right = nullptr;
    if (!conjunct->EqualityOperands(&left, &right)) continue;
    if (const VariableRef* field = left->PlainVariable()) {
      result.push_back(FieldEquality{field, false, right});
    } else if (const Node* folded = left->CaseFoldedOperand()) {
      if (const VariableRef* inner = folded->PlainVariable()) {
        result.push_back(FieldEquality{inner, true, right});
      }
    }
  }
  return result;
}

}  // namespace vorsandt::eval
