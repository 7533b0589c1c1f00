// The five select procedures: the list pattern of app/browse with a Select
// button instead of the update form. Called with request 4 they answer 1
// (completed) with the chosen record in the table's record buffer, or 2.
#include "app/browse/list_procedure.h"

namespace vorsandt::app {
namespace {

using T = Table;

constexpr const char* kInsuranceColumns[] = {"INS:REFERENCE", "INS:COMPANY",   "INS:TELEPHONE",
                                             "INS:FAX",       "INS:CONTACT",   "INS:ADDRESS_1",
                                             "INS:ADDRESS_2", "INS:ADDRESS_3", "INS:ADDRESS_4"};
constexpr const char* kLocationColumns[] = {"LOC:LOCATION"};
constexpr const char* kPolicyColumns[] = {
    "POL:POLICY_REFERENCE", "POL:INSURER_CODE",   "POL:INSURER",
    "POL:START_INSURANCE",  "POL:POLICY_EXPIRES", "POL:POLICY_TYPE",
    "POL:NO_CLAIMS_BONUS",  "POL:EXCESS",         "POL:PREMIUM"};
constexpr const char* kItemColumns[] = {
    "ITE:ITEM_CODE",         "ITE:POLICY_REFERENCE", "ITE:ITEM",
    "ITE:SERIAL_NUMBER",     "ITE:DATE_BOUGHT",      "ITE:PRICE_PAID",
    "ITE:RECEIPT_REFERENCE", "ITE:SUPPLIER"};
constexpr const char* kCompanyColumns[] = {
    "COM:COMPANY_REFERENCE", "COM:COMPANY",   "COM:ADDRESS_1", "COM:ADDRESS_2", "COM:ADDRESS_3",
    "COM:ADDRESS_4",         "COM:TELEPHONE", "COM:FAX",       "COM:EMAIL"};

constexpr BrowseOrder kInsuranceOrders[] = {
    {"INSURANCE COMPANY REFERENCE", "INS:REF"},
    {"INSURANCE COMPANY NAME", "INS:NAME"},
};
constexpr BrowseOrder kLocationOrders[] = {{"LOCATIONS LIST", "LOC:LOC"}};
constexpr BrowseOrder kPolicyOrders[] = {
    {"POLICY REFERENCE", "POL:REFERENCE"},
    {"INSURANCE COMPANY NAME", "POL:COMPANY"},
};
constexpr BrowseOrder kItemOrders[] = {
    {"ITEM #", "ITE:CODE"},       {"LOCATION", "ITE:LOC"},          {"POLICY #", "ITE:POLICY"},
    {"DESCRIPTION", "ITE:ITEMS"}, {"ITEM SERIAL #", "ITE:SERIALS"},
};
constexpr BrowseOrder kCompanyOrders[] = {
    {"COMPANY REFERENCE", "COM:REFERENCE"},
    {"COMPANY NAME", "COM:NAME"},
};

constexpr Table kInsuranceTables[] = {T::kInsuranceCompany};
constexpr Table kLocationTables[] = {T::kLocations};
constexpr Table kPolicyTables[] = {T::kPolicy};
constexpr Table kItemTables[] = {T::kItems};
constexpr Table kCompanyTables[] = {T::kCompanies};

constexpr ListKind S = ListKind::kSelect;

constexpr ListDef kSelects[] = {
    {.kind = S,
     .procedure = "SelectInsurance_Company",
     .window_id = "ZELTAR3$ZELTA018",
     .label = "SELECTINSURANCE_COMPANY$QUICKWINDOW",
     .primary = T::kInsuranceCompany,
     .tables = kInsuranceTables,
     .orders = kInsuranceOrders,
     .columns = kInsuranceColumns},
    {.kind = S,
     .procedure = "SelectLocations",
     .window_id = "ZELTAR3$ZELTA019",
     .label = "SELECTLOCATIONS$QUICKWINDOW",
     .primary = T::kLocations,
     .tables = kLocationTables,
     .orders = kLocationOrders,
     .columns = kLocationColumns},
    {.kind = S,
     .procedure = "SelectPolicy",
     .window_id = "ZELTAR3$ZELTA020",
     .label = "SELECTPOLICY$QUICKWINDOW",
     .primary = T::kPolicy,
     .tables = kPolicyTables,
     .orders = kPolicyOrders,
     .columns = kPolicyColumns},
    {.kind = S,
     .procedure = "SelectItems",
     .window_id = "ZELTAR3$ZELTA021",
     .label = "SELECTITEMS$QUICKWINDOW",
     .primary = T::kItems,
     .tables = kItemTables,
     .orders = kItemOrders,
     .columns = kItemColumns},
    {.kind = S,
     .procedure = "SelectCompanies",
     .window_id = "ZELTAR3$ZELTA022",
     .label = "SELECTCOMPANIES$QUICKWINDOW",
     .primary = T::kCompanies,
     .tables = kCompanyTables,
     .orders = kCompanyOrders,
     .columns = kCompanyColumns},
};

struct RegisterSelects {
  RegisterSelects() { RegisterListProcedures(kSelects); }
} register_selects;

}  // namespace

std::span<const ListDef> SelectDefs() { return kSelects; }

}  // namespace vorsandt::app
