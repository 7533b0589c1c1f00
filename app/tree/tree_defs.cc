// The four relation trees as data: their levels, node texts, forms and
// windows (resources/zelta055.yaml to zelta058.yaml).
#include "app/tree/tree.h"
#include "app/tree/tree_window.h"

namespace vorsandt::app {
namespace {

using T = Table;
using P = TreeTextPart;

// --- Node texts ------------------------------------------------------------
constexpr P kLocationText[] = {{.field = "LOC:LOCATION"}};
constexpr P kItemText[] = {{.literal = "ITEM:-  ", .field = "ITE:ITEM", .trim = true},
                           {.literal = "  SERIAL #:-  ", .field = "ITE:SERIAL_NUMBER"}};
constexpr P kItemNameText[] = {{.field = "ITE:ITEM"}};
constexpr P kWarrantyText[] = {
    {.literal = "DATE:-  ", .field = "WAN:DATE_OF_REPAIR", .picture = "@D5"},
    {.literal = "  SERVICE TYPE:-  ", .field = "WAN:SERVICE", .trim = true},
    {.literal = "  COST:-  ", .field = "WAN:COST"}};
constexpr P kCompanyText[] = {{.field = "COM:COMPANY"}};
constexpr P kServiceText[] = {
    {.literal = "SERVICE DATE:-  ", .field = "SER:DATE_OF_SERVICE", .picture = "@D5"},
    {.literal = "  ITEM CODE:-  ", .field = "SER:ITEM_REFERENCE"},
    {.literal = "  SERVICE COST:- ", .field = "SER:COST_OF_SERVICE"}};
constexpr P kInsurerText[] = {{.field = "INS:COMPANY"}};
constexpr P kPolicyText[] = {{.literal = "POLICY:-  ", .field = "POL:POLICY_REFERENCE"}};

// --- Levels ------------------------------------------------------------------
constexpr TreeLevel kInventoryLevels[] = {
    {.table = T::kLocations, .text = kLocationText},
    {.table = T::kItems,
     .link = "ITE:LOC",
     .text = kItemText,
     .form = "UpdateItems"},
};
constexpr TreeLevel kWarrantyLevels[] = {
    {.table = T::kItems, .text = kItemNameText},
    {.table = T::kWarranty,
     .link = "WAN:ITEM",
     .text = kWarrantyText},
};
constexpr TreeLevel kServiceLevels[] = {
    {.table = T::kCompanies, .text = kCompanyText, .form = "UpdateCompanies"},
    {.table = T::kService,
     .link = "SER:CODE",
     .text = kServiceText},
};
constexpr TreeLevel kInsuranceLevels[] = {
    {.table = T::kInsuranceCompany, .text = kInsurerText, .form = "UpdateInsurance_Company"},
    {.table = T::kPolicy,
     .link = "POL:COMPANY",
     .text = kPolicyText,
     .form = "UpdatePolicy"},
    {.table = T::kItems,
     .link = "ITE:POLICY",
     .text = kItemText},
};

constexpr T kInventoryTables[] = {T::kLocations, T::kItems};
constexpr T kWarrantyTables[] = {T::kItems, T::kWarranty};
constexpr T kServiceTables[] = {T::kCompanies, T::kService};
constexpr T kInsuranceTables[] = {T::kInsuranceCompany, T::kPolicy, T::kItems};

constexpr char kPopup[] = "&Insert|&Change|&Delete";

constexpr TreeDef kTrees[] = {
    {.procedure = "TreeBrowseInventory",
     .window_id = "ZELTAR3$ZELTA055",
     .label = "TREEBROWSEINVENTORY$WINDOW",
     .root_text = "LOCATION",
     .levels = kInventoryLevels,
     .tables = kInventoryTables,
     .insert_level = 2,
     .popup = kPopup},
    {.procedure = "TreeBrowseWarranty",
     .window_id = "ZELTAR3$ZELTA056",
     .label = "TREEBROWSEWARRANTY$WINDOW",
     .root_text = "ITEM",
     .levels = kWarrantyLevels,
     .tables = kWarrantyTables},
    // The service tree edits its companies: Insert adds one.
    {.procedure = "TreeBrowseService",
     .window_id = "ZELTAR3$ZELTA057",
     .label = "TREEBROWSESERVICE$WINDOW",
     .root_text = "SERVICE COMPANY",
     .levels = kServiceLevels,
     .tables = kServiceTables,
     .insert_level = 1,
     .popup = kPopup},
    // The insurance tree edits insurers and policies: Insert adds a policy to
    // the insurer of the current row.
    {.procedure = "TreeBrowseInsurance",
     .window_id = "ZELTAR3$ZELTA058",
     .label = "TREEBROWSEINSURANCE$WINDOW",
     .root_text = "INSURANCE COMPANY",
     .levels = kInsuranceLevels,
     .tables = kInsuranceTables,
     .insert_level = 2,
     .popup = kPopup},
};

struct RegisterTrees {
  RegisterTrees() { RegisterTreeProcedures(kTrees); }
} register_trees;

}  // namespace

}  // namespace vorsandt::app
