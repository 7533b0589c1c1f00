// The fifteen browses as data. Field equates name the buttons in each
// window definition (resources/zelta*.yaml, whose first line names the
// procedure); columns name the field each list column shows, in the order of
// the list's format string.
#include <cmath>
#include <cstring>
#include <vector>

#include "app/browse/list_procedure.h"
#include "app/browse/list_window.h"
#include "app/messages/warning_message.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/operations.h"
#include "runtime/files/read_run.h"
#include "runtime/views/field_values.h"
#include "ui/engine/use_variable.h"
#include "ui/engine/window.h"

namespace vorsandt::app {
namespace {

using T = Table;

// An order whose tab, while it is shown, hides and disables Insert.
constexpr bool kInsertHidden = true;

// --- Columns ------------------------------------------------------------
constexpr const char* kPolicyColumns[] = {
    "POL:POLICY_REFERENCE", "POL:INSURER",     "POL:START_INSURANCE",
    "POL:POLICY_EXPIRES",   "POL:POLICY_TYPE", "POL:NO_CLAIMS_BONUS",
    "POL:EXCESS",           "POL:PREMIUM",     "POL:INSURER_CODE"};
constexpr const char* kInsuranceColumns[] = {"INS:REFERENCE", "INS:COMPANY", "INS:TELEPHONE",
                                             "INS:FAX", "INS:CONTACT"};
constexpr const char* kLocationColumns[] = {"LOC:LOCATION"};
constexpr const char* kClaimColumns[] = {"CLA:CLAIM_REFERENCE",    "CLA:ITEM_REFERENCE",
                                         "CLA:INSURERS_REFERENCE", "CLA:POLICE_CRIME_REFERENCE",
                                         "CLA:DATE_OF_CLAIM",      "CLA:CLAIM_STATUS"};
constexpr const char* kWarrantyColumns[] = {
    "WAN:WARRANTY_REFERENCE", "WAN:ITEM_REFERENCE", "WAN:DATE_OF_REPAIR", "WAN:SERVICE", "WAN:COST",
    "WAN:SATISFACTORY"};
constexpr const char* kServiceColumns[] = {
    "SER:SERVICE_REFERENCE", "SER:COMPANY_CODE",    "SER:COMPANY",
    "SER:ITEM_REFERENCE",    "SER:DATE_OF_SERVICE", "SER:COST_OF_SERVICE",
    "SER:REFERENCE",         "SER:DATE_RETURNED",   "SER:DATE_NEXT_SERVICE"};
constexpr const char* kCompanyColumns[] = {"COM:COMPANY_REFERENCE", "COM:COMPANY",
                                           "COM:TELEPHONE",         "COM:FAX",
                                           "COM:CONTACT_NAME",      "COM:EMAIL"};
constexpr const char* kItemColumns[] = {
    "ITE:ITEM_CODE",     "ITE:ITEM",        "ITE:LOCATION",   "ITE:POLICY_REFERENCE",
    "ITE:SERIAL_NUMBER", "ITE:DATE_BOUGHT", "ITE:PRICE_PAID", "ITE:SUPPLIER"};

// --- Orders, one per tab --------------------------------------------------
constexpr BrowseOrder kPolicyOrders[] = {
    {"VIEW BY POLICY REFERENCE", "POL:REFERENCE"},
    OfParent("VIEW BY SPECIFIED INSURANCE COMPANY", "POL:COMPANY", kInsertHidden),
};
constexpr BrowseOrder kInsuranceOrders[] = {
    {"BY INSURANCE COMPANY REFERENCE", "INS:REF"},
    {"BY INSURANCE COMPANY NAME", "INS:NAME"},
};
constexpr BrowseOrder kLocationOrders[] = {{"LIST OF ACTIVE LOCATIONS", "LOC:LOC"}};
constexpr BrowseOrder kClaimOrders[] = {
    {"BY CLAIM REFERENCE", "CLA:CLAIM_REF"},
    OfParent("BY ITEM", "CLA:ITEM_REF", kInsertHidden),
    {"BY INSURERS REFERENCE", "CLA:REFERENCE"},
    {"BY CLAIM DATE", "CLA:DATE"},
};
constexpr BrowseOrder kWarrantyOrders[] = {
    {"BY REF #", "WAN:WARRANTY"},
    OfParent("BY ITEM", "WAN:ITEM", kInsertHidden),
    {"BY DATE", "WAN:DATE"},
};
constexpr BrowseOrder kServiceOrders[] = {
    {"SERVICE", "SER:SERVICE"},
    OfParent("SERVICE CODE", "SER:CODE", kInsertHidden),
    OfParent("ITEM", "SER:ITEM", kInsertHidden),
    {"SERVICE DATE", "SER:DATE"},
    {"COMPANY REFERENCE", "SER:COMPANY_REFERENCE"},
    {"NEXT SERVICE", "SER:NEXT"},
};
constexpr BrowseOrder kCompanyOrders[] = {
    {"BY COMPANY REFERENCE", "COM:REFERENCE"},
    {"BY COMPANY NAME", "COM:NAME"},
};
constexpr BrowseOrder kItemsOfPolicyOrders[] = {OfParent("FOR A POLICY", "ITE:POLICY")};
constexpr BrowseOrder kPoliciesOfCompanyOrders[] = {OfParent("POLICY DETAILS", "POL:COMPANY")};
constexpr BrowseOrder kClaimsOfItemOrders[] = {OfParent("ITEM REFERENCE", "CLA:ITEM_REF")};
constexpr BrowseOrder kServicesOfItemOrders[] = {OfParent("ITEM", "SER:ITEM")};
constexpr BrowseOrder kWarrantiesOfItemOrders[] = {OfParent("WARRANTY ITEMS", "WAN:ITEM")};
constexpr BrowseOrder kItemsOfLocationOrders[] = {OfParent("ITEMS BY LOCATION", "ITE:LOC")};
constexpr BrowseOrder kServicesOfCompanyOrders[] = {OfParent("SERVICE CODE ORDER", "SER:CODE")};
constexpr BrowseOrder kItemOrders[] = {
    {"ITEM CODE", "ITE:CODE"},
    OfParent("ITEM LOCATION", "ITE:LOC", kInsertHidden),
    OfParent("INSURANCE POLICY", "ITE:POLICY", kInsertHidden),
    {"DESCRIPTION", "ITE:ITEMS"},
    {"SERIAL #", "ITE:SERIALS"},
};

// --- Tables, in the order each browse opens them --------------------------
constexpr Table kPolicyTables[] = {T::kPolicy, T::kInsuranceCompany};
constexpr Table kInsuranceTables[] = {T::kInsuranceCompany};
constexpr Table kLocationTables[] = {T::kLocations};
constexpr Table kClaimTables[] = {T::kClaim, T::kItems};
constexpr Table kWarrantyTables[] = {T::kWarranty, T::kItems};
constexpr Table kServiceTables[] = {T::kService, T::kCompanies, T::kItems};
constexpr Table kCompanyTables[] = {T::kCompanies};
constexpr Table kItemsOfPolicyTables[] = {T::kItems, T::kPolicy};
constexpr Table kItemsOfLocationTables[] = {T::kItems, T::kLocations};
constexpr Table kServicesOfCompanyTables[] = {T::kService, T::kCompanies};
constexpr Table kItemTables[] = {T::kItems, T::kLocations, T::kPolicy};

// --- Buttons -------------------------------------------------------------
constexpr ListButton kPolicyButtons[] = {
    {"?SelectInsurance_Company", "SelectInsurance_Company", true},
    {"?ItemsOnPolicy", "BrowseITE:POLICY"},
};
constexpr ListButton kInsuranceButtons[] = {{"?PoliciesOfCompany", "BrowsePOL:COMPANY"}};
constexpr ListButton kLocationButtons[] = {{"?Items", "BrowseITE:LOC"}};
constexpr ListButton kSelectItemsButtons[] = {{"?SelectItems", "SelectItems", true}};
constexpr ListButton kServiceButtons[] = {
    {"?SelectCompanies", "SelectCompanies", true},
    {"?SelectItems", "SelectItems", true},
};
constexpr ListButton kCompanyButtons[] = {{"?ItemsServiced", "BrowseSER:CODE"}};
constexpr ListButton kItemButtons[] = {
    {"?Claim", "BrowseCLA:ITEM_REF"},
    {"?Service", "BrowseSER:ITEM"},
    {"?Warranty", "BrowseWAN:ITEM"},
};
constexpr ListButton kPoliciesOfCompanyButtons[] = {{"?ItemsOnPolicy", "BrowseITE:POLICY"}};
constexpr ListButton kItems1Buttons[] = {
    {"?SelectLocations", "SelectLocations", true},
    {"?SelectPolicy", "SelectPolicy", true},
    {"?Claim", "BrowseCLA:ITEM_REF"},
    {"?Service", "BrowseSER:ITEM"},
    {"?Warranty", "BrowseWAN:ITEM"},
};

// BrowseItems1 shows the value and the number of the items of its whole
// current order ("itemsValue", "itemsCount"), read afresh whenever its key
// spread is rebuilt.
class ItemsTotals : public ListHook {
 public:
  void Bind(ui::Window& window) override {
    window.Bind("itemsValue", ui::BindReal(&value_));
    window.Bind("itemsCount", ui::BindLong(&count_));
  }

  void BeforeSpread(ListProcedure& p) override {
    Browse& b = p.browse();
    files::FileRecord* items = b.table();
    files::FieldInfo price;
    files::FileRecord* owner = nullptr;
    if (!FindTableField("ITE:PRICE_PAID", &owner, &price)) return;
    const size_t length = files::InstanceOf(items)->record_length;
    uint8_t* record = files::RecordBuffer(items);
    std::vector<uint8_t> saved(record, record + length);
    b.OpenOrder();
    if (b.failed()) return;
    double sum = 0;
    int32_t count = 0;
    files::ReadRun run;
    for (;;) {
      files::Next(b.view());
      if (files::Errors().Code() != files::kNoError) break;
      sum += views::FieldNumber(price, files::RecordBuffer(items));
      ++count;
    }
    const int32_t code = files::Errors().Code();
    std::memcpy(files::RecordBuffer(items), saved.data(), length);
    if (code != files::kRecordNotAvailable) {
      WarningMessage(MessageId::kRecordRetrievalError, "ITEMS");
      p.CloseAfterFailure();
      return;
    }
    files::Errors().Clear();
    value_ = std::round(sum * 100) / 100;
    count_ = count;
  }

 private:
  double value_ = 0;
  int32_t count_ = 0;
};

std::unique_ptr<ListHook> MakeItemsTotals() { return std::make_unique<ItemsTotals>(); }

constexpr char kInsurancePopup[] =
    "|&Insert A New Company|&Change A Companies Details|&Delete A Company";
constexpr char kInsurancePopupEmpty[] =
    "|&Insert A New Company|~&Change A Companies Details|~&Delete A Company";

constexpr ListKind B = ListKind::kBrowse;

constexpr ListDef kBrowses[] = {
    {.kind = B,
     .procedure = "BrowsePolicy",
     .window_id = "ZELTAR3$ZELTA002",
     .label = "BROWSEPOLICY$QUICKWINDOW",
     .primary = T::kPolicy,
     .tables = kPolicyTables,
     .orders = kPolicyOrders,
     .columns = kPolicyColumns,
     .update_form = "UpdatePolicy",
     .buttons = kPolicyButtons,
     .quick_scan = true},
    {.kind = B,
     .procedure = "BrowseInsurance_Company",
     .window_id = "ZELTAR3$ZELTA003",
     .label = "BROWSEINSURANCE_COMPANY$QUICKWINDOW",
     .primary = T::kInsuranceCompany,
     .tables = kInsuranceTables,
     .orders = kInsuranceOrders,
     .columns = kInsuranceColumns,
     .update_form = "UpdateInsurance_Company",
     .buttons = kInsuranceButtons,
     .popup = kInsurancePopup,
     .popup_empty = kInsurancePopupEmpty,
     .entry_locator = "INS:REFERENCE",
     .incremental_locator = true},
    {.kind = B,
     .procedure = "BrowseLocations",
     .window_id = "ZELTAR3$ZELTA004",
     .label = "BROWSELOCATIONS$QUICKWINDOW",
     .primary = T::kLocations,
     .tables = kLocationTables,
     .orders = kLocationOrders,
     .columns = kLocationColumns,
     .update_form = "UpdateLocations",
     .buttons = kLocationButtons},
    {.kind = B,
     .procedure = "BrowseClaim",
     .window_id = "ZELTAR3$ZELTA005",
     .label = "BROWSECLAIM$QUICKWINDOW",
     .primary = T::kClaim,
     .tables = kClaimTables,
     .orders = kClaimOrders,
     .columns = kClaimColumns,
     .update_form = "UpdateClaim",
     .buttons = kSelectItemsButtons},
    {.kind = B,
     .procedure = "BrowseWarranty",
     .window_id = "ZELTAR3$ZELTA006",
     .label = "BROWSEWARRANTY$QUICKWINDOW",
     .primary = T::kWarranty,
     .tables = kWarrantyTables,
     .orders = kWarrantyOrders,
     .columns = kWarrantyColumns,
     .update_form = "UpdateWarranty",
     .buttons = kSelectItemsButtons},
    {.kind = B,
     .procedure = "BrowseService",
     .window_id = "ZELTAR3$ZELTA007",
     .label = "BROWSESERVICE$QUICKWINDOW",
     .primary = T::kService,
     .tables = kServiceTables,
     .orders = kServiceOrders,
     .columns = kServiceColumns,
     .update_form = "UpdateService",
     .buttons = kServiceButtons},
    {.kind = B,
     .procedure = "BrowseCompanies",
     .window_id = "ZELTAR3$ZELTA009",
     .label = "BROWSECOMPANIES$QUICKWINDOW",
     .primary = T::kCompanies,
     .tables = kCompanyTables,
     .orders = kCompanyOrders,
     .columns = kCompanyColumns,
     .update_form = "UpdateCompanies",
     .buttons = kCompanyButtons,
     .entry_locator = "COM:COMPANY_REFERENCE",
     .incremental_locator = true},
    {.kind = B,
     .procedure = "BrowseITE:POLICY",
     .window_id = "ZELTAR3$ZELTA010",
     .label = "BROWSEITE:POLICY$QUICKWINDOW",
     .primary = T::kItems,
     .tables = kItemsOfPolicyTables,
     .orders = kItemsOfPolicyOrders,
     .columns = kItemColumns,
     .update_form = "UpdateItems",
     .buttons = kItemButtons},
    {.kind = B,
     .procedure = "BrowsePOL:COMPANY",
     .window_id = "ZELTAR3$ZELTA011",
     .label = "BROWSEPOL:COMPANY$QUICKWINDOW",
     .primary = T::kPolicy,
     .tables = kPolicyTables,
     .orders = kPoliciesOfCompanyOrders,
     .columns = kPolicyColumns,
     .update_form = "UpdatePolicy",
     .buttons = kPoliciesOfCompanyButtons,
     .quick_scan = true,
     .incremental_locator = true},
    {.kind = B,
     .procedure = "BrowseCLA:ITEM_REF",
     .window_id = "ZELTAR3$ZELTA012",
     .label = "BROWSECLA:ITEM_REF$QUICKWINDOW",
     .primary = T::kClaim,
     .tables = kClaimTables,
     .orders = kClaimsOfItemOrders,
     .columns = kClaimColumns,
     .update_form = "UpdateClaim",
     .quick_scan = true},
    {.kind = B,
     .procedure = "BrowseSER:ITEM",
     .window_id = "ZELTAR3$ZELTA013",
     .label = "BROWSESER:ITEM$QUICKWINDOW",
     .primary = T::kService,
     .tables = kServiceTables,
     .orders = kServicesOfItemOrders,
     .columns = kServiceColumns,
     .update_form = "UpdateService"},
    {.kind = B,
     .procedure = "BrowseWAN:ITEM",
     .window_id = "ZELTAR3$ZELTA014",
     .label = "BROWSEWAN:ITEM$QUICKWINDOW",
     .primary = T::kWarranty,
     .tables = kWarrantyTables,
     .orders = kWarrantiesOfItemOrders,
     .columns = kWarrantyColumns,
     .update_form = "UpdateWarranty"},
    {.kind = B,
     .procedure = "BrowseITE:LOC",
     .window_id = "ZELTAR3$ZELTA015",
     .label = "BROWSEITE:LOC$QUICKWINDOW",
     .primary = T::kItems,
     .tables = kItemsOfLocationTables,
     .orders = kItemsOfLocationOrders,
     .columns = kItemColumns,
     .update_form = "UpdateItems",
     .buttons = kItemButtons,
     .incremental_locator = true},
    {.kind = B,
     .procedure = "BrowseSER:CODE",
     .window_id = "ZELTAR3$ZELTA016",
     .label = "BROWSESER:CODE$QUICKWINDOW",
     .primary = T::kService,
     .tables = kServicesOfCompanyTables,
     .orders = kServicesOfCompanyOrders,
     .columns = kServiceColumns,
     .update_form = "UpdateService"},
    {.kind = B,
     .procedure = "BrowseItems1",
     .window_id = "ZELTAR3$ZELTA017",
     .label = "BROWSEITEMS1$QUICKWINDOW",
     .primary = T::kItems,
     .tables = kItemTables,
     .orders = kItemOrders,
     .columns = kItemColumns,
     .update_form = "UpdateItems",
     .buttons = kItems1Buttons,
     .incremental_locator = true,
     .hook = &MakeItemsTotals},
};

struct RegisterBrowses {
  RegisterBrowses() { RegisterListProcedures(kBrowses); }
} register_browses;

}  // namespace

std::span<const ListDef> BrowseDefs() { return kBrowses; }

}  // namespace vorsandt::app
