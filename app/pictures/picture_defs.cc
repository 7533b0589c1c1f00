// The picture browse: the items with the file name of each one's picture,
// and the picture of the selected item beside the list. It is the list
// pattern of app/browse as one more instance: a browse over ITEMS with a
// select's Select button and an image control that follows the selection.
//
// It calls no update form: Insert, Change and Delete close and reopen the
// view around a call that answers "cancelled", so they change nothing. The
// response a previous procedure left behind is never taken for a completed
// form, which would drop a row that was not deleted.
#include "app/browse/list_procedure.h"

namespace vorsandt::app {
namespace {

constexpr const char* kColumns[] = {"ITE:ITEM", "ITE:PICTURE"};
constexpr BrowseOrder kOrders[] = {{"ITEM #", "ITE:CODE"}};
constexpr Table kTables[] = {Table::kItems};

constexpr ListDef kPictureBrowse[] = {
    {.kind = ListKind::kBrowse,
     .procedure = "BrowseInventoryImages",
     .window_id = "ZELTAR3$ZELTA059",
     .label = "BROWSEINVENTORYIMAGES$BROWSEWINDOW",
     .primary = Table::kItems,
     .tables = kTables,
     .orders = kOrders,
     .columns = kColumns,
     .quick_scan = true,
     .select_button = true,
     .image = "?Image",
     .image_field = "ITE:PICTURE"},
};

struct RegisterPictureBrowse {
  RegisterPictureBrowse() { RegisterListProcedures(kPictureBrowse); }
} register_picture_browse;

}  // namespace

std::span<const ListDef> PictureBrowseDefs() { return kPictureBrowse; }

}  // namespace vorsandt::app
