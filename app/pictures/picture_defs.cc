// The picture browse: the items with the file name of each one's picture,
// and the picture of the selected item beside the list. It is the list
// pattern of app/browse as one more instance: a browse over ITEMS with a
// select's Select button and an image control that follows the selection.
//
// Insert, Change and Delete call the inventory's own form, UpdateItems, with
// requests 1, 2 and 3, as the inventory browse does; the list then shows the
// change and the picture follows the record the form left selected.
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
     .update_form = "UpdateItems",
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
