// The window side of a relation tree: its event loop, expand and contract
// on the list, the update forms behind Insert, Change and Delete, and the
// reload (with the row to select again) on every return to the window.
#ifndef VORSANDT_APP_TREE_TREE_WINDOW_H_
#define VORSANDT_APP_TREE_TREE_WINDOW_H_

#include <memory>
#include <span>
#include <string>

#include "app/tree/tree.h"
#include "ui/engine/thread_codes.h"
#include "ui/engine/window.h"

namespace vorsandt::app {

class TreeProcedure {
 public:
  explicit TreeProcedure(const TreeDef& def) : def_(def), loader_(def) {}
  void Run();

 private:
  int Optional(const char* equate) const;
  void OnList();
  void OnAccepted(int field);
  void Redraw();
  void Show();
  // Loads again and selects the row named by reselect_ (when set).
  void ReloadTree();
  void ReadFailed();
  // The row (from 0) the list's selection or tree event concerns; -1 when none.
  int SelectedRow() const;
  int EventRow() const;
  bool Usable(int button) const;
  void Popup();
  void InsertRow();
  void ChangeRow(int32_t request);

  const TreeDef& def_;
  TreeLoader loader_;
  TreeRows rows_;
  std::unique_ptr<ui::Window> window_;
  int list_ = 0, close_ = 0, insert_ = 0, change_ = 0, delete_ = 0;
  int reselect_level_ = 0;
  std::string reselect_position_;
  int32_t exit_response_ = ui::response::kCancelled;
  bool window_ready_ = false;
  bool refresh_pending_ = false;
  bool failed_ = false;
};

void RunTreeProcedure(const TreeDef& def);
void RegisterTreeProcedures(std::span<const TreeDef> defs);

inline constexpr char kTreeEquate[] = "?Tree";

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_TREE_TREE_WINDOW_H_
