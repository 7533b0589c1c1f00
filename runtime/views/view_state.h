// The state of an open view, shared by the engine's sources.
#ifndef VORSANDT_RUNTIME_VIEWS_VIEW_STATE_H_
#define VORSANDT_RUNTIME_VIEWS_VIEW_STATE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime/eval/expression.h"
#include "runtime/eval/filter_analysis.h"
#include "runtime/files/file_decl.h"
#include "runtime/files/layout.h"
#include "runtime/views/view_decl.h"
#include "runtime/views/view_engine.h"

namespace vorsandt::views::internal {

using files::FieldInfo;
using files::FileRecord;
using files::KeyDecl;

struct Link {
  FieldInfo dest;    // key component in the level's record
  FieldInfo source;  // field of the parent level's record
};

struct LevelState {
  LevelLayout layout;
  FileRecord* file = nullptr;    // declaration: operations are sent to it
  const KeyDecl* key = nullptr;  // null for the primary level
  // The file's parsed layout, shared by every view over the same layout.
  std::shared_ptr<const std::vector<FieldInfo>> fields;
  std::vector<Link> links;
  std::vector<FieldInfo> further;  // key components not covered by links
  bool no_case = false;
  int state = kLevelNotStarted;
  bool delivered = false;  // a record was delivered for the current parent
  // The level's own position that the last Reset named, until the next read
  // has re-read that record; empty otherwise.
  std::string reset_at;

  uint8_t* Buffer() const { return files::InstanceOf(file)->buffer; }
};

struct RangeComponent {
  FieldInfo field;
  bool no_case;
  const eval::Node* value;
};

struct ViewState {
  bool open = false;
  std::vector<LevelState> levels;
  std::string filter_text;
  eval::Expression filter;
  eval::BufferLevels level_map;
  std::vector<RangeComponent> range;
  int row_state = kRowNone;
  int key_number = 0;
  bool resync = false;  // after Reset: rebuild the saved row before moving on
  // Reused by every position asked for, which a browse does per row read.
  std::string position_text, level_position;
  // The range's values stored as fields, made again for every row checked.
  mutable std::vector<uint8_t> range_values;
};

// True when the calling thread's instance of `file` is open.
bool FileIsOpen(FileRecord* file);
// Field `number` (from 1) of a layout, or nullptr.
const FieldInfo* FieldNumbered(const std::vector<FieldInfo>& fields, int32_t number);

// Key range: which leading components of the primary key the filter fixes.
// Sets s.key_number from the primary file's driver and fills s.range.
void AnalyseFilter(ViewState& s);

enum class RangeAnswer { kInside, kBefore, kPast };
// Where a primary record lies relative to the range in the reading direction.
RangeAnswer CheckRange(const ViewState& s, const uint8_t* record, bool forward);
// Establishes the primary sequence at the start (forward) or end of the
// range; returns the error code of SetKeyValue.
int32_t PositionAtRange(ViewState& s, bool forward);

}  // namespace vorsandt::views::internal

#endif  // VORSANDT_RUNTIME_VIEWS_VIEW_STATE_H_
