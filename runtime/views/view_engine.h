// The generic view engine: joined levels read row by row, a filter evaluated
// level by level in three-valued logic, the primary key range the filter
// fixes, and positions of rows.
//
// Operations of a view (sent through ViewEntry):
//   Open (tables already open), SetFilter (property number and filter texts;
//   empty text removes the filter), Next, Previous, Skip (49, a count),
//   Position, Reset, Reget, GetByPointer, Close; Delete, Put and 18, 19, 36,
//   58 go to the primary file; anything else is 80.
//
// Position text: u32 key number of the primary sequence (0 physical order),
// then per level a u32 length and that many bytes of the level's own
// position (PositionKey for joined levels and keyed primaries, Position
// otherwise); a level that delivered a cleared record contributes length 0.
// All integers little-endian.
#ifndef VORSANDT_RUNTIME_VIEWS_VIEW_ENGINE_H_
#define VORSANDT_RUNTIME_VIEWS_VIEW_ENGINE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/files/file_decl.h"
#include "runtime/views/view_decl.h"

namespace vorsandt::views {

// Row states of a view.
inline constexpr int kRowNone = 0;
inline constexpr int kRowOn = 1;
inline constexpr int kRowUnreadable = 2;

// Reading states of a level.
inline constexpr int kLevelNotStarted = 0;
inline constexpr int kLevelEstablished = 1;
inline constexpr int kLevelRestart = 2;
inline constexpr int kLevelOnRecord = 3;
inline constexpr int kLevelCleared = 4;

// A driver that offers a view engine of its own answers operation 74 with a
// token; the engine registered under that token then serves the view.
void RegisterViewEngine(int32_t token, files::DriverEntry entry);

// Makes an open view of the calling thread read from the sequence now
// established on its primary file (SetKey or SetKeyValue since), as if it had
// been closed and opened again: its levels, joins and filter are kept, and
// the filter's key range is analysed again. False, with nothing changed, when
// the view is not open on this thread, is served by a driver's own engine, or
// one of its files is no longer open; the caller then closes and opens it.
bool Restart(ViewRecord* view);

// What a test or a tool may observe of an open view of the calling thread.
struct ViewSnapshot {
  bool open = false;
  int row_state = kRowNone;
  int key_number = 0;
  std::vector<int> level_states;
  int range_components = 0;  // leading key components the filter fixes
  std::string filter;        // source text of the filter in use
};
ViewSnapshot Inspect(ViewRecord* view);

}  // namespace vorsandt::views

#endif  // VORSANDT_RUNTIME_VIEWS_VIEW_ENGINE_H_
