// Declarations of views: the view record, its file list and its layout.
//
// A view is a window onto one primary table and tables joined beneath it.
// Its layout is a byte stream describing the levels depth first:
//
//   level     := link_count:u8 link:u16* projection_count:i16 projection*
//                (child_marker:u8!=0 level)* 0x00
//   link      := field number (from 1) of the parent level's record whose value
//                the link's key component (the i-th of the level's key) must equal
//   projection:= field:i16 | -1 second_list_field:i16  (the pair counts as two)
//
// All 16-bit values are little-endian; a projection count of -1 means every
// field. The file list names the primary file and one key per joined level,
// in the order the levels appear in the layout; the joined file of a level
// is the owner of its key.
#ifndef VORSANDT_RUNTIME_VIEWS_VIEW_DECL_H_
#define VORSANDT_RUNTIME_VIEWS_VIEW_DECL_H_

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

#include "runtime/files/file_decl.h"

namespace vorsandt::views {

struct ViewFileList {
  files::FileRecord* primary;
  const files::KeyDecl* const* keys;  // one per joined level
  int key_count;
};

// The view engine's entry: every operation on a view record comes here.
int32_t ViewEntry(int32_t op, files::AccessObject* object, const files::Args& args);

// The static view record. Its driver entry is the view engine's (ViewEntry).
struct ViewRecord : public files::AccessObject {
  ViewRecord(const uint8_t* layout, size_t layout_size, const ViewFileList* file_list,
             const char* declared_filter = nullptr);

  const uint8_t* layout;
  size_t layout_size;
  const ViewFileList* file_list;
  const char* declared_filter;  // compiled at Open; null when filters are set at run time
  // A driver's own view engine, installed by the view entry when the primary
  // file's driver offers one (operation 74); null for the generic engine.
  files::DriverEntry installed = nullptr;
};

// One level as the layout describes it, in depth-first order.
struct LevelLayout {
  int parent = -1;  // index of the parent level, -1 for the primary
  int depth = 0;
  std::vector<int32_t> links;              // parent field numbers, one per leading key component
  bool all_fields = false;                 // projection count -1
  std::vector<int32_t> projection;         // field numbers of the level's file
  std::vector<int32_t> second_projection;  // entries prefixed by -1
};

// Parses a layout stream. Returns false for a truncated stream, a primary
// level with links, a negative projection count other than -1, trailing
// bytes, or nesting deeper than kMaxViewDepth. Never reads outside `stream`.
inline constexpr int kMaxViewDepth = 16;
bool ParseViewLayout(std::span<const uint8_t> stream, std::vector<LevelLayout>* levels);

// Writes layout streams (used by procedures that build views at run time and
// by tests).
class ViewLayoutBuilder {
 public:
  // Starts a level: the primary level first (no links), then children.
  ViewLayoutBuilder& Level(std::initializer_list<int32_t> links,
                           std::initializer_list<int32_t> projection);
  ViewLayoutBuilder& LevelAllFields(std::initializer_list<int32_t> links);
  ViewLayoutBuilder& Level(const std::vector<int32_t>& links,
                           const std::vector<int32_t>& projection, bool all_fields);
  // Introduces a child of the innermost open level (the next Level call).
  ViewLayoutBuilder& Child();
  // Ends the child list of the innermost open level.
  ViewLayoutBuilder& End();
  // Closes any open lists and returns the stream.
  std::vector<uint8_t> Finish();

 private:
  std::vector<uint8_t> bytes_;
  int open_ = 0;  // levels whose child list is still open
};

}  // namespace vorsandt::views

#endif  // VORSANDT_RUNTIME_VIEWS_VIEW_DECL_H_
