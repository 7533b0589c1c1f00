// The relation tree pattern, the part that needs no window: the rows a tree
// list shows (TreeRows), the nodes the user has opened (OpenNodes), and the
// loader that reads a parent table and the children of the open nodes into
// rows. A tree is data (TreeDef): one TreeLevel per depth, each naming its
// table, how its records hang under the level above, their node text and the
// update form that edits them.
//
// Invariants:
// - rows are in display order: every node is followed by its descendants and
//   only by them, up to the next row that is not deeper;
// - a row's level is negative exactly when its node has children (loaded or
//   not): the tree list draws open, closed or leaf from that sign and the
//   level of the next row;
// - OpenNodes is sorted by (level, position) and holds no duplicates; it only
//   changes on expand and contract, never on a reload.
#ifndef VORSANDT_APP_TREE_TREE_H_
#define VORSANDT_APP_TREE_TREE_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "app/dictionary/dictionary.h"
#include "runtime/files/layout.h"

namespace vorsandt::app {

// One piece of a node's text: a fixed text, then (when `field` is set) the
// field's value, through `picture` when one is given (numbers without one are
// plain decimals), without trailing blanks when `trim`.
struct TreeTextPart {
  const char* literal = "";
  const char* field = nullptr;
  const char* picture = nullptr;
  bool trim = false;
};

struct TreeLevel {
  Table table = Table::kLocations;
  // Levels below the first: the child key of the dictionary's link from the
  // level above (LinkByChildKey), which groups this level's records by
  // parent and names the fields that join them. Level 1 is read in file
  // order.
  const char* link = nullptr;
  std::span<const TreeTextPart> text = {};
  // The update form of this level's records; nullptr: none (change and delete
  // on such a row do nothing).
  const char* form = nullptr;
};

struct TreeDef {
  const char* procedure = "";              // e.g. "TreeBrowseInventory"
  const char* window_id = "";              // e.g. "ZELTAR3$ZELTA055"
  const char* label = "";                  // e.g. "TREEBROWSEINVENTORY$WINDOW"
  const char* root_text = "";              // e.g. "LOCATION"
  std::span<const TreeLevel> levels = {};  // level 1 first
  std::span<const Table> tables = {};      // opened in this order
  // The level Insert adds a record at (its parent is the row's ancestor one
  // level up), 0 when the tree inserts nothing.
  int insert_level = 0;
  // The right-click menu, or nullptr for a tree without one.
  const char* popup = nullptr;
};

struct TreeRow {
  std::string text;
  int32_t level = 0;  // 0 the root; negative: the node has children
  bool expanded = false;
  std::string position;  // of the record in its table, whatever the order; blank for the root
  int depth() const { return level < 0 ? -level : level; }
};

// The nodes the user has opened, by (level, position), found by binary search.
class OpenNodes {
 public:
  bool Contains(int level, std::string_view position) const;
  void Add(int level, std::string_view position);
  void Remove(int level, std::string_view position);
  size_t size() const { return nodes_.size(); }

  // The open nodes as one line of text for the user's configuration
  // ("level:hex-position" joined by ";"), and back. Only the rows of
  // `rows` drawn open are kept: a node whose record has gone, or that hides
  // under a closed parent, is not remembered. Restore adds the nodes a text
  // names (short, as TreeLoader::PositionOf gives them) and ignores anything
  // malformed (a configuration edited by hand).
  static std::string Saved(const std::vector<TreeRow>& rows);
  void Restore(std::string_view saved);

 private:
  using Node = std::pair<int, std::string>;
  std::vector<Node>::const_iterator LowerBound(int level, std::string_view position) const;
  std::vector<Node> nodes_;
};

using TreeRows = std::vector<TreeRow>;

// Reads a tree's records into rows. Read errors other than "record not
// available" stop the load; failed() then names the table.
class TreeLoader {
 public:
  explicit TreeLoader(const TreeDef& def) : def_(def) {}

  // Rebuilds `rows`: the root row, every level-1 record, and the children of
  // every node in OpenNodes (recursively). False on a read error.
  bool LoadTree(TreeRows* rows);
  // Inserts the children of the node at `index` (its record in the buffer)
  // right after it. False on a read error.
  bool LoadChildren(TreeRows* rows, size_t index);
  // Expand and contract the node at `index` (from 0). False on a read error.
  bool Expand(TreeRows* rows, size_t index);
  bool Contract(TreeRows* rows, size_t index);
  // Clears level n's record buffer for a new record and, below level 1, links
  // it to the parent record in the buffer of the level above.
  void PrepareInsert(int n);
  // Reads the row's record into its table's buffer again.
  bool Reread(const TreeRow& row);
  // The position of the record of level `level` read last (or just written),
  // without its trailing zero bytes (one byte at least): a driver's
  // positions are padded to a fixed size that is mostly zeros, and a tree
  // keeps one per row. Reread pads it back.
  std::string PositionOf(int level);
  // The node text of the record in the buffer of level `level`.
  std::string TextOf(int level) const;
  // The first row (from 0) of `level` with `position`; -1 when none.
  static int Find(const TreeRows& rows, int level, std::string_view position);

  OpenNodes& open_nodes() { return open_; }
  const TreeLevel& level(int n) const { return def_.levels[static_cast<size_t>(n - 1)]; }
  int depth() const { return static_cast<int>(def_.levels.size()); }
  const std::string& failed() const { return failed_; }
  // Record reads sent to the tables (each Next and each re-read), for costs.
  int64_t reads() const { return reads_; }

 private:
  // Appends the rows of the records of level `n` under the parent in the
  // buffer of level n-1 (level 1: every record), each open node's below it.
  bool LoadLevel(TreeRows* rows, int n);
  // Positions level n's table at the first child of the parent in the buffer.
  bool StartChildren(int n);
  // True when the record in level n's buffer belongs to the parent in n-1's.
  bool IsChild(int n) const;
  // Whether the record of level n in the buffer has a child (one read).
  bool HasChild(int n, bool* has);
  bool ReadNext(int n);
  bool Failed(int n);
  // The field a level's text or link names, and the table holding it
  // (nullptr when none does), looked up once per name: a load asks for the
  // same few fields (and clears the same few buffers) at every row.
  struct NamedField {
    files::FieldInfo field;
    files::FileRecord* table = nullptr;
  };
  const NamedField& FieldOf(const char* name) const;
  // What a row of a level needs at every record, looked up at its first:
  // the link's two fields (below level 1), the fields of its text parts, and
  // the size its table's positions are padded to.
  struct LevelFields {
    bool ready = false;
    const NamedField* child = nullptr;
    const NamedField* parent = nullptr;
    std::vector<const NamedField*> text;
    size_t position_size = 0;
  };
  LevelFields& FieldsOf(int n) const;
  // Clears `t`'s record buffer (its layout parsed once) and its memos, for
  // a new record or a child search.
  void ClearBuffer(Table t) const;
  // The value of the parent record in level n-1's buffer into the link
  // field of level n's buffer.
  void CopyParentValue(int n) const;

  const TreeDef& def_;
  mutable std::unordered_map<std::string_view, NamedField> fields_;
  mutable std::vector<LevelFields> levels_;
  std::string position_;  // the driver's position as it gives it, reused
  mutable std::unordered_map<const files::FileRecord*, std::vector<files::FieldInfo>> layouts_;
  OpenNodes open_;
  std::string failed_;
  int64_t reads_ = 0;
};

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_TREE_TREE_H_
